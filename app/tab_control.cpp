#include "app/tab_control.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>

namespace DADOV {

TabControl::TabControl(QWidget* parent) : QTabWidget(parent) {}

void TabControl::paintEvent(QPaintEvent*) {
    QStyleOptionTabWidgetFrame option;
    initStyleOption(&option);
    // The pages sit inside the pane with a margin on every side; the line runs along the pane's edge.
    const QRect pane = style()->subElementRect(QStyle::SE_TabWidgetTabPane, &option, this);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(pane.adjusted(0, 0, -1, -1));
}

} // namespace DADOV
