#include "dialogs/tform4.h"

#include "dialogs/integer_text.h"
#include "mainwindow/main_settings.h"
#include "platform/dialogs.h"
#include "platform/exceptions.h"

#include <QCoreApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QWidget *WithSuffix(QWidget *parent, QLineEdit *field, QWidget *suffix)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field);
    layout->addWidget(suffix);
    return row;
}

QLineEdit *NamedField(const QString &name, QWidget *parent)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(name);
    return field;
}

QPushButton *BrowseButton(const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(QStringLiteral("..."), parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TForm4::TForm4(TMainSettings &settings, QWidget *parent)
    : QDialog(parent), settings_(settings)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QCoreApplication::translate("TForm4", "配置"));
    setModal(false);

    auto *layout = new QVBoxLayout(this);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(BuildGeneralPage(), QCoreApplication::translate("TForm4", "一般选项"));
    PageControl1->addTab(BuildUploadPage(), QCoreApplication::translate("TForm4", "上传"));
    PageControl1->addTab(BuildDownloadPage(), QCoreApplication::translate("TForm4", "下载"));
    PageControl1->addTab(BuildEditPage(), QCoreApplication::translate("TForm4", "编辑文件"));
    PageControl1->addTab(BuildAdvancedPage(), QCoreApplication::translate("TForm4", "高级选项"));
    // Later shows keep whichever page was in front when the dialog was closed.
    PageControl1->setCurrentIndex(EditPage);
    layout->addWidget(PageControl1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    Button1 = new QPushButton(QCoreApplication::translate("TForm4", "确定"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QCoreApplication::translate("TForm4", "取消"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    layout->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
    connect(dirButton, &QPushButton::clicked, this, &TForm4::dirButtonClick);
    connect(editorButton, &QPushButton::clicked, this, &TForm4::editorButtonClick);
    // The field is usable exactly while "the specified editor" is chosen,
    // whether the user or the loading chose it.
    connect(RadioButton14, &QRadioButton::toggled, editor, &QWidget::setEnabled);
    connect(RadioButton14, &QRadioButton::toggled, editorButton, &QWidget::setEnabled);
}

QWidget *TForm4::BuildGeneralPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    email = NamedField(QStringLiteral("email"), page);
    dir = NamedField(QStringLiteral("dir"), page);
    dirButton = BrowseButton(QStringLiteral("dirButton"), page);
    timeout = NamedField(QStringLiteral("timeout"), page);
    noop = NamedField(QStringLiteral("noop"), page);
    form->addRow(QCoreApplication::translate("TForm4", "你的邮件地址"), email);
    form->addRow(QCoreApplication::translate("TForm4", "缺省下载目录"), WithSuffix(page, dir, dirButton));
    form->addRow(QCoreApplication::translate("TForm4", "超时断线时间"), WithSuffix(page, timeout, new QLabel(QCoreApplication::translate("TForm4", "秒"), page)));
    form->addRow(QCoreApplication::translate("TForm4", "执行空操作时间"), WithSuffix(page, noop, new QLabel(QCoreApplication::translate("TForm4", "秒"), page)));
    confirmDelete = new QCheckBox(QCoreApplication::translate("TForm4", "删除文件或目录前询问"), page);
    confirmDelete->setObjectName(QStringLiteral("confirmDelete"));
    confirmDelete->setChecked(true);
    form->addRow(confirmDelete);
    language = new QComboBox(page);
    language->setObjectName(QStringLiteral("language"));
    // The names of the languages are written in themselves: each reads its own.
    language->addItem(QStringLiteral("中文"), QStringLiteral("zh"));
    language->addItem(QStringLiteral("English"), QStringLiteral("en"));
    language->addItem(QCoreApplication::translate("TForm4", "跟随桌面语言"), QStringLiteral("auto"));
    form->addRow(QCoreApplication::translate("TForm4", "界面语言 (重新启动后生效)"), language);
    return page;
}

QWidget *TForm4::RadioGroup(Group group, const QString &caption, const QStringList &captions, int firstNumber,
                            QRadioButton **first, QRadioButton **second, QRadioButton **third)
{
    auto *box = new QGroupBox(caption);
    auto *layout = new QVBoxLayout(box);
    groups_[group] = new QButtonGroup(this);
    QRadioButton **targets[] = {first, second, third};
    for (int i = 0; i < 3; ++i) {
        auto *button = new QRadioButton(captions.at(i), box);
        button->setObjectName(QStringLiteral("RadioButton%1").arg(firstNumber + i));
        layout->addWidget(button);
        groups_[group]->addButton(button, i + 1);
        *targets[i] = button;
    }
    return box;
}

QWidget *TForm4::BuildUploadPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(RadioGroup(UpResume, QCoreApplication::translate("TForm4", "续传提示"),
                                 {QCoreApplication::translate("TForm4", "窗口提示"), QCoreApplication::translate("TForm4", "不提示，直接续传"),
                                  QCoreApplication::translate("TForm4", "不提示,直接覆盖")},
                                 1, &RadioButton1, &RadioButton2, &RadioButton3));
    layout->addWidget(RadioGroup(UpCase, QCoreApplication::translate("TForm4", "文件名大小写"),
                                 {QCoreApplication::translate("TForm4", "保持不变"), QCoreApplication::translate("TForm4", "用大写名上传"),
                                  QCoreApplication::translate("TForm4", "用小写名上传")},
                                 4, &RadioButton4, &RadioButton5, &RadioButton6));
    // The first show selects "窗口提示": a file value outside 1..3 keeps what is shown.
    RadioButton1->setChecked(true);
    RadioButton4->setChecked(true);
    return page;
}

QWidget *TForm4::BuildDownloadPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(RadioGroup(DownResume, QCoreApplication::translate("TForm4", "续传提示"),
                                 {QCoreApplication::translate("TForm4", "窗口提示"), QCoreApplication::translate("TForm4", "不提示，直接续传"),
                                  QCoreApplication::translate("TForm4", "不提示，直接覆盖")},
                                 7, &RadioButton7, &RadioButton8, &RadioButton9));
    layout->addWidget(RadioGroup(DownCase, QCoreApplication::translate("TForm4", "文件名大小写"),
                                 {QCoreApplication::translate("TForm4", "保持不变"), QCoreApplication::translate("TForm4", "用大写名下载"),
                                  QCoreApplication::translate("TForm4", "用小写名下载")},
                                 10, &RadioButton10, &RadioButton11, &RadioButton12));
    RadioButton7->setChecked(true);
    RadioButton10->setChecked(true);
    return page;
}

QWidget *TForm4::BuildEditPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    RadioButton13 = new QRadioButton(QCoreApplication::translate("TForm4", "使用缺省方式编辑文件(按照文件扩展名)"), page);
    RadioButton13->setObjectName(QStringLiteral("RadioButton13"));
    RadioButton14 = new QRadioButton(QCoreApplication::translate("TForm4", "使用指定的编辑器编辑"), page);
    RadioButton14->setObjectName(QStringLiteral("RadioButton14"));
    editorChoice_ = new QButtonGroup(this);
    editorChoice_->addButton(RadioButton13);
    editorChoice_->addButton(RadioButton14);
    editor = NamedField(QStringLiteral("editor"), page);
    editorButton = BrowseButton(QStringLiteral("editorButton"), page);
    layout->addWidget(RadioButton13);
    layout->addWidget(RadioButton14);
    layout->addWidget(WithSuffix(page, editor, editorButton));
    layout->addStretch();
    RadioButton13->setChecked(true);
    editor->setEnabled(false);
    editorButton->setEnabled(false);
    return page;
}

