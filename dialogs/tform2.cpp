#include "dialogs/tform2.h"
#include "dialogs/integer_text.h"

#include "platform/dialogs.h"
#include "platform/password_store.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

using namespace Qt::StringLiterals;

namespace {

const QString kYes = u"yes"_s;
const QString kNo = u"no"_s;

} // namespace

// ---- the list ----

int SiteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(sites_.size());
}

int SiteListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : SiteEntry::FieldCount;
}

QVariant SiteListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= sites_.size() || role != Qt::DisplayRole)
        return {};
    return sites_.at(index.row()).Fields().at(index.column());
}

QVariant SiteListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QStringList captions = {tr("站点名称"), tr("主机名"), tr("用户名"), tr("端口"),
                                         tr("本地目录"), tr("远程初始目录"), tr("匿名登陆")};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= captions.size())
        return {};
    return captions.at(section);
}

void SiteListModel::SetSites(QList<SiteEntry> sites)
{
    beginResetModel();
    sites_ = std::move(sites);
    endResetModel();
}

void SiteListModel::Append(const SiteEntry &site)
{
    const int row = int(sites_.size());
    beginInsertRows(QModelIndex(), row, row);
    sites_.append(site);
    endInsertRows();
}

void SiteListModel::Replace(int row, const SiteEntry &site)
{
    sites_[row] = site;
    emit dataChanged(index(row, 0), index(row, SiteEntry::FieldCount - 1));
}

void SiteListModel::Remove(QList<int> rows)
{
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows) {
        if (row < 0 || row >= sites_.size())
            continue;
        beginRemoveRows(QModelIndex(), row, row);
        sites_.removeAt(row);
        endRemoveRows();
    }
}

// ---- the window ----

TForm2::TForm2(SiteManagerHost host, QWidget *parent)
    : QDialog(parent)
    , host_(std::move(host))
    , passwords_(new platform::PasswordStore(this))
{
    setObjectName(u"Form2"_s);
    setWindowTitle(tr("站点管理"));
    setModal(false);
    BuildControls();
    LoadList();
}

QString TForm2::AnonymousPassword()
{
    return u"tarvo@example.com"_s;
}

