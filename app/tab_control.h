#pragma once

#include <QTabWidget>

namespace DADOV {

// The window's tab control. Its page frame is one light line around the page area, whole on every side:
// the platform style draws the frame in shades of the window colour (black here) and lets the page cover
// its lower edge.
class TabControl : public QTabWidget {
    Q_OBJECT

public:
    explicit TabControl(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace DADOV
