#pragma once

// A strip chart: line series of millivolt readings plotted by their index over a grey hatched plot area,
// a legend of the series above it, a title above that while one is set, and the same value axis on both
// sides of the plot.
//
// Everything but the lines is drawn once into a picture that is kept until the size, the title or the
// axes change. A redraw of the lines (linesChanged) repaints the plot area alone: the picture's part of
// it, then the lines. The chart never copies the readings: each series shows a list that its owner keeps
// and tells of changes.

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <vector>

namespace DADOV {

class StripChartView : public QWidget {
    Q_OBJECT

public:
    explicit StripChartView(QWidget* parent = nullptr);

    // A series drawn from `points`, which must outlive the chart or be taken back by clearSeries().
    void addSeries(const QString& name, const QColor& colour, const QList<int>* points);
    void clearSeries();
    QStringList seriesNames() const;
    QColor seriesColour(int series) const;

    // The indices shown across the plot, and the values up it (ticks evenly between, both ends labelled).
    void setXRange(double min, double max);
    double xMin() const { return _xMin; }
    double xMax() const { return _xMax; }
    void setYRange(int min, int max, int ticks);
    int yMin() const { return _yMin; }
    int yMax() const { return _yMax; }
    void setYTitle(const QString& title);
    QString yTitle() const { return _yTitle; }

    // A line above the legend, in bold, hidden while empty.
    void setTitle(const QString& title);
    void setTitleColour(const QColor& colour);
    QString title() const { return _title; }
    QColor titleColour() const { return _titleColour; }

    // Where the values are plotted, in the widget's coordinates.
    QRectF plotArea() const;

    // The series' lists have changed: the lines are drawn again.
    void linesChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Series {
        QString name;
        QColor colour;
        const QList<int>* points;
    };

    void invalidate();
    void draw_background(QPainter& painter) const;
    QRectF work_out_plot_area() const;
    void draw_lines(QPainter& painter) const;
    int legend_top() const;

    std::vector<Series> _series;
    double _xMin = 0;
    double _xMax = 1;
    int _yMin = 0;
    int _yMax = 1;
    int _yTicks = 2;
    QString _yTitle;
    QString _title;
    QColor _titleColour = Qt::black;
    QPixmap _background;
    // The plot area as last worked out (from the fonts, the size, the title and the Y range); null when
    // any of them changed since.
    mutable QRectF _plotArea;
};

} // namespace DADOV
