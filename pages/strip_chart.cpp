#include "pages/strip_chart.h"

#include <QLineSeries>
#include <QPointF>

namespace DADOV {

StripChart::StripChart(QLineSeries* tps1, QLineSeries* tps2, QObject* parent)
    : QObject(parent), _series{tps1, tps2} {
    _capture.start();
    _flushTimer.setSingleShot(true);
    _flushTimer.setInterval(kFlushIntervalMs);
    connect(&_flushTimer, &QTimer::timeout, this, &StripChart::flush);
    for (Series which : {TPS1, TPS2}) {
        QLineSeries* s = _series[which];
        if (s == nullptr)
            continue;
        follow_series(which);
        // Edits that did not come from flush().
        const auto follow = [this, which] {
            if (!_flushing)
                follow_series(which);
        };
        connect(s, &QXYSeries::pointAdded, this, follow);
        connect(s, &QXYSeries::pointRemoved, this, follow);
        connect(s, &QXYSeries::pointsRemoved, this, follow);
        connect(s, &QXYSeries::pointReplaced, this, follow);
        connect(s, &QXYSeries::pointsReplaced, this, follow);
    }
}

void StripChart::follow_series(Series which) {
    std::deque<Reading>& points = _points[which];
    points.clear();
    for (const QPointF& p : _series[which]->points())
        points.push_back({static_cast<int>(p.y()), -1});
    _drawnTimes[which] = QList<qint64>(static_cast<qsizetype>(points.size()), -1);
    if (_points[TPS1].empty() && _points[TPS2].empty())
        _capture.restart();
}

void StripChart::append(Series series, int millivolts) {
    _points[series].push_back({millivolts, _capture.elapsed()});
    changed();
}

void StripChart::removeOldest(Series series) {
    if (_points[series].empty())
        return;
    _points[series].pop_front();
    changed();
}

void StripChart::clear() {
    _points[TPS1].clear();
    _points[TPS2].clear();
    _capture.restart();
    changed();
}

QList<int> StripChart::points(Series series) const {
    QList<int> millivolts;
    millivolts.reserve(static_cast<qsizetype>(_points[series].size()));
    for (const Reading& reading : _points[series])
        millivolts.append(reading.millivolts);
    return millivolts;
}

void StripChart::suspend() {
    ++_suspends;
}

void StripChart::resume() {
    if (_suspends == 0)
        return;
    if (--_suspends == 0)
        flush();
}

void StripChart::changed() {
    _dirty = true;
    if (_suspends == 0 && !_flushTimer.isActive())
        _flushTimer.start();
}

void StripChart::flush() {
    if (_suspends > 0 || !_dirty)
        return;
    _flushTimer.stop();
    _dirty = false;
    _flushing = true;
    for (Series which : {TPS1, TPS2}) {
        QLineSeries* s = _series[which];
        if (s == nullptr)
            continue;
        QList<QPointF> drawn;
        QList<qint64>& times = _drawnTimes[which];
        drawn.reserve(static_cast<qsizetype>(_points[which].size()));
        times.clear();
        qreal index = 0;
        for (const Reading& reading : _points[which]) {
            drawn.append(QPointF(index++, reading.millivolts));
            times.append(reading.ms);
        }
        s->replace(drawn);
    }
    _flushing = false;
}

} // namespace DADOV
