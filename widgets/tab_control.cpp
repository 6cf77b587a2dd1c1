#include "widgets/tab_control.h"

#include <QAbstractButton>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>

namespace DADOV {

TabControl::TabControl(QWidget* parent) : QTabWidget(parent) {}

bool TabControl::performClick(QAbstractButton* button) {
    if (button == nullptr || !button->isVisible() || !button->isEnabled())
        return false;
    for (const QWidget* w = button; w != nullptr; w = w->parentWidget()) {
        const int page = indexOf(const_cast<QWidget*>(w));
        if (page >= 0) {
            if (page != currentIndex())
                return false;
            break;
        }
    }
    button->click();
    return true;
}

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
