#include "pages/strip_chart.h"

namespace DADOV {

StripChart::StripChart(QObject* parent) : QObject(parent) {
    _capture.start();
    _flushTimer.setSingleShot(true);
    _flushTimer.setInterval(kFlushIntervalMs);
    connect(&_flushTimer, &QTimer::timeout, this, &StripChart::flush);
    for (Series which : {TPS1, TPS2})
        _points[which].push_back({0, -1}); // the start point
    draw();
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

void StripChart::clearNow() {
    // Asked at every tick while no controller is attached: an empty chart is left alone, undrawn.
    if (_points[TPS1].empty() && _points[TPS2].empty() && _drawn[TPS1].isEmpty() && _drawn[TPS2].isEmpty())
        return;
    clear();
    _flushTimer.stop();
    _dirty = false;
    draw();
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
    if (_suspends > 0)
        return;
    if (_pacer)
        _pacer();
    else if (!_flushTimer.isActive())
        _flushTimer.start();
}

void StripChart::flush() {
    if (_suspends > 0 || !_dirty)
        return;
    _flushTimer.stop();
    _dirty = false;
    draw();
}

void StripChart::draw() {
    for (Series which : {TPS1, TPS2}) {
        QList<int>& drawn = _drawn[which];
        QList<qint64>& times = _drawnTimes[which];
        drawn.clear();
        times.clear();
        drawn.reserve(static_cast<qsizetype>(_points[which].size()));
        times.reserve(static_cast<qsizetype>(_points[which].size()));
        for (const Reading& reading : _points[which]) {
            drawn.append(reading.millivolts);
            times.append(reading.ms);
        }
    }
    emit drawnChanged();
}

} // namespace DADOV
