#include "pages/strip_chart_lines.h"

#include "pages/strip_chart.h"

#include <QChart>
#include <QLineSeries>
#include <QPainter>
#include <QPen>
#include <QValueAxis>

#include <vector>

namespace DADOV {

StripChartLines::StripChartLines(QChart& chart, const StripChart& data, const QValueAxis& x,
                                 const QValueAxis& y, const QLineSeries& tps1, const QLineSeries& tps2)
    : QGraphicsItem(&chart), _data(data), _x(x), _y(y), _tps1(tps1), _tps2(tps2), _plot(chart.plotArea()) {
    // Above the plot area and its grid, as the chart's own series are.
    setZValue(10);
    QObject::connect(&data, &StripChart::drawnChanged, &chart, [this] { update(); });
    QObject::connect(&chart, &QChart::plotAreaChanged, &chart, [this](const QRectF& plot) {
        prepareGeometryChange();
        _plot = plot;
    });
}

QRectF StripChartLines::boundingRect() const {
    return _plot;
}

void StripChartLines::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    const QRectF plot = _plot;
    const double x_span = _x.max() - _x.min();
    const double y_span = _y.max() - _y.min();
    if (plot.isEmpty() || x_span <= 0 || y_span <= 0)
        return;
    const double dx = plot.width() / x_span;
    const double dy = plot.height() / y_span;
    painter->save();
    painter->setClipRect(plot);
    std::vector<QPointF> line;
    for (const auto& [series, colour] : {std::pair{StripChart::TPS1, _tps1.pen().color()},
                                         std::pair{StripChart::TPS2, _tps2.pen().color()}}) {
        const QList<int>& points = _data.drawnPoints(series);
        if (points.size() < 2)
            continue;
        line.clear();
        line.reserve(static_cast<std::size_t>(points.size()));
        for (qsizetype i = 0; i < points.size(); ++i)
            line.emplace_back(plot.left() + (static_cast<double>(i) - _x.min()) * dx,
                              plot.top() + (_y.max() - points[i]) * dy);
        // A 2-pixel line as three 1-pixel lines a pixel apart across and down: the painter draws 1-pixel
        // lines directly, wider ones by outlining them, which costs some twenty times as much.
        painter->setPen(QPen(colour, 1));
        for (const QPointF offset : {QPointF(0, 0), QPointF(1, 0), QPointF(0, 1)}) {
            painter->translate(offset);
            painter->drawPolyline(line.data(), static_cast<int>(line.size()));
            painter->translate(-offset);
        }
    }
    painter->restore();
}

} // namespace DADOV
