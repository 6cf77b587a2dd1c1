#pragma once

// Displays that a stream changes hundreds of times a second take their new texts and values at once, but
// are painted at most once per interval: a held widget does not paint until the interval ends, then it
// paints once with what it holds by then.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

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

    // Paints every held widget with its present state.
    void release() {
        _timer.stop();
        for (const QPointer<QWidget>& w : _held) {
            if (w)
                w->setUpdatesEnabled(true); // schedules its paint
        }
        _held.clear();
    }

private:
    QTimer _timer;
    std::vector<QPointer<QWidget>> _held;
};

} // namespace DADOV
