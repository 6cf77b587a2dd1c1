#pragma once

#include <QTabWidget>

class QAbstractButton;

namespace DADOV {

// The window's tab control. Its page frame is one light line around the page area, whole on every side:
// the platform style draws the frame in shades of the window colour (black here) and lets the page cover
// its lower edge.
class TabControl : public QTabWidget {
    Q_OBJECT

public:
    explicit TabControl(QWidget* parent = nullptr);

    // A click pressed by the program: runs the button's click handler as a user click would, but only
    // if the user could click it now (visible, enabled, and on the page shown). Returns whether it ran.
    bool performClick(QAbstractButton* button);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace DADOV
