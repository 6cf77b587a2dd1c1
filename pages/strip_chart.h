#pragma once

// The strip chart's data: the millivolt readings of the two series "TPS1" and "TPS2", plotted by their
// index. Readings are collected here one by one and drawn in batches: the series on screen take the
// collected points at most once per flush interval, so a fast stream costs one redraw per interval and
// not one per point.
//
// Redrawing can be suspended; suspends nest. While any suspend is outstanding the series on screen keep
// what they show and the readings are only collected. The last resume draws what was collected.
//
// Code that changes a series directly (clear(), append() on the QLineSeries) is followed: the collected
// points become what the series then holds (at no known time).
//
// Each reading keeps the time it came, in milliseconds since the chart was last emptied (the start of the
// capture it shows), so that what is drawn can be exported with its times.

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <array>
#include <deque>

class QLineSeries;

namespace DADOV {

class StripChart : public QObject {
    Q_OBJECT

public:
    enum Series { TPS1 = 0, TPS2 = 1 };

    // Redraws come at most this often.
    static constexpr int kFlushIntervalMs = 50;

    // Takes the points the series hold now. The series stay owned by their chart.
    StripChart(QLineSeries* tps1, QLineSeries* tps2, QObject* parent = nullptr);

    void append(Series series, int millivolts);
    // Removes the oldest point of the series, if it has one.
    void removeOldest(Series series);
    // Removes every point of both series.
    void clear();
    int size(Series series) const { return static_cast<int>(_points[series].size()); }
    // The collected readings of a series, oldest first.
    QList<int> points(Series series) const;
    // The times of the readings drawn now, in ms since the capture's start; -1 where not known.
    QList<qint64> drawnTimes(Series series) const { return _drawnTimes[series]; }

    void suspend();
    // Takes back one suspend, never going below none; the last one draws at once.
    void resume();
    int suspendCount() const { return _suspends; }

    // Draws the collected points now, unless redrawing is suspended or nothing changed.
    void flush();

private:
    void changed();
    void follow_series(Series series);

    struct Reading {
        int millivolts;
        qint64 ms; // since the capture's start; -1: not known
    };

    std::array<QLineSeries*, 2> _series;
    std::array<std::deque<Reading>, 2> _points;
    std::array<QList<qint64>, 2> _drawnTimes;
    QElapsedTimer _capture;
    QTimer _flushTimer;
    int _suspends = 0;
    bool _dirty = false;
    bool _flushing = false;
};

} // namespace DADOV
