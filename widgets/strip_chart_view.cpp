#include "widgets/strip_chart_view.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace DADOV {

namespace {

const QColor kBackground(0xf5, 0xf5, 0xf5);
const QColor kPlotFrame(0x80, 0x80, 0x80);
const QColor kHatchLight(0xdc, 0xdc, 0xdc);
const QColor kHatchDark(0xc8, 0xc8, 0xc8);
const QColor kGrid(0xe2, 0xe2, 0xe2);
const QColor kAxisLine(0xd6, 0xd6, 0xd6);
const QColor kText(0x40, 0x40, 0x44);

// Around everything drawn.
constexpr int kMargin = 13;
// From the legend's top to the plot's, and from the plot's bottom to the widget's.
constexpr int kLegendToPlot = 48;
constexpr int kBelowPlot = 21;
// Tick marks outside the plot, and the room between a tick and its label.
constexpr int kTick = 5;
constexpr int kLabelGap = 2;
// The legend: a square marker of each series before its name, the items spaced apart.
constexpr int kMarker = 8;
constexpr int kMarkerGap = 5;
constexpr int kItemGap = 9;

QFont axis_title_font() {
    QFont font(QStringLiteral("Microsoft Sans Serif"), 12);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont title_font(const QFont& base) {
    QFont font = base;
    font.setBold(true);
    return font;
}

QPixmap hatch() {
    QPixmap tile(4, 4);
    tile.fill(kHatchLight);
    QPainter painter(&tile);
    painter.fillRect(0, 0, 2, 4, kHatchDark);
    return tile;
}

} // namespace

StripChartView::StripChartView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void StripChartView::addSeries(const QString& name, const QColor& colour, const QList<int>* points) {
    _series.push_back({name, colour, points});
    invalidate();
}

void StripChartView::clearSeries() {
    _series.clear();
    invalidate();
}

QStringList StripChartView::seriesNames() const {
    QStringList names;
    for (const Series& series : _series)
        names << series.name;
    return names;
}

QColor StripChartView::seriesColour(int series) const {
    return series >= 0 && series < static_cast<int>(_series.size()) ? _series[series].colour : QColor();
}

void StripChartView::setXRange(double min, double max) {
    if (min == _xMin && max == _xMax)
        return;
    _xMin = min;
    _xMax = max;
    update(plotArea().toAlignedRect());
}

void StripChartView::setYRange(int min, int max, int ticks) {
    _yMin = min;
    _yMax = max;
    _yTicks = std::max(ticks, 2);
    invalidate();
}

void StripChartView::setYTitle(const QString& title) {
    _yTitle = title;
    invalidate();
}

void StripChartView::setTitle(const QString& title) {
    if (title == _title)
        return;
    _title = title;
    invalidate();
}

void StripChartView::setTitleColour(const QColor& colour) {
    if (colour == _titleColour)
        return;
    _titleColour = colour;
    if (!_title.isEmpty())
        invalidate();
}

int StripChartView::legend_top() const {
    if (_title.isEmpty())
        return kMargin;
    return kMargin + QFontMetrics(title_font(font())).height() + 3;
}

QRectF StripChartView::plotArea() const {
    if (_plotArea.isNull())
        _plotArea = work_out_plot_area();
    return _plotArea;
}

QRectF StripChartView::work_out_plot_area() const {
    const QFontMetrics labels(font());
    const int label_width =
        labels.horizontalAdvance(QString::number(std::max(std::abs(_yMin), std::abs(_yMax))));
    const int axis_title = _yTitle.isEmpty() ? 0 : QFontMetrics(axis_title_font()).height();
    const double left = kMargin + axis_title + 6 + label_width + kLabelGap + kTick + 0.5;
    const double right = width() - (kMargin + label_width + kLabelGap + kTick + 0.5);
    const double top = legend_top() + kLegendToPlot;
    const double bottom = height() - kBelowPlot;
    return QRectF(QPointF(left, top), QPointF(std::max(left, right), std::max(top, bottom)));
}

void StripChartView::linesChanged() {
    update(plotArea().toAlignedRect().adjusted(-1, -1, 1, 1));
}

void StripChartView::invalidate() {
    _background = QPixmap();
    _plotArea = QRectF();
    update();
}

void StripChartView::resizeEvent(QResizeEvent* event) {
    _background = QPixmap();
    _plotArea = QRectF();
    QWidget::resizeEvent(event);
}

void StripChartView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        _background = QPixmap();
        _plotArea = QRectF();
    }
    QWidget::changeEvent(event);
}

void StripChartView::paintEvent(QPaintEvent* event) {
    if (_background.isNull() || _background.size() != size() * devicePixelRatioF()) {
        _background = QPixmap(size() * devicePixelRatioF());
        _background.setDevicePixelRatio(devicePixelRatioF());
        QPainter painter(&_background);
        draw_background(painter);
    }
    QPainter painter(this);
    const QRect exposed = event->rect();
    painter.drawPixmap(exposed, _background,
                       QRectF(QPointF(exposed.topLeft()) * devicePixelRatioF(),
                              QSizeF(exposed.size()) * devicePixelRatioF()));
    if (exposed.intersects(plotArea().toAlignedRect()))
        draw_lines(painter);
}

