#include "widgets/name_column.h"

#include <QEvent>
#include <QHeaderView>
#include <QPointer>
#include <QTreeView>
#include <QVariant>
#include <algorithm>

namespace {

class NameColumnFiller : public QObject
{
public:
    NameColumnFiller(QTreeView *view, int minimumWidth)
        : QObject(view), view_(view), minimumWidth_(minimumWidth)
    {
        QHeaderView *header = view->header();
        header->setSectionResizeMode(0, QHeaderView::Interactive);
        view->viewport()->installEventFilter(this);
        connect(header, &QHeaderView::sectionResized, this, [this](int section) {
            if (section != 0)
                Fill();
        });
        connect(header, &QHeaderView::sectionCountChanged, this, [this] { Fill(); });
        Fill();
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            Fill();
        return QObject::eventFilter(watched, event);
    }

private:
    void Fill()
    {
        if (!view_ || filling_)
            return;
        filling_ = true;
        QHeaderView *header = view_->header();
        int others = 0;
        for (int section = 1; section < header->count(); ++section)
            others += header->isSectionHidden(section) ? 0 : header->sectionSize(section);
        header->resizeSection(0, std::max(minimumWidth_, view_->viewport()->width() - others));
        filling_ = false;
    }

    QPointer<QTreeView> view_;
    int minimumWidth_;
    bool filling_ = false;
};

} // namespace

void FillWithNameColumn(QTreeView *view, int minimumWidth)
{
    // One filler per view, however often the columns are set up again.
    if (view->property("tarvoNameColumnFilled").toBool())
        return;
    view->setProperty("tarvoNameColumnFilled", true);
    new NameColumnFiller(view, minimumWidth);
}
