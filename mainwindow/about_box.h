#pragma once
// The about box "关于 Tarvo": the product, its version and what it runs on.

#include <QDialog>

class QLabel;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);

    QLabel *ProductName;
    QLabel *Comments;
    QLabel *Version;
    QLabel *OsName;
    QLabel *OsVersion;
    QLabel *Processor;
    QLabel *Memory;
};