// The plot area's frame and grid, the axes' ticks and labels, their title, the legend and the title.
void StripChartView::draw_background(QPainter& painter) const {
    painter.fillRect(rect(), kBackground);
    const QRectF plot = plotArea();
    const int left = static_cast<int>(plot.left());
    const int right = static_cast<int>(plot.right());
    const int top = static_cast<int>(plot.top());
    const int bottom = static_cast<int>(plot.bottom());

    painter.fillRect(QRect(QPoint(left + 1, top), QPoint(right, bottom - 1)), QBrush(hatch()));
    painter.setPen(kPlotFrame);
    painter.drawLine(left, top - 1, right + 1, top - 1);
    painter.drawLine(left + 1, bottom - 1, right + 1, bottom - 1);
    painter.drawLine(left + 1, top - 1, left + 1, bottom - 1);
    painter.drawLine(right + 1, top - 1, right + 1, bottom - 1);

    // Grid lines and ticks at evenly spaced values, labelled on both sides.
    const QFontMetrics metrics(font());
    painter.setFont(font());
    for (int i = 0; i < _yTicks; ++i) {
        const int y = static_cast<int>(plot.top() + plot.height() * i / (_yTicks - 1));
        const int value = _yMax - (_yMax - _yMin) * i / (_yTicks - 1);
        painter.setPen(kGrid);
        painter.drawLine(left + 1, y, right - 1, y);
        painter.setPen(kAxisLine);
        painter.drawLine(left - kTick + 1, y, left, y);
        painter.drawLine(right, y, right + kTick - 1, y);
        const QString label = QString::number(value);
        const int label_top = y - metrics.height() / 2;
        painter.setPen(kText);
        painter.drawText(QRect(0, label_top, left - kTick, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, label);
        painter.drawText(QRect(right + kTick + 1, label_top, width(), metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, label);
    }
    painter.setPen(kAxisLine);
    painter.drawLine(left, top - 1, left, bottom);
    painter.drawLine(right, top, right, bottom);

    if (!_yTitle.isEmpty()) {
        const QFont title = axis_title_font();
        const int size = QFontMetrics(title).height();
        painter.save();
        painter.setFont(title);
        painter.setPen(kText);
        painter.translate(kMargin + 2, plot.center().y());
        painter.rotate(-90);
        painter.drawText(QRectF(-plot.height() / 2, 0, plot.height(), size), Qt::AlignCenter, _yTitle);
        painter.restore();
    }

    // The legend: the items side by side, centred.
    int legend_width = 0;
    for (const Series& series : _series)
        legend_width += kMarker + kMarkerGap + metrics.horizontalAdvance(series.name);
    if (!_series.empty())
        legend_width += kItemGap * static_cast<int>(_series.size() - 1);
    int x = (width() - legend_width) / 2 - 8;
    const int legend_row = legend_top() + 13;
    for (const Series& series : _series) {
        const int marker_top = legend_row + (metrics.height() - kMarker) / 2 + 1;
        painter.setPen(Qt::black);
        painter.setBrush(series.colour);
        painter.drawRect(x, marker_top, kMarker - 1, kMarker - 1);
        x += kMarker + kMarkerGap;
        painter.setPen(kText);
        const int name_width = metrics.horizontalAdvance(series.name);
        painter.drawText(QRect(x, legend_row, name_width, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         series.name);
        x += name_width + kItemGap;
    }

    if (!_title.isEmpty()) {
        painter.setFont(title_font(font()));
        painter.setPen(_titleColour);
        painter.drawText(QRect(0, kMargin + 1, width(), QFontMetrics(title_font(font())).height()),
                         Qt::AlignHCenter | Qt::AlignTop, _title);
    }
}

// Each series as a line through its readings, clipped to the plot area.
void StripChartView::draw_lines(QPainter& painter) const {
    const QRectF plot = plotArea();
    const double x_span = _xMax - _xMin;
    const double y_span = _yMax - _yMin;
    if (plot.isEmpty() || x_span <= 0 || y_span <= 0)
        return;
    const double dx = plot.width() / x_span;
    const double dy = plot.height() / y_span;
    painter.setClipRect(plot);
    std::vector<QPointF> line;
    for (const Series& series : _series) {
        const QList<int>& points = *series.points;
        if (points.size() < 2)
            continue;
        line.clear();
        line.reserve(static_cast<std::size_t>(points.size()));
        for (qsizetype i = 0; i < points.size(); ++i)
            line.emplace_back(plot.left() + (static_cast<double>(i) - _xMin) * dx,
                              plot.top() + (_yMax - points[i]) * dy);
        // A 2-pixel line as three 1-pixel lines a pixel apart across and down: the painter draws 1-pixel
        // lines directly, wider ones by outlining them, which costs some twenty times as much.
        painter.setPen(QPen(series.colour, 1));
        for (const QPointF offset : {QPointF(0, 0), QPointF(1, 0), QPointF(0, 1)}) {
            painter.translate(offset);
            painter.drawPolyline(line.data(), static_cast<int>(line.size()));
            painter.translate(-offset);
        }
    }
    painter.setClipping(false);
}

} // namespace DADOV
