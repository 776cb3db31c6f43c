// What the screen shows, for the window tests: a widget's place in its
// window's backing store as last painted, after the events waiting (paints
// among them) have run; and the widget painted afresh from what it holds. A
// widget whose repaint was lost holds the right value and shows a wrong one.
#pragma once

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

namespace testutil {

inline QImage onScreen(QWidget* w) {
    QApplication::processEvents();
    QWidget* top = w->window();
    const QPoint at = w->mapTo(top, QPoint(0, 0));
    return top->screen()
        ->grabWindow(top->winId(), at.x(), at.y(), w->width(), w->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// Its place in the window painted afresh: what lies under it, then the
// widget from what it holds.
inline QImage paintedAfresh(QWidget* w) {
    QWidget* top = w->window();
    const QRect place(w->mapTo(top, QPoint(0, 0)), w->size());
    return top->grab(place).toImage().convertToFormat(QImage::Format_RGB32);
}

// Whether the screen shows what the widget holds now.
inline bool screenIsCurrent(QWidget* w) {
    const QImage shown = onScreen(w);
    const QImage fresh = paintedAfresh(w);
    const bool same = !shown.isNull() && shown == fresh;
    if (!same && qEnvironmentVariableIsSet("KV_SCREEN_DUMP")) {
        const QString to = qEnvironmentVariable("KV_SCREEN_DUMP");
        shown.save(to + QStringLiteral("-screen.png"));
        fresh.save(to + QStringLiteral("-fresh.png"));
    }
    return same;
}

}  // namespace testutil
