#pragma once

// Displays that a stream changes hundreds of times a second take their new texts and values at once, but
// are painted at most once per interval: a held widget does not paint until the interval ends, then it
// paints once with what it holds by then.
//
// A held widget that is hidden leaves its old pixels on screen, and one that is shown is not painted:
// code that shows, hides or rewrites the displays otherwise than by the stream releases them first.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace DADOV {

class PaintThrottle : public QObject {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 50;

    explicit PaintThrottle(QObject* parent = nullptr) : QObject(parent) {
        _timer.setSingleShot(true);
        _timer.setInterval(kIntervalMs);
        connect(&_timer, &QTimer::timeout, this, &PaintThrottle::release);
    }

    // Call before changing the widget.
    void hold(QWidget* widget) {
        if (!widget->updatesEnabled())
            return; // held already (or by its owner)
        widget->setUpdatesEnabled(false);
        _held.emplace_back(widget);
        if (!_timer.isActive())
            _timer.start();
    }

    // Paints every held widget with its present state, now. A paint left to the event loop (which
    // requests it at low priority) would come after the next received line, which holds the widget
    // again: under a steady stream it would never come.
    void release() {
        _timer.stop();
        std::vector<QWidget*> windows;
        for (const QPointer<QWidget>& w : _held) {
            if (!w)
                continue;
            w->setUpdatesEnabled(true); // marks it for painting
            if (std::find(windows.begin(), windows.end(), w->window()) == windows.end())
                windows.push_back(w->window());
        }
        _held.clear();
        for (QWidget* window : windows)
            paint_pending(window);
    }

    // Paints what waits to be painted in the window now, rather than at the event loop's leisure.
    static void paint_pending(QWidget* window) {
        QCoreApplication::sendPostedEvents(window, QEvent::UpdateRequest);
    }

private:
    QTimer _timer;
    std::vector<QPointer<QWidget>> _held;
};

} // namespace DADOV
