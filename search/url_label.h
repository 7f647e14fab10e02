#pragma once
// The details panel's link: blue and underlined, opened by a double click.

#include <QLabel>
#include <functional>

class UrlLabel : public QLabel {
    Q_OBJECT
public:
    explicit UrlLabel(QWidget *parent = nullptr);

    std::function<void(QObject *sender)> OnDblClick;

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};
