// The strip chart widget as painted: what is read off its pixels, not its properties.

#include "widgets/strip_chart_view.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace DADOV;

namespace {

const QColor kBackground(0xf5, 0xf5, 0xf5);

class StripChartViewTest : public ::testing::Test {
protected:
    StripChartViewTest() {
        view.resize(970, 330);
        view.addSeries("TPS1", Qt::black, &tps1);
        view.addSeries("TPS2", Qt::magenta, &tps2);
        view.setXRange(0, 10);
        view.setYRange(0, 5000, 6);
        view.setYTitle("mV");
    }

    QImage painted() { return view.grab().toImage(); }

    // The row of the plot area where a value is drawn.
    int row_of(int millivolts) const {
        const QRectF plot = view.plotArea();
        return static_cast<int>(plot.top() + (5000 - millivolts) * plot.height() / 5000);
    }

    // How many pixels of a column, or of a rectangle, are of a colour.
    static int count_in_column(const QImage& image, int x, int top, int bottom, const QColor& colour) {
        return count_in(image, QRect(QPoint(x, top), QPoint(x, bottom)), colour);
    }
    static int count_in(const QImage& image, const QRect& area, const QColor& colour) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += image.pixelColor(x, y) == colour ? 1 : 0;
        return n;
    }

    QList<int> tps1;
    QList<int> tps2;
    StripChartView view;
};

// Each series is a line two pixels wide in its colour at its value, across the plot; nothing of it outside.
TEST_F(StripChartViewTest, SeriesAreDrawnAtTheirValuesInTheirColours) {
    tps1 = QList<int>(11, 2500);
    tps2 = QList<int>(11, 1000);
    view.linesChanged();
    const QImage image = painted();
    const QRect plot = view.plotArea().toAlignedRect();
    for (const int x : {plot.left() + 20, plot.center().x(), plot.right() - 20}) {
        EXPECT_EQ(image.pixelColor(x, row_of(2500)), QColor(Qt::black)) << x;
        EXPECT_EQ(image.pixelColor(x, row_of(2500) + 1), QColor(Qt::black)) << x;
        EXPECT_EQ(image.pixelColor(x, row_of(1000)), QColor(Qt::magenta)) << x;
        EXPECT_EQ(count_in_column(image, x, plot.top(), plot.bottom(), Qt::black), 2) << x;
        EXPECT_EQ(count_in_column(image, x, plot.top(), plot.bottom(), Qt::magenta), 2) << x;
    }
    // Left of the plot is the axis, not the line.
    EXPECT_EQ(count_in_column(image, plot.left() - 20, 0, image.height() - 1, Qt::magenta), 0);
}

// A reading beyond the axis is cut at the plot's edge: nothing drawn over the legend or the labels.
TEST_F(StripChartViewTest, ValuesBeyondTheAxisStayInsideThePlot) {
    tps1 = {9000, 9000, -3000, -3000};
    view.setXRange(0, 3);
    const QImage image = painted();
    const QRect plot = view.plotArea().toAlignedRect();
    const int x = plot.center().x();
    EXPECT_EQ(count_in_column(image, x, 0, plot.top() - 3, Qt::black), 0);
    EXPECT_EQ(count_in_column(image, x, plot.bottom() + 3, image.height() - 1, Qt::black), 0);
    EXPECT_GT(count_in(image, plot, Qt::black), plot.height()) << "the crossing from top to bottom";
}

// A change of the lists is drawn once the chart is told; the old line is gone, the plot's hatch back.
TEST_F(StripChartViewTest, ChangedReadingsReplaceTheOldLine) {
    tps1 = QList<int>(11, 3700);
    const QImage before = painted();
    tps1 = QList<int>(11, 700);
    view.linesChanged();
    const QImage after = painted();
    const int x = view.plotArea().center().x();
    EXPECT_EQ(before.pixelColor(x, row_of(3700)), QColor(Qt::black));
    EXPECT_EQ(after.pixelColor(x, row_of(3700)), before.pixelColor(x, row_of(3700) + 20))
        << "the plot's hatch, as further down the same column";
    EXPECT_EQ(after.pixelColor(x, row_of(700)), QColor(Qt::black));
}

// A title takes a row above the legend and moves the plot down; taking it away gives the room back.
TEST_F(StripChartViewTest, TitleTakesARowAboveTheLegendWhileSet) {
    const QRectF plain = view.plotArea();
    const QImage without = painted();
    view.setTitleColour(Qt::red);
    view.setTitle("Recording to readings.csv");
    const QRectF titled = view.plotArea();
    EXPECT_GT(titled.top(), plain.top());
    EXPECT_EQ(titled.bottom(), plain.bottom());
    const QImage with = painted();
    EXPECT_GT(count_in(with, QRect(0, 0, view.width(), 30), Qt::red), 20) << "no title painted";
    view.setTitle({});
    EXPECT_EQ(view.plotArea(), plain);
    EXPECT_EQ(painted(), without);
}

// The plot follows the widget's size; the background is drawn anew for it, the frame at the new edge.
TEST_F(StripChartViewTest, ResizingRedrawsTheFrameAtTheNewEdge) {
    painted();
    view.resize(600, 300);
    const QImage image = painted();
    ASSERT_EQ(image.size(), QSize(600, 300));
    const QRectF plot = view.plotArea();
    const int frame = static_cast<int>(plot.right()) + 1;
    EXPECT_LT(frame, 560);
    EXPECT_EQ(image.pixelColor(frame, static_cast<int>(plot.center().y()) + 5), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(image.pixelColor(599, static_cast<int>(plot.center().y())), kBackground);

    // A larger font takes more room for the axis labels.
    QFont larger = view.font();
    larger.setPointSize(larger.pointSize() * 2);
    view.setFont(larger);
    EXPECT_GT(view.plotArea().left(), plot.left());
    EXPECT_LT(view.plotArea().right(), plot.right());
}

// Without its series the chart draws no lines and reads no list.
TEST_F(StripChartViewTest, ClearedSeriesAreNeitherDrawnNorRead) {
    tps1 = QList<int>(11, 2500);
    view.clearSeries();
    tps1 = QList<int>();
    const QImage image = painted();
    EXPECT_EQ(count_in_column(image, view.plotArea().center().x(), 0, image.height() - 1, Qt::black), 0);
    EXPECT_TRUE(view.seriesNames().isEmpty());
}

} // namespace