QWidget *TForm4::BuildAdvancedPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(RadioGroup(AfterTransfer, QCoreApplication::translate("TForm4", "文件传输完成后"),
                                 {QCoreApplication::translate("TForm4", "什么事都不发生"), QCoreApplication::translate("TForm4", "关闭该软件"),
                                  QCoreApplication::translate("TForm4", "退出连接")},
                                 15, &RadioButton15, &RadioButton16, &RadioButton17));
    layout->addWidget(RadioGroup(AfterConnect, QCoreApplication::translate("TForm4", "连线后"),
                                 {QCoreApplication::translate("TForm4", "列出目录"), QCoreApplication::translate("TForm4", "执行批处理"),
                                  QCoreApplication::translate("TForm4", "下载整个站点(mirror)")},
                                 18, &RadioButton18, &RadioButton19, &RadioButton20));
    auto *connection = new QGroupBox(QCoreApplication::translate("TForm4", "连接"), page);
    auto *connectionLayout = new QVBoxLayout(connection);
    passiveMode = new QCheckBox(QCoreApplication::translate("TForm4", "被动模式 (由本机连接服务器传输数据, 适合在路由器或防火墙之后)"), connection);
    passiveMode->setObjectName(QStringLiteral("passiveMode"));
    passiveMode->setChecked(true);
    keepUploadTime = new QCheckBox(QCoreApplication::translate("TForm4", "上传后保持文件的修改时间 (服务器支持 MFMT 时)"), connection);
    keepUploadTime->setObjectName(QStringLiteral("keepUploadTime"));
    keepUploadTime->setChecked(true);
    connectionLayout->addWidget(passiveMode);
    connectionLayout->addWidget(keepUploadTime);
    auto *retriesRow = new QHBoxLayout;
    auto *retriesLabel = new QLabel(QCoreApplication::translate("TForm4", "批处理传输因连接错误失败时自动重试的次数"), connection);
    retries = new QSpinBox(connection);
    retries->setObjectName(QStringLiteral("retries"));
    retries->setRange(0, 10);
    retries->setValue(TMainSettings().retries);
    retriesLabel->setBuddy(retries);
    retriesRow->addWidget(retriesLabel);
    retriesRow->addWidget(retries);
    retriesRow->addStretch(1);
    connectionLayout->addLayout(retriesRow);
    layout->addWidget(connection);
    layout->addWidget(BuildTransferGroup(page));
    auto *search = new QGroupBox(QCoreApplication::translate("TForm4", "FTP 搜索"), page);
    auto *searchLayout = new QHBoxLayout(search);
    auto *searchLabel = new QLabel(QCoreApplication::translate("TForm4", "FTP 搜索引擎地址"), search);
    searchEngine = NamedField(QStringLiteral("searchEngine"), search);
    searchEngine->setPlaceholderText(QCoreApplication::translate("TForm4", "例如 search.example.org 或 https://search.example.org:8443"));
    searchEngine->setToolTip(QCoreApplication::translate("TForm4", "FTP 搜索窗口查询的搜索引擎 (空: 未设置)"));
    searchLabel->setBuddy(searchEngine);
    searchLayout->addWidget(searchLabel);
    searchLayout->addWidget(searchEngine, 1);
    layout->addWidget(search);
    layout->addStretch(1);
    return page;
}

