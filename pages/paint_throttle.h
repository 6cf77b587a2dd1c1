#pragma once

// Displays that a stream changes hundreds of times a second are painted at most once per interval: a held
// widget does not paint until the interval ends, then it paints once with what it holds by then.
//
// A bar's value and a label's text that the stream gives (show()) wait in the throttle and reach their
// widget when it is released: setting a bar's value or a label's text costs more than painting it (text
// formatting, the bar's own repaint test, accessibility events, the label's layout), and only the last
// value of an interval is ever seen.
//
// A held widget that is hidden leaves its old pixels on screen, and one that is shown is not painted:
// code that shows, hides or rewrites the displays otherwise than by the stream releases them first, which
// also puts the waiting values in place before its own.

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <utility>
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

    // The value or text a display is to show next: it is held, and takes it when released. Nothing is done
    // when it shows that already.
    void show(QProgressBar* bar, int value) { show(_bars, bar, value); }
    void show(QLabel* label, const QString& text) { show(_labels, label, text); }

    // Paints every held widget with its present state, now, the waiting values and texts put in place
    // first. A paint left to the event loop (which requests it at low priority) would come after the next
    // received line, which holds the widget again: under a steady stream it would never come.
    void release() {
        _timer.stop();
        emit releasing();
        for (const auto& [bar, value] : _bars) {
            if (bar)
                bar->setValue(value);
        }
        _bars.clear();
        for (const auto& [label, text] : _labels) {
            if (label)
                label->setText(text);
        }
        _labels.clear();
        std::vector<QWidget*> windows;
        const auto add_window = [&windows](QWidget* window) {
            if (std::find(windows.begin(), windows.end(), window) == windows.end())
                windows.push_back(window);
        };
        for (const QPointer<QWidget>& w : _held) {
            if (!w)
                continue;
            w->setUpdatesEnabled(true); // marks it for painting
            add_window(w->window());
        }
        _held.clear();
        for (const QPointer<QWidget>& w : _scheduled) {
            if (w)
                add_window(w->window());
        }
        _scheduled.clear();
        for (QWidget* window : windows)
            paint_pending(window);
    }

    // For a display that paints itself when it changes (the strip chart): the next release comes within
    // the interval and paints the display's window with the held widgets, in one pass. What the display
    // shows is brought up to date by a handler of releasing().
    void schedule(QWidget* widget) {
        if (std::find(_scheduled.begin(), _scheduled.end(), widget) == _scheduled.end())
            _scheduled.emplace_back(widget);
        if (!_timer.isActive())
            _timer.start();
    }

    // Paints what waits to be painted in the window now, rather than at the event loop's leisure.
    static void paint_pending(QWidget* window) {
        QCoreApplication::sendPostedEvents(window, QEvent::UpdateRequest);
    }

signals:
    // A release begins: displays painted with the held widgets bring what they show up to date now.
    void releasing();

private:
    template <typename Widget, typename Value>
    using Waiting = std::vector<std::pair<QPointer<Widget>, Value>>;

    template <typename Widget, typename Value>
    void show(Waiting<Widget, Value>& waiting, Widget* widget, const Value& value) {
        const auto it = std::find_if(waiting.begin(), waiting.end(),
                                     [widget](const auto& entry) { return entry.first == widget; });
        if (it != waiting.end()) {
            it->second = value;
            return;
        }
        if (current(widget) == value)
            return;
        hold(widget);
        waiting.emplace_back(widget, value);
    }
    static int current(const QProgressBar* bar) { return bar->value(); }
    static QString current(const QLabel* label) { return label->text(); }

    QTimer _timer;
    std::vector<QPointer<QWidget>> _held;
    std::vector<QPointer<QWidget>> _scheduled;
    Waiting<QProgressBar, int> _bars;
    Waiting<QLabel, QString> _labels;
};

} // namespace DADOV
