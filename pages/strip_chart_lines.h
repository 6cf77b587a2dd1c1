#pragma once

// The strip chart's two lines, drawn over the chart's plot area from what the StripChart draws: TPS1 in
// black, then TPS2 in magenta, each 2 pixels wide, point n at x = n on the X axis, in millivolts on the Y
// axis. The chart's own series stay empty (they give the legend and hold the axes), so that a redraw costs
// the two lines and no geometry of the chart's.

#include <QGraphicsItem>

class QChart;
class QValueAxis;

namespace DADOV {

class StripChart;

class StripChartLines : public QGraphicsItem {
public:
    // Drawn on the chart (its child item), scaled by its axes.
    StripChartLines(QChart& chart, const StripChart& data, const QValueAxis& x, const QValueAxis& y);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    QChart& _chart;
    const StripChart& _data;
    const QValueAxis& _x;
    const QValueAxis& _y;
    QRectF _plot; // the plot area when last drawn
};

} // namespace DADOV
