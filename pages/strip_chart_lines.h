#pragma once

// The strip chart's two lines, drawn over the chart's plot area from what the StripChart draws: TPS1, then
// TPS2, each in the colour of its series and 2 pixels wide, point n at x = n on the X axis, in millivolts on
// the Y axis. The chart's own series stay empty (they give the legend and hold the axes), so that a redraw
// costs the two lines and no geometry of the chart's.

#include <QGraphicsItem>

class QChart;
class QLineSeries;
class QValueAxis;

namespace DADOV {

class StripChart;

class StripChartLines : public QGraphicsItem {
public:
    // Drawn on the chart (its child item), scaled by its axes, in the colours of its series for TPS1 and
    // TPS2.
    StripChartLines(QChart& chart, const StripChart& data, const QValueAxis& x, const QValueAxis& y,
                    const QLineSeries& tps1, const QLineSeries& tps2);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    const StripChart& _data;
    const QValueAxis& _x;
    const QValueAxis& _y;
    const QLineSeries& _tps1;
    const QLineSeries& _tps2;
    QRectF _plot; // the plot area when last drawn
};

} // namespace DADOV
