#include "url_label.h"

#include <QMouseEvent>

UrlLabel::UrlLabel(QWidget *parent) : QLabel(parent)
{
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette blue = palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    setPalette(blue);
    setCursor(Qt::PointingHandCursor);
    setTextInteractionFlags(Qt::NoTextInteraction);
}

void UrlLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    if (OnDblClick)
        OnDblClick(this);
}
