#pragma once

// The strip chart's data: the millivolt readings of the two series "TPS1" and "TPS2", plotted by their
// index. Readings are collected here one by one and drawn in batches: what the chart draws takes the
// collected points at most once per flush interval, so a fast stream costs one redraw per interval and
// not one per point.
//
// Redrawing can be suspended; suspends nest. While any suspend is outstanding the chart keeps what it
// draws and the readings are only collected. The last resume draws what was collected.
//
// Each reading keeps the time it came, in milliseconds since the chart was last emptied (the start of the
// capture it shows), so that what is drawn can be exported with its times. A new chart holds one reading of
// 0 mV in each series, its start point, at no known time.

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <array>
#include <deque>
#include <functional>
#include <utility>

namespace DADOV {

class StripChart : public QObject {
    Q_OBJECT

public:
    enum Series { TPS1 = 0, TPS2 = 1 };

    // Redraws come at most this often.
    static constexpr int kFlushIntervalMs = 50;

    explicit StripChart(QObject* parent = nullptr);

    void append(Series series, int millivolts);
    // Removes the oldest point of the series, if it has one.
    void removeOldest(Series series);
    // Removes every point of both series.
    void clear();
    // Empties the chart at once, what it draws too, frozen or not.
    void clearNow();
    int size(Series series) const { return static_cast<int>(_points[series].size()); }
    // The collected readings of a series, oldest first.
    QList<int> points(Series series) const;
    // What the chart draws now: the readings of a series, and their times in ms since the capture's start
    // (-1 where not known).
    const QList<int>& drawnPoints(Series series) const { return _drawn[series]; }
    const QList<qint64>& drawnTimes(Series series) const { return _drawnTimes[series]; }

    void suspend();
    // Takes back one suspend, never going below none; the last one draws at once.
    void resume();
    int suspendCount() const { return _suspends; }

    // Draws the collected points now, unless redrawing is suspended or nothing changed.
    void flush();

    // Has the pacer called, instead of the chart's own timer, when a flush is due: the pacer calls flush()
    // within kFlushIntervalMs (the page's paint throttle, so that the chart and the readings beside it are
    // painted together).
    void setPacer(std::function<void()> pacer) { _pacer = std::move(pacer); }

signals:
    // What the chart draws has changed.
    void drawnChanged();

private:
    void changed();
    void draw();

    struct Reading {
        int millivolts;
        qint64 ms; // since the capture's start; -1: not known
    };

    std::array<std::deque<Reading>, 2> _points;
    std::array<QList<int>, 2> _drawn;
    std::array<QList<qint64>, 2> _drawnTimes;
    QElapsedTimer _capture;
    QTimer _flushTimer;
    std::function<void()> _pacer;
    int _suspends = 0;
    bool _dirty = false;
};

} // namespace DADOV
