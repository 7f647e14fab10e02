#pragma once
// For tests that open a real modal dialog: runs `act` on the first modal
// widget that shows up; after a few seconds without one it gives up, so a
// missing dialog fails the test instead of hanging it.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

inline void WhenModalShows(std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, act]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        } else if (++*tries > 300) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}
