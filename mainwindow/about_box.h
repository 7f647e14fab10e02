#pragma once
// The about box "关于 Tarvo": the product, its version and what it runs on.

#include <QDialog>

#include "system_info.h"

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    // Reads this machine's details once, when the box is made.
    explicit TAboutBox(QWidget *parent = nullptr);
    // Shows the given details (for tests).
    explicit TAboutBox(const SystemInfo &info, QWidget *parent = nullptr);

    QLabel *ProductName;
    QLabel *Comments;
    QLabel *Version;
    QLabel *OsName;
    QLabel *OsVersion;
    QLabel *Processor;
    QLabel *Memory;
    QPushButton *OKButton;
};