QWidget *TForm4::BuildTransferGroup(QWidget *page)
{
    auto *group = new QGroupBox(QCoreApplication::translate("TForm4", "传输"), page);
    auto *form = new QFormLayout(group);
    const auto spin = [group](const char *name, int minimum, int maximum, int value) {
        auto *box = new QSpinBox(group);
        box->setObjectName(QLatin1StringView(name));
        box->setRange(minimum, maximum);
        box->setValue(value);
        return box;
    };
    const TMainSettings defaults;
    transfers = spin("transfers", 1, 10, defaults.transfers);
    transfers->setToolTip(QCoreApplication::translate("TForm4", "每个文件用一个单独的连接; 为 1 时在浏览的连接上逐个传输"));
    downLimit = spin("downLimit", 0, 1000000, defaults.downlimit);
    upLimit = spin("upLimit", 0, 1000000, defaults.uplimit);
    for (QSpinBox *limit : {downLimit, upLimit}) {
        limit->setSuffix(QStringLiteral(" KiB/s"));
        limit->setSpecialValueText(QCoreApplication::translate("TForm4", "不限制"));
    }
    form->addRow(QCoreApplication::translate("TForm4", "同时传输的文件数"), transfers);
    form->addRow(QCoreApplication::translate("TForm4", "下载限速"), downLimit);
    form->addRow(QCoreApplication::translate("TForm4", "上传限速"), upLimit);
    return group;
}

