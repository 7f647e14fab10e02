#pragma once
// TForm3: the permissions dialog. Nine boxes compose a Unix mode as the
// decimal number whose digits are the octal ones (755 for rwxr-xr-x), or the
// user types it; OK sends SITE CHMOD for the remote list's selected file and
// lists the directory again. Boxes, ModeValue and the text outlive a hide.

#include <QByteArray>
#include <QDialog>
#include <functional>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class TMFtp;

class TForm3 : public QDialog {
    Q_OBJECT
public:
    // The engine stays the caller's; it must outlive the dialog.
    explicit TForm3(TMFtp *engine, QWidget *parent = nullptr);

    // The server's bytes of the remote list's selected row (the first one in
    // list order when several are), or none when nothing is selected.
    std::function<std::optional<QByteArray>()> SelectedRemoteName;

    // Always the sum of the checked boxes' weights, whatever Edit1 holds.
    int ModeValue = 0;

    QGroupBox *GroupBox1, *GroupBox2, *GroupBox3;
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3;  // owner: 400 200 100
    QCheckBox *CheckBox4, *CheckBox5, *CheckBox6;  // group: 40 20 10
    QCheckBox *CheckBox7, *CheckBox8, *CheckBox9;  // everyone: 4 2 1
    QLineEdit *Edit1;
    QPushButton *Button3, *Button4, *Button5;  // 读(所有) 写(所有) 执行(所有)
    QPushButton *Button1, *Button2;            // 确定 取消

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();

    // The weight of a box (0 for anything else).
    int Weight(const QCheckBox *box) const;

private:
    QCheckBox *AddBox(QGroupBox *group, const QString &caption, int weight);
    void CheckBoxClick(QCheckBox *box, bool checked);

    TMFtp *ftp1;
    QList<QPair<QCheckBox *, int>> weights_;
};