void TForm2::BuildControls()
{
    auto named = [](auto *widget, const QString &objectName) {
        widget->setObjectName(objectName);
        return widget;
    };
    GroupBox1 = named(new QGroupBox(tr("用户资料"), this), u"GroupBox1"_s);
    name = named(new QLineEdit(GroupBox1), u"name"_s);
    server = named(new QLineEdit(GroupBox1), u"server"_s);
    username = named(new QLineEdit(GroupBox1), u"username"_s);
    password = named(new QLineEdit(GroupBox1), u"password"_s);
    password->setEchoMode(QLineEdit::Password);
    savePassword = named(new QCheckBox(tr("保存密码"), GroupBox1), u"savePassword"_s);
    savePassword->setToolTip(tr("把密码保存在系统密钥环中, 不写入任何文件"));
    port = named(new QSpinBox(GroupBox1), u"port"_s);
    port->setRange(INT_MIN, INT_MAX);
    port->setValue(21);
    anonymous = named(new QCheckBox(tr("使用匿名登陆"), GroupBox1), u"anonymous"_s);
    localpath = named(new QLineEdit(GroupBox1), u"localpath"_s);
    localpathBrowse = named(new QToolButton(GroupBox1), u"localpathBrowse"_s);
    localpathBrowse->setText(u"..."_s);
    remotepath = named(new QLineEdit(GroupBox1), u"remotepath"_s);
    encryption = named(new QComboBox(GroupBox1), u"encryption"_s);
    for (int mode = 0; mode < SiteOptions::EncryptionCount; ++mode)
        encryption->addItem(EncryptionText(mode));
    passive = named(new QCheckBox(tr("被动模式"), GroupBox1), u"passive"_s);
    passive->setToolTip(tr("由本机连接服务器传输数据 (PASV), 适合在路由器或防火墙之后使用"));
    Button1 = named(new QPushButton(tr("连接"), GroupBox1), u"Button1"_s);
    Button8 = named(new QPushButton(tr("修改/添加到列表"), GroupBox1), u"Button8"_s);
    Button3 = named(new QPushButton(tr("保存"), GroupBox1), u"Button3"_s);
    Button4 = named(new QPushButton(tr("删除"), GroupBox1), u"Button4"_s);
    Button2 = named(new QPushButton(tr("取消"), GroupBox1), u"Button2"_s);
    // Enter in a field must not press a button of its own accord.
    for (QPushButton *button : {Button1, Button8, Button3, Button4, Button2})
        button->setAutoDefault(false);

    auto *fields = new QGridLayout;
    auto label = [this](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, GroupBox1);
        l->setBuddy(buddy);
        return l;
    };
    fields->addWidget(label(tr("站点名称"), name), 0, 0);
    fields->addWidget(name, 0, 1);
    fields->addWidget(label(tr("主机名"), server), 0, 2);
    fields->addWidget(server, 0, 3);
    fields->addWidget(label(tr("用户名"), username), 1, 0);
    fields->addWidget(username, 1, 1);
    fields->addWidget(label(tr("密码"), password), 1, 2);
    fields->addWidget(password, 1, 3);
    fields->addWidget(savePassword, 1, 4);
    fields->addWidget(label(tr("端口"), port), 2, 0);
    fields->addWidget(port, 2, 1);
    fields->addWidget(anonymous, 2, 3);
    auto *localRow = new QHBoxLayout;
    localRow->addWidget(localpath);
    localRow->addWidget(localpathBrowse);
    fields->addWidget(label(tr("本地目录"), localpath), 3, 0);
    fields->addLayout(localRow, 3, 1, 1, 3);
    fields->addWidget(label(tr("远程初始目录"), remotepath), 4, 0);
    fields->addWidget(remotepath, 4, 1, 1, 3);
    fields->addWidget(label(tr("加密"), encryption), 5, 0);
    fields->addWidget(encryption, 5, 1);
    fields->addWidget(passive, 5, 3);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *button : {Button1, Button8, Button3, Button4, Button2})
        buttons->addWidget(button);
    auto *groupLayout = new QVBoxLayout(GroupBox1);
    groupLayout->addLayout(fields);
    groupLayout->addLayout(buttons);

    ListView1Model = new SiteListModel(this);
    ListView1 = named(new QTreeView(this), u"ListView1"_s);
    ListView1->setModel(ListView1Model);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSortingEnabled(false);
    ListView1->header()->setSectionsMovable(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addWidget(ListView1, 1);
    resize(640, 480);

    connect(anonymous, &QCheckBox::toggled, this, &TForm2::anonymousClick);
    connect(ListView1, &QTreeView::clicked, this, &TForm2::ListView1Click);
    connect(ListView1, &QTreeView::doubleClicked, this, &TForm2::ListView1DblClick);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button8, &QPushButton::clicked, this, &TForm2::Button8Click);
    connect(Button3, &QPushButton::clicked, this, &TForm2::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm2::Button4Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(localpathBrowse, &QToolButton::clicked, this, &TForm2::localpathBrowseClick);
}

void TForm2::Message(const QString &text)
{
    platform::CurrentDialogs().MessageBox(this, text, QString(), platform::Dialogs::NoIcon,
                                          platform::Dialogs::OkOnly);
}

void TForm2::LoadList()
{
    const QString path = SiteListFileName();
    SiteListRead read = ReadSiteList(path);
    if (!read.opened) {
        // Shown over the main window: this window is not on screen yet.
        platform::CurrentDialogs().MessageBox(parentWidget(), CannotOpenFileMessage(path), QString(),
                                              platform::Dialogs::NoIcon, platform::Dialogs::OkOnly);
        return;
    }
    ListView1Model->SetSites(std::move(read.sites));
    options_ = ReadSiteOptions(SiteOptionsFileName());
    ShowOptions(OptionsOf(QString()));
    localpath->setText(host_.LocalDirectory ? host_.LocalDirectory() : QString());
    remotepath->setText(u"/"_s);
}

