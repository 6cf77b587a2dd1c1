#pragma once

// The window's look and size: its colours, and its content in a scroll area so that the window fits a
// screen smaller than the form.

#include <QMargins>
#include <QRect>

class QScrollArea;
class QWidget;

namespace Ui {
class Form1;
}

namespace DADOV {

// Black window, white texts; the named colours of single controls.
void setup_colours(QWidget& window, Ui::Form1& ui);

// Puts the window's content (the tab control) in a scroll area filling the window; the content keeps
// the size it was laid out for. The scroll area shows scroll bars only when the window had to be made
// smaller than its content.
QScrollArea* put_content_in_scroll_area(QWidget& window, QWidget& tabs);

// The window's sliders take the mouse wheel only when they have the focus (after a click): a wheel over
// one that has not goes on to what holds it, so that a page that scrolls scrolls on under the pointer.
void sliders_take_the_wheel_only_with_focus(QWidget& window);

// Sizes the window to its content, but no larger than `available` (a screen's available area) with a
// window frame of `frame` around it, and centres the framed window in that area.
void fit_scrolled_window(QWidget& window, QScrollArea& scrollArea, const QRect& available,
                         const QMargins& frame);

} // namespace DADOV
