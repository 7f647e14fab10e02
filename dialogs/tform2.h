#pragma once
// TForm2: the site manager. It keeps the site list (list.ini, read once at
// creation), edits one site at a time and connects to a site by handing its
// values to the main window, which then connects as if they had been typed
// there. Closing only hides it, so unsaved changes last for the run.

#include "dialogs/site_list.h"
#include "dialogs/site_options.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;
class QTreeView;

namespace platform {
class PasswordStore;
}

// The site list as ListView1 shows it: the caption column, then the six others.
class SiteListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const QList<SiteEntry> &Sites() const { return sites_; }
    const SiteEntry &Site(int row) const { return sites_.at(row); }
    void SetSites(QList<SiteEntry> sites);
    void Append(const SiteEntry &site);
    void Replace(int row, const SiteEntry &site);
    // Rows in any order; each goes once.
    void Remove(QList<int> rows);

private:
    QList<SiteEntry> sites_;
};

// What the site manager may do to the main window, and nothing more.
struct SiteManagerHost {
    // The local pane's directory when the window is created.
    std::function<QString()> LocalDirectory;
    // The login bar: user name and password, then port and server.
    std::function<void(const QString &username, const QString &password)> SetLogin;
    std::function<void(int port, const QString &server)> SetServer;
    // The engine's directory to change to after login.
    std::function<void(const QString &directory)> SetInitialDirectory;
    // The local pane's path selector; a path other than its own acts as the
    // user's choice.
    std::function<void(const QString &directory)> SetDrivePath;
    // The text of the local path combo.
    std::function<void(const QString &text)> SetLocalPathText;
    // The site's encryption and data connection mode for the connect that follows.
    std::function<void(const SiteOptions &options)> SetOptions;
    // The configuration's data connection mode, for sites that have none stored.
    std::function<bool()> DefaultPassive;
    // The main window's connect command.
    std::function<void()> Connect;
};

class TForm2 : public QDialog {
    Q_OBJECT
public:
    // Reads list.ini; a missing or unreadable one is reported here, once.
    explicit TForm2(SiteManagerHost host, QWidget *parent = nullptr);

    // The password connect gives an anonymous login.
    static QString AnonymousPassword();

    QGroupBox *GroupBox1;
    QLineEdit *name, *server, *username, *password;
    // Store keeps the password in the desktop's keyring when checked, and
    // removes any kept one when not; selecting a site checks it when one is kept.
    QCheckBox *savePassword;
    QSpinBox *port;
    QCheckBox *anonymous;
    QLineEdit *localpath;
    QToolButton *localpathBrowse;
    QLineEdit *remotepath;
    QComboBox *encryption;
    QCheckBox *passive;
    QPushButton *Button1, *Button8, *Button3, *Button4, *Button2;
    QTreeView *ListView1;
    SiteListModel *ListView1Model;

    void ListView1Click();
    void ListView1DblClick();
    void anonymousClick();
    void Button1Click();  // 连接
    void Button8Click();  // 修改/添加到列表
    void Button3Click();  // 保存
    void Button4Click();  // 删除
    void Button2Click();  // 取消
    void localpathBrowseClick();

    // The row that is selected, or -1.
    int SelectedRow() const;
    void SelectRow(int row);

private:
    void BuildControls();
    void LoadList();
    void FillFromRow(int row);
    SiteEntry EditedSite() const;
    SiteOptions EditedOptions() const;
    SiteOptions OptionsOf(const QString &siteName) const;
    void ShowOptions(const SiteOptions &options);
    void Message(const QString &text);
    void ConnectNow();
    // The keyring side of selecting, storing and deleting a site.
    void ReadPassword(const QString &siteName);
    void KeepPassword(const QString &siteName);
    void ForgetPassword(const QString &siteName);

    SiteManagerHost host_;
    platform::PasswordStore *passwords_;
    // The keyring answers later: an answer for an earlier selection is dropped,
    // and a connect asked for meanwhile waits for the current one.
    int passwordRead_ = 0;
    bool passwordReadPending_ = false;
    bool connectAfterRead_ = false;
    // list-options.ini as last read or saved, with the edits of this run.
    QHash<QString, SiteOptions> options_;
};