int TForm2::SelectedRow() const
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TForm2::SelectRow(int row)
{
    if (row < 0 || row >= ListView1Model->rowCount())
        return;
    ListView1->setCurrentIndex(ListView1Model->index(row, 0));
    ListView1->selectionModel()->select(ListView1Model->index(row, 0),
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    FillFromRow(row);
}

void TForm2::ListView1Click()
{
    const int row = SelectedRow();
    if (row >= 0)
        FillFromRow(row);
}

void TForm2::ListView1DblClick()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    FillFromRow(row);
    Button1Click();
}

// A port that is no number stops after the first three fields, as a failed
// conversion would: the rest keep what they held.
void TForm2::FillFromRow(int row)
{
    const SiteEntry &site = ListView1Model->Site(row);
    name->setText(site.name);
    server->setText(site.server);
    username->setText(site.username);
    // Passwords are not in the list: one typed for another site must not go to this one.
    password->clear();
    savePassword->setChecked(false);
    ReadPassword(site.name);
    ShowOptions(OptionsOf(site.name));
    const std::optional<int> portNumber = IntegerText(site.port);
    if (!portNumber) {
        Message(NotAnIntegerMessage(site.port));
        return;
    }
    port->setValue(*portNumber);
    localpath->setText(site.localpath);
    remotepath->setText(site.remotepath);
    anonymous->setChecked(site.anonymous == kYes);
}

void TForm2::anonymousClick()
{
    const bool enabled = !anonymous->isChecked();
    username->setEnabled(enabled);
    password->setEnabled(enabled);
    savePassword->setEnabled(enabled);
}

SiteEntry TForm2::EditedSite() const
{
    SiteEntry site;
    site.name = name->text();
    site.server = server->text();
    site.username = username->text();
    site.port = QString::number(port->value());
    site.localpath = localpath->text();
    site.remotepath = remotepath->text();
    site.anonymous = anonymous->isChecked() ? kYes : kNo;
    return site;
}

SiteOptions TForm2::EditedOptions() const
{
    return SiteOptions{encryption->currentIndex(), passive->isChecked()};
}

SiteOptions TForm2::OptionsOf(const QString &siteName) const
{
    if (const auto found = options_.constFind(siteName); found != options_.cend())
        return *found;
    SiteOptions defaults;
    if (host_.DefaultPassive)
        defaults.passive = host_.DefaultPassive();
    return defaults;
}

void TForm2::ShowOptions(const SiteOptions &options)
{
    encryption->setCurrentIndex(options.encryption);
    passive->setChecked(options.passive);
}

void TForm2::Button8Click()
{
    if (name->text().isEmpty()) {
        Message(tr("没有填站点名称"));
        return;
    }
    if (server->text().isEmpty()) {
        Message(tr("没有填主机名"));
        return;
    }
    if (username->text().isEmpty() && !anonymous->isChecked()) {
        Message(tr("没有填用户名"));
        return;
    }
    const SiteEntry site = EditedSite();
    // The file joins fields with "|": a site holding one would not load again.
    const QStringList fields = site.Fields();
    if (std::any_of(fields.begin(), fields.end(), [](const QString &f) { return f.contains(u'|'); })) {
        Message(tr("站点资料中不能含有字符 \"|\""));
        return;
    }
    bool matched = false;
    for (int row = 0; row < ListView1Model->rowCount(); ++row) {
        if (ListView1Model->Site(row).name == site.name) {
            ListView1Model->Replace(row, site);
            matched = true;
        }
    }
    if (!matched)
        ListView1Model->Append(site);
    options_.insert(site.name, EditedOptions());
    KeepPassword(site.name);
}

void TForm2::Button4Click()
{
    QList<int> rows;
    QStringList names;
    for (const QModelIndex &index : ListView1->selectionModel()->selectedRows()) {
        rows << index.row();
        names << ListView1Model->Site(index.row()).name;
    }
    ListView1Model->Remove(rows);
    // A name the list still holds in another row keeps its password.
    const QList<SiteEntry> &left = ListView1Model->Sites();
    for (const QString &siteName : names) {
        if (std::none_of(left.begin(), left.end(), [&](const SiteEntry &s) { return s.name == siteName; }))
            ForgetPassword(siteName);
    }
}

