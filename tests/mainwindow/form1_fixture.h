#pragma once
// What the main-window tests share: a settings folder of their own, the
// scripted dialogs, and readers of the log's lines with their colours.

#include "mainwindow/tform1.h"
#include "platform/folders.h"
#include "scripted_dialogs.h"

#include <QColor>
#include <QFile>
#include <QList>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <memory>

struct LogLine {
    QString text;
    QColor color;
};

inline QList<LogLine> LogLines(const TForm1 &form)
{
    QList<LogLine> lines;
    form.FlushLog();
    for (QTextBlock block = form.richedit1->document()->begin(); block.isValid(); block = block.next()) {
        QColor color;
        if (block.begin() != block.end())
            color = block.begin().fragment().charFormat().foreground().color();
        lines.append({block.text(), color});
    }
    return lines;
}

// A settings folder of the test's own, so that no ftp.ini of the machine is
// read or written.
class SettingsFolder {
public:
    // With an empty site list: without one the first show reports "Cannot open
    // file"; the tests of that remove it.
    SettingsFolder()
    {
        platform::SetSettingsFolderOverride(dir_.path());
        (void)QFile(dir_.filePath(QStringLiteral("list.ini"))).open(QIODevice::WriteOnly);
    }
    ~SettingsFolder() { platform::SetSettingsFolderOverride(QString()); }
    QString Path() const { return dir_.path(); }
    QString File(const QString &name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

// The window with the desktop seams pointed at recorders.
struct FormUnderTest {
    FormUnderTest()
    {
        form = std::make_unique<TForm1>();
        form->OpenDocument = [this](const QString &path) {
            opened << path;
            return true;
        };
        form->StartInstance = [this](const QString &program) {
            started << program;
            return true;
        };
    }
    std::unique_ptr<TForm1> form;
    QStringList opened;
    QStringList started;
};
