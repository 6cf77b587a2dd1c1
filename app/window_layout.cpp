#include "app/window_layout.h"

#include "ui_form1.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QPalette>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QTabBar>
#include <QVBoxLayout>

#include <memory>

namespace DADOV {

namespace {

class WheelOnlyWithFocus : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* slider = static_cast<QWidget*>(watched);
        if (event->type() != QEvent::Wheel || slider->hasFocus())
            return false;
        // The wheel goes to the view the slider scrolls in, if any.
        for (QWidget* w = slider->parentWidget(); w != nullptr; w = w->parentWidget()) {
            if (auto* view = qobject_cast<QAbstractScrollArea*>(w))
                return QCoreApplication::sendEvent(view->viewport(), event);
        }
        event->ignore();
        return true;
    }
};

void set_colour(QWidget* w, QPalette::ColorRole role, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

} // namespace

// The content keeps the size it was laid out for; the window around it may be smaller.
QScrollArea* put_content_in_scroll_area(QWidget& window, QWidget& tabs) {
    const QSize content_size = window.size();
    auto content = std::make_unique<QWidget>();
    content->setObjectName(QStringLiteral("content"));
    content->setFixedSize(content_size);
    tabs.setParent(content.get());
    tabs.show();

    auto* scrollArea = new QScrollArea(&window);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setWidgetResizable(false);
    // No tab stop of its own; Tab still scrolls the control it moves to into view.
    scrollArea->setFocusPolicy(Qt::NoFocus);
    scrollArea->setWidget(content.release());
    // Scroll bars stay light with dark marks, as the text boxes' do.
    for (QWidget* bar : {static_cast<QWidget*>(scrollArea->verticalScrollBar()),
                         static_cast<QWidget*>(scrollArea->horizontalScrollBar())}) {
        set_colour(bar, QPalette::Window, QColor(0xe8, 0xe8, 0xe8));
        set_colour(bar, QPalette::WindowText, Qt::black);
    }
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scrollArea);
    return scrollArea;
}

void fit_scrolled_window(QWidget& window, QScrollArea& scrollArea, const QRect& available,
                         const QMargins& frame) {
    const QSize content = scrollArea.widget()->size();
    const QSize room = available.size().shrunkBy(frame);
    // What a scroll bar takes from the view, as the scroll area lays it out.
    const int spacing =
        window.style()->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents, nullptr, &scrollArea)
            ? window.style()->pixelMetric(QStyle::PM_ScrollView_ScrollBarSpacing, nullptr, &scrollArea)
            : 0;
    const int vertical_bar = scrollArea.verticalScrollBar()->sizeHint().width() + spacing;
    const int horizontal_bar = scrollArea.horizontalScrollBar()->sizeHint().height() + spacing;
    // A scroll bar takes room beside the content, which may call for the other bar.
    bool vertical = content.height() > room.height();
    bool horizontal = content.width() > room.width();
    for (int pass = 0; pass < 2; ++pass) {
        horizontal = horizontal || content.width() + (vertical ? vertical_bar : 0) > room.width();
        vertical = vertical || content.height() + (horizontal ? horizontal_bar : 0) > room.height();
    }
    scrollArea.setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    scrollArea.setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const QSize wanted(content.width() + (vertical ? vertical_bar : 0),
                       content.height() + (horizontal ? horizontal_bar : 0));
    const QSize inner = wanted.boundedTo(room).expandedTo(QSize(1, 1));
    if (window.minimumSize() != inner || window.maximumSize() != inner)
        window.setFixedSize(inner);
    const QSize outer = inner.grownBy(frame);
    // For a window, the position is that of its frame.
    window.move(available.x() + (available.width() - outer.width()) / 2,
                available.y() + (available.height() - outer.height()) / 2);
}

// Black window, white texts; the named colours of single controls.
void setup_colours(QWidget& window, Ui::Form1& ui) {
    QPalette p = window.palette();
    p.setColor(QPalette::Window, Qt::black);
    p.setColor(QPalette::WindowText, Qt::white);
    window.setPalette(p);
    window.setAutoFillBackground(true);
    for (int page = 0; page < ui.TabControl1->count(); ++page)
        ui.TabControl1->widget(page)->setAutoFillBackground(true);
    // Controls drawn on the window's colour (spin box and list arrows, scroll bars) stay light, with
    // dark marks.
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<QAbstractScrollArea*>(w)) {
            set_colour(w, QPalette::Window, QColor(0xe8, 0xe8, 0xe8));
            set_colour(w, QPalette::WindowText, Qt::black);
        }
    }
    // The page buttons are light, with dark text.
    set_colour(ui.TabControl1->tabBar(), QPalette::WindowText, Qt::black);

    const QColor read_only_back(0xf0, 0xf0, 0xf0);
    for (TextBox* box : {ui.textBox6, ui.textBox1, ui.textBox2})
        set_colour(box, QPalette::Base, read_only_back);
    set_colour(ui.textBox6, QPalette::Text, Qt::red);
    set_colour(ui.textBox1, QPalette::Text, Qt::red);

    set_colour(ui.button13, QPalette::Button, Qt::red);
    set_colour(ui.button6, QPalette::Button, Qt::green);
    set_colour(ui.button24, QPalette::Button, QColor(0x6a, 0x5a, 0xcd)); // slate blue
    set_colour(ui.button24, QPalette::ButtonText, Qt::yellow);
    set_colour(ui.progressBar4, QPalette::Highlight, Qt::red);
    set_colour(ui.label26, QPalette::WindowText, Qt::cyan); // aqua

    for (QLabel* value : {ui.label16, ui.label17}) {
        value->setAutoFillBackground(true);
        set_colour(value, QPalette::Window, QColor(0xf5, 0xf5, 0xf5));
        set_colour(value, QPalette::WindowText, Qt::black);
    }
    set_colour(ui.label17, QPalette::WindowText, Qt::magenta);
}

void sliders_take_the_wheel_only_with_focus(QWidget& window) {
    auto* filter = new WheelOnlyWithFocus(&window);
    for (QSlider* slider : window.findChildren<QSlider*>())
        slider->installEventFilter(filter);
}

} // namespace DADOV