void TForm2::ReadPassword(const QString &siteName)
{
    const int read = ++passwordRead_;
    passwordReadPending_ = true;
    passwords_->Read(platform::PasswordStore::SiteKey(siteName),
                     [this, read, siteName](const platform::PasswordStore::Result &result) {
        if (read != passwordRead_)
            return;
        passwordReadPending_ = false;
        // A keyring that fails here says nothing: connect asks for the password as
        // it did before, and storing is where a missing keyring is reported.
        // What the user typed meanwhile, or another site in the fields, wins.
        if (result.outcome == platform::PasswordStore::Done && name->text() == siteName
            && password->text().isEmpty()) {
            password->setText(result.password);
            savePassword->setChecked(true);
        }
        if (connectAfterRead_) {
            connectAfterRead_ = false;
            ConnectNow();
        }
    });
}

void TForm2::KeepPassword(const QString &siteName)
{
    const QString key = platform::PasswordStore::SiteKey(siteName);
    const bool keep = savePassword->isChecked() && !anonymous->isChecked() && !password->text().isEmpty();
    if (!keep) {
        // The selected site's own password is still on its way: the cleared box
        // says nothing about it yet.
        if (passwordReadPending_ && password->text().isEmpty())
            return;
        passwords_->Remove(key, {});
        return;
    }
    passwords_->Write(key, password->text(), [this](const platform::PasswordStore::Result &result) {
        if (result.outcome == platform::PasswordStore::Failed)
            Message(tr("无法把密码保存到系统密钥环: ") + result.error);
    });
}

void TForm2::ForgetPassword(const QString &siteName)
{
    passwords_->Remove(platform::PasswordStore::SiteKey(siteName), {});
}

void TForm2::Button3Click()
{
    const QString path = SiteListFileName();
    if (!WriteSiteList(path, ListView1Model->Sites())) {
        Message(CannotCreateFileMessage(path));
        return;
    }
    // Only the listed sites keep options: a deleted site's go with it.
    QHash<QString, SiteOptions> kept;
    for (const SiteEntry &site : ListView1Model->Sites()) {
        if (const auto found = options_.constFind(site.name); found != options_.cend())
            kept.insert(site.name, *found);
    }
    options_ = kept;
    const QString optionsPath = SiteOptionsFileName();
    if (!WriteSiteOptions(optionsPath, options_))
        Message(CannotCreateFileMessage(optionsPath));
}

void TForm2::Button1Click()
{
    // A double click selects and connects at once: let the keyring answer first,
    // or the login would go out without the stored password.
    if (passwordReadPending_ && !anonymous->isChecked() && password->text().isEmpty()) {
        connectAfterRead_ = true;
        return;
    }
    ConnectNow();
}

void TForm2::ConnectNow()
{
    if (anonymous->isChecked()) {
        if (host_.SetLogin)
            host_.SetLogin(u"anonymous"_s, AnonymousPassword());
    } else if (host_.SetLogin) {
        host_.SetLogin(username->text(), password->text());
    }
    if (host_.SetServer)
        host_.SetServer(port->value(), server->text());
    if (host_.SetInitialDirectory)
        host_.SetInitialDirectory(remotepath->text());
    if (host_.SetOptions)
        host_.SetOptions(EditedOptions());

    const QString directory = localpath->text();
    if (directory.isEmpty() || !QFileInfo(directory).isDir()) {
        Message(tr("目录 ") + directory + tr(" 不存在,请填正确"));
        return;
    }
    QString drivePath = directory;
    if (!drivePath.endsWith(u'/'))
        drivePath += u'/';
    if (host_.SetDrivePath)
        host_.SetDrivePath(drivePath);
    if (host_.SetLocalPathText)
        host_.SetLocalPathText(directory);
    if (host_.Connect)
        host_.Connect();
    hide();
}

void TForm2::Button2Click()
{
    hide();
}

void TForm2::localpathBrowseClick()
{
    QString directory = localpath->text();
    if (platform::CurrentDialogs().ChooseDirectory(this, tr("浏览文件夹"), directory) && !directory.isEmpty())
        localpath->setText(directory);
}