void TForm4::showEvent(QShowEvent *event)
{
    // Un-minimising is not a new showing: the user's edits stay.
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TForm4::ShowGroup(Group group, int value, bool clearOtherwise)
{
    QButtonGroup *buttons = groups_[group];
    if (QAbstractButton *button = buttons->button(value)) {
        button->setChecked(true);
        return;
    }
    if (!clearOtherwise)
        return;
    // An exclusive group refuses to have its checked button unchecked.
    buttons->setExclusive(false);
    for (QAbstractButton *button : buttons->buttons())
        button->setChecked(false);
    buttons->setExclusive(true);
}

int TForm4::GroupValue(Group group, int unchanged) const
{
    const int id = groups_[group]->checkedId();
    return id > 0 ? id : unchanged;
}

void TForm4::FormShow()
{
    settings_ = ReadSettingsFile(SettingsFileName());
    email->setText(settings_.email);
    dir->setText(settings_.initdir);
    timeout->setText(QString::number(settings_.timeout));
    noop->setText(QString::number(settings_.nooptime));
    confirmDelete->setChecked(settings_.confirmdelete);
    language->setCurrentIndex(qMax(0, language->findData(settings_.language)));
    passiveMode->setChecked(settings_.passive);
    keepUploadTime->setChecked(settings_.keepuploadtime);
    retries->setValue(settings_.retries);
    transfers->setValue(settings_.transfers);
    downLimit->setValue(settings_.downlimit);
    upLimit->setValue(settings_.uplimit);
    searchEngine->setText(settings_.searchengine);
    ShowGroup(UpResume, settings_.upresume, false);
    ShowGroup(UpCase, settings_.upfilenamecase, false);
    ShowGroup(DownResume, settings_.downresume, false);
    ShowGroup(DownCase, settings_.downfilenamecase, false);
    if (!settings_.editor.isEmpty()) {
        RadioButton14->setChecked(true);
        editor->setText(settings_.editor);
    } else {
        RadioButton13->setChecked(true);
        editor->clear();
    }
    ShowGroup(AfterTransfer, settings_.aftertransfer, true);
    ShowGroup(AfterConnect, settings_.afterconnect, true);
}

bool TForm4::ReadInteger(QLineEdit *field, int &setting)
{
    const std::optional<int> value = IntegerText(field->text());
    if (!value) {
        PageControl1->setCurrentIndex(GeneralPage);
        field->setFocus();
        platform::ShowException(this, platform::Exception(NotAnIntegerMessage(field->text())));
        return false;
    }
    setting = *value;
    return true;
}

bool TForm4::Button1Click()
{
    // Stored field by field: a bad number stops here with the fields before it
    // already in the record, and nothing written to the file.
    settings_.email = email->text();
    settings_.initdir = dir->text();
    if (!ReadInteger(timeout, settings_.timeout) || !ReadInteger(noop, settings_.nooptime))
        return false;
    settings_.upresume = GroupValue(UpResume, settings_.upresume);
    settings_.upfilenamecase = GroupValue(UpCase, settings_.upfilenamecase);
    settings_.downresume = GroupValue(DownResume, settings_.downresume);
    settings_.downfilenamecase = GroupValue(DownCase, settings_.downfilenamecase);
    settings_.aftertransfer = GroupValue(AfterTransfer, settings_.aftertransfer);
    settings_.afterconnect = GroupValue(AfterConnect, settings_.afterconnect);
    settings_.editor = RadioButton13->isChecked() ? QString() : editor->text();
    settings_.confirmdelete = confirmDelete->isChecked();
    settings_.language = language->currentData().toString();
    settings_.passive = passiveMode->isChecked();
    settings_.keepuploadtime = keepUploadTime->isChecked();
    settings_.retries = retries->value();
    settings_.transfers = transfers->value();
    settings_.downlimit = downLimit->value();
    settings_.uplimit = upLimit->value();
    settings_.searchengine = searchEngine->text().trimmed();
    WriteSettingsFile(SettingsFileName(), settings_);
    accept();  // hides it; the owner hears that the settings changed
    return true;
}

void TForm4::Button2Click()
{
    hide();
}

void TForm4::dirButtonClick()
{
    QString directory = dir->text();
    if (platform::CurrentDialogs().ChooseDirectory(this, QCoreApplication::translate("TForm4", "缺省下载目录"), directory))
        dir->setText(directory);
}

void TForm4::editorButtonClick()
{
    QStringList files;
    if (!editor->text().isEmpty())
        files << editor->text();
    if (platform::CurrentDialogs().ChooseOpenFiles(this, QCoreApplication::translate("TForm4", "使用指定的编辑器编辑"),
                                                   QCoreApplication::translate("TForm4", "所有文件 (*)"), files)
        && !files.isEmpty())
        editor->setText(files.first());
}
