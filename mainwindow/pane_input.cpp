#include "mainwindow/pane_input.h"

#include "mainwindow/main_settings.h"
#include "platform/dialogs.h"
#include "widgets/file_list.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

class ListKeyFilter : public QObject {
public:
    ListKeyFilter(QObject *parent, std::function<bool(int, Qt::KeyboardModifiers)> handler)
        : QObject(parent), handler_(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        // Keys an in-place editor leaves alone travel on to the view: they are the editor's.
        auto *view = qobject_cast<QWidget *>(watched);
        if (!view || !view->hasFocus())
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        return handler_(key->key(), key->modifiers());
    }

private:
    std::function<bool(int, Qt::KeyboardModifiers)> handler_;
};

class PathBoxFilter : public QObject {
public:
    PathBoxFilter(QComboBox *box, std::function<void(const QString &)> go, std::function<QString()> folder)
        : QObject(box), box_(box), go_(std::move(go)), folder_(std::move(folder))
    {
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                // Taken here, before the box would select an item equal to the text.
                go_(box_->lineEdit()->text());
                return true;
            }
            if (key == Qt::Key_Escape) {
                ShowPathBoxFolder(box_, folder_());
                return true;
            }
            return false;
        }
        case QEvent::FocusOut:
            // Restored before the box finishes the edit: the text then equals its
            // current item and nothing is chosen.
            if (static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
                ShowPathBoxFolder(box_, folder_());
            return false;
        default:
            return false;
        }
    }

private:
    QComboBox *box_;
    std::function<void(const QString &)> go_;
    std::function<QString()> folder_;
};

} // namespace

void WatchListKeys(TFileListView *list, std::function<bool(int, Qt::KeyboardModifiers)> handler)
{
    auto *filter = new ListKeyFilter(list, std::move(handler));
    list->ReportView()->installEventFilter(filter);
    list->IconView()->installEventFilter(filter);
}

void WatchPathBox(QComboBox *box, std::function<void(const QString &)> go, std::function<QString()> folder)
{
    // The box has the focus and hands its keys and focus changes to its edit
    // field directly, past the field's filters: the box is watched, and the
    // field for what is sent to it alone.
    auto *filter = new PathBoxFilter(box, std::move(go), std::move(folder));
    box->installEventFilter(filter);
    box->lineEdit()->installEventFilter(filter);
}

void ShowPathBoxFolder(QComboBox *box, const QString &folder)
{
    if (box->itemText(box->currentIndex()) != folder) {
        for (int i = box->count() - 1; i >= 0; --i) {
            if (box->itemText(i) == folder) {
                box->setCurrentIndex(i);
                break;
            }
        }
    }
    box->setEditText(folder);
}

bool AskBeforeDelete(QWidget *parent, const QStringList &names)
{
    if (names.isEmpty())
        return false;
    if (!MainSettings.confirmdelete)
        return true;
    const QString text = names.size() == 1 ? QCoreApplication::translate("PaneInput", "确实要删除 \"%1\" 吗?").arg(names.first())
                                           : QCoreApplication::translate("PaneInput", "确实要删除选中的 %1 个项目吗?").arg(names.size());
    return platform::CurrentDialogs().MessageBox(parent, text, QCoreApplication::translate("PaneInput", "删除"), platform::Dialogs::Question,
                                                 platform::Dialogs::YesNo, platform::Dialogs::No)
           == platform::Dialogs::Yes;
}
