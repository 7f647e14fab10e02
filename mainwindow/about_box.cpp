#include "about_box.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// Values get one line each where the box stays of a sensible width; longer ones wrap.
constexpr int kMinValueWidth = 300;
constexpr int kMaxValueWidth = 520;

QLabel *ValueLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// One width for the column of values: the widest line, within sensible bounds.
void SetValueWidth(const QList<QLabel *> &labels)
{
    int widest = 0;
    for (const QLabel *label : labels) {
        for (const QString &line : label->text().split(u'\n'))
            widest = qMax(widest, label->fontMetrics().horizontalAdvance(line) + 2);
    }
    for (QLabel *label : labels)
        label->setFixedWidth(qBound(kMinValueWidth, widest, kMaxValueWidth));
}

QLabel *CaptionLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget *parent)
    : TAboutBox(ReadSystemInfo(), parent)
{
}

TAboutBox::TAboutBox(const SystemInfo &info, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(tr("关于 Tarvo"));

    auto *icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this) * 3 / 2;
    const QIcon appIcon = QApplication::windowIcon();
    const QIcon shown = appIcon.isNull() ? style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this) : appIcon;
    icon->setPixmap(shown.pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    ProductName = new QLabel(QStringLiteral("Tarvo"), this);
    QFont large = ProductName->font();
    large.setPointSizeF(large.pointSizeF() * 2.0);
    large.setBold(true);
    ProductName->setFont(large);

    Comments = new QLabel(tr("FTP 客户端软件"), this);
    Version = new QLabel(QStringLiteral("Version: 1.0 Beta1 "), this);

    auto *titles = new QVBoxLayout;
    titles->setSpacing(4);
    titles->addWidget(ProductName);
    titles->addWidget(Comments);
    titles->addWidget(Version);
    titles->addStretch();

    auto *head = new QHBoxLayout;
    head->setSpacing(16);
    head->addWidget(icon, 0, Qt::AlignTop);
    head->addLayout(titles, 1);

    auto *rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    OsName = ValueLabel(info.osName, this);
    OsVersion = ValueLabel(info.osVersion == info.osBuild ? info.osVersion
                                                          : info.osVersion + u'\n' + info.osBuild,
                           this);
    Processor = ValueLabel(info.processor, this);
    Memory = ValueLabel(info.memory, this);
    SetValueWidth({OsName, OsVersion, Processor, Memory});

    auto *details = new QGridLayout;
    details->setHorizontalSpacing(12);
    details->setVerticalSpacing(6);
    const QList<QPair<QString, QLabel *>> rows = {
        {tr("操作系统:"), OsName},
        {tr("版本:"), OsVersion},
        {tr("处理器:"), Processor},
        {tr("物理内存:"), Memory},
    };
    for (int row = 0; row < rows.size(); ++row) {
        details->addWidget(CaptionLabel(rows[row].first, this), row, 0);
        details->addWidget(rows[row].second, row, 1);
    }

    OKButton = new QPushButton(tr("确定"), this);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 14);
    layout->setSpacing(12);
    layout->addLayout(head);
    layout->addWidget(rule);
    layout->addLayout(details);
    layout->addLayout(buttons);
    // A fixed box: its size follows its texts and cannot be changed.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
