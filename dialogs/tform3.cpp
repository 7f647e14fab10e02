#include "dialogs/tform3.h"

#include "dialogs/integer_text.h"
#include "engine/ftp.h"
#include "platform/dialogs.h"
#include "platform/exceptions.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TForm3::TForm3(TMFtp *engine, QWidget *parent)
    : QDialog(parent)
    , ftp1(engine)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(tr("修改文件属性"));
    setModal(false);

    auto *layout = new QVBoxLayout(this);
    auto *groups = new QHBoxLayout;
    layout->addLayout(groups);
    const auto makeGroup = [&](const QString &name, const QString &caption) {
        auto *group = new QGroupBox(caption, this);
        group->setObjectName(name);
        new QVBoxLayout(group);
        groups->addWidget(group);
        return group;
    };
    GroupBox1 = makeGroup(QStringLiteral("GroupBox1"), tr("文件所有者的权限"));
    GroupBox2 = makeGroup(QStringLiteral("GroupBox2"), tr("组员的读写权限"));
    GroupBox3 = makeGroup(QStringLiteral("GroupBox3"), tr("所有人的权限"));
    const QString read = tr("读"), write = tr("写"), execute = tr("执行");
    CheckBox1 = AddBox(GroupBox1, read, 400);
    CheckBox2 = AddBox(GroupBox1, write, 200);
    CheckBox3 = AddBox(GroupBox1, execute, 100);
    CheckBox4 = AddBox(GroupBox2, read, 40);
    CheckBox5 = AddBox(GroupBox2, write, 20);
    CheckBox6 = AddBox(GroupBox2, execute, 10);
    CheckBox7 = AddBox(GroupBox3, read, 4);
    CheckBox8 = AddBox(GroupBox3, write, 2);
    CheckBox9 = AddBox(GroupBox3, execute, 1);
    for (int i = 0; i < weights_.size(); ++i)
        weights_[i].first->setObjectName(QStringLiteral("CheckBox%1").arg(i + 1));

    auto *byHand = new QHBoxLayout;
    byHand->addWidget(new QLabel(tr("手工修改"), this));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    byHand->addWidget(Edit1);
    layout->addLayout(byHand);

    auto *buttons = new QHBoxLayout;
    const auto makeButton = [&](const QString &name, const QString &caption) {
        auto *button = new QPushButton(caption, this);
        button->setObjectName(name);
        button->setAutoDefault(false);
        buttons->addWidget(button);
        return button;
    };
    Button3 = makeButton(QStringLiteral("Button3"), tr("读(所有)"));
    Button4 = makeButton(QStringLiteral("Button4"), tr("写(所有)"));
    Button5 = makeButton(QStringLiteral("Button5"), tr("执行(所有)"));
    buttons->addStretch();
    Button1 = makeButton(QStringLiteral("Button1"), tr("确定"));
    Button2 = makeButton(QStringLiteral("Button2"), tr("取消"));
    Button1->setDefault(true);
    layout->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm3::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm3::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm3::Button5Click);
}

QCheckBox *TForm3::AddBox(QGroupBox *group, const QString &caption, int weight)
{
    auto *box = new QCheckBox(caption, group);
    group->layout()->addWidget(box);
    weights_.append({box, weight});
    // toggled fires only on a real change, so a box already checked by a
    // "(所有)" button adds nothing twice.
    connect(box, &QCheckBox::toggled, this, [this, box](bool checked) { CheckBoxClick(box, checked); });
    return box;
}

int TForm3::Weight(const QCheckBox *box) const
{
    for (const auto &[candidate, weight] : weights_) {
        if (candidate == box)
            return weight;
    }
    return 0;
}

void TForm3::CheckBoxClick(QCheckBox *box, bool checked)
{
    ModeValue += checked ? Weight(box) : -Weight(box);
    Edit1->setText(QString::number(ModeValue));
}

void TForm3::Button3Click()
{
    for (QCheckBox *box : {CheckBox1, CheckBox4, CheckBox7})
        box->setChecked(true);
}

void TForm3::Button4Click()
{
    for (QCheckBox *box : {CheckBox2, CheckBox5, CheckBox8})
        box->setChecked(true);
}

void TForm3::Button5Click()
{
    for (QCheckBox *box : {CheckBox3, CheckBox6, CheckBox9})
        box->setChecked(true);
}

void TForm3::Button1Click()
{
    const QString text = Edit1->text();
    const std::optional<QByteArray> name = SelectedRemoteName ? SelectedRemoteName() : std::nullopt;
    if (text.isEmpty() || !name)
        return;
    const std::optional<int> mode = IntegerText(text);
    // A negative number would go out as a huge unsigned mode.
    if (!mode || *mode < 0) {
        platform::ShowException(this, platform::Exception(NotAnIntegerMessage(text)));
        return;
    }
    // The engine holds the listing until the SITE reply has been read, so the
    // listing answers for the directory as it is after the change.
    ftp1->ChangeMode(*name, unsigned(*mode));
    ftp1->List();
    hide();
}

void TForm3::Button2Click()
{
    hide();
}
