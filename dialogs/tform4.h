#pragma once
// TForm4: the configuration dialog over the settings record its owner gives
// it. Every show reloads that record from ftp.ini and fills the controls; OK
// stores them back and writes the file.
// Which settings act at once is the readers' business: the ones read when
// needed (resume, name case, after-transfer, after-connect, editor) act on
// the next use, the time-outs, e-mail and start directory from the next start.

#include <QDialog>

struct TMainSettings;

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QSpinBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

class TForm4 : public QDialog {
    Q_OBJECT
public:
    explicit TForm4(TMainSettings &settings, QWidget *parent = nullptr);

    static constexpr int GeneralPage = 0, UploadPage = 1, DownloadPage = 2, EditPage = 3, AdvancedPage = 4;
    QTabWidget *PageControl1;

    // 一般选项
    QLineEdit *email;
    QLineEdit *dir;
    QPushButton *dirButton;  // browse for the folder
    QLineEdit *timeout;
    QLineEdit *noop;
    QCheckBox *confirmDelete;  // confirmdelete
    QComboBox *language;        // language: 中文 / English / 跟随桌面语言
    QCheckBox *passiveMode;     // passive
    QCheckBox *keepUploadTime;  // keepuploadtime
    QSpinBox *retries;          // retries
    QSpinBox *transfers;        // transfers: 同时传输的文件数
    QSpinBox *downLimit;        // downlimit, KiB/s
    QSpinBox *upLimit;          // uplimit, KiB/s
    // 上传
    QRadioButton *RadioButton1, *RadioButton2, *RadioButton3;  // 续传提示 -> upresume
    QRadioButton *RadioButton4, *RadioButton5, *RadioButton6;  // 文件名大小写 -> upfilenamecase
    // 下载
    QRadioButton *RadioButton7, *RadioButton8, *RadioButton9;     // downresume
    QRadioButton *RadioButton10, *RadioButton11, *RadioButton12;  // downfilenamecase
    // 编辑文件
    QRadioButton *RadioButton13, *RadioButton14;
    QLineEdit *editor;
    QPushButton *editorButton;  // browse for the program
    // 高级选项
    QRadioButton *RadioButton15, *RadioButton16, *RadioButton17;  // aftertransfer
    QRadioButton *RadioButton18, *RadioButton19, *RadioButton20;  // afterconnect
    QLineEdit *searchEngine;  // searchengine

    QPushButton *Button1;  // 确定
    QPushButton *Button2;  // 取消

    // Reloads the settings and shows them; runs at every show.
    void FormShow();
    // OK: false (dialog kept open, nothing written) when a number field is bad.
    bool Button1Click();
    void Button2Click();
    void dirButtonClick();
    void editorButtonClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    TMainSettings &settings_;
    enum Group { UpResume, UpCase, DownResume, DownCase, AfterTransfer, AfterConnect, GroupCount };
    QButtonGroup *groups_[GroupCount];
    QButtonGroup *editorChoice_;

    QWidget *BuildGeneralPage();
    QWidget *BuildUploadPage();
    QWidget *BuildDownloadPage();
    QWidget *BuildEditPage();
    QWidget *BuildAdvancedPage();
    QWidget *BuildTransferGroup(QWidget *page);
    // A captioned box of three radio buttons numbered 1, 2, 3.
    QWidget *RadioGroup(Group group, const QString &caption, const QStringList &captions, int firstNumber,
                        QRadioButton **first, QRadioButton **second, QRadioButton **third);
    // Selects the button numbered value; any other value clears the group when
    // clearOtherwise, else leaves it as it was.
    void ShowGroup(Group group, int value, bool clearOtherwise);
    // The selected button's number, or the setting unchanged when none is.
    int GroupValue(Group group, int unchanged) const;
    // Reads a number field; reports it and gives false when it is not one.
    bool ReadInteger(QLineEdit *field, int &setting);
};
