// The window on screens of different sizes: it fits the screen's available area with its frame, centred,
// and scrolls its content when it had to be made smaller; the page frame is drawn on every side.
// The offscreen platform's screen (800x600) is smaller than the window's content.

#include "app/form1.h"
#include "link/device_setup.h"

#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpontaneKeyEvent>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gmock/gmock.h>

#include <algorithm>

using namespace DADOV;

namespace {

class WindowFit : public ::testing::Test {
protected:
    WindowFit() : form(std::make_unique<SysfsDeviceSetup>(empty_root.path())) {
        tabs = form.findChild<QTabWidget*>("TabControl1");
        for (QWidget* w = tabs->parentWidget(); w != nullptr && scroller == nullptr; w = w->parentWidget())
            scroller = qobject_cast<QScrollArea*>(w);
    }

    // Scrolls a span [start, start + length) into a view of the given length, its start first.
    static void scroll_to(QScrollBar* bar, int start, int length, int view) {
        bar->setValue(length >= view ? start : std::clamp(bar->value(), start + length - view, start));
    }

    // Every control of every page, and the page buttons, can be scrolled fully into view, or as far as
    // the view allows for a control larger than the view.
    void expect_every_control_reachable() {
        QWidget* view = scroller->viewport();
        for (int page = 0; page < tabs->count(); ++page) {
            tabs->setCurrentIndex(page);
            QWidget* shown = tabs->currentWidget();
            ASSERT_TRUE(QTest::qWaitFor([&] { return shown->size() == shown->parentWidget()->size(); }));
            QList<QWidget*> controls = tabs->widget(page)->findChildren<QWidget*>();
            controls << static_cast<QWidget*>(tabs->tabBar());
            for (QWidget* control : controls) {
                if (!control->isVisibleTo(&form))
                    continue;
                // Scrolled to as a user would (ensureWidgetVisible() shows a text box's cursor only).
                const QRect at(control->mapTo(scroller->widget(), QPoint(0, 0)), control->size());
                scroll_to(scroller->horizontalScrollBar(), at.left(), at.width(), view->width());
                scroll_to(scroller->verticalScrollBar(), at.top(), at.height(), view->height());
                // What is left of the control once every widget it sits in has clipped it.
                QRect seen = control->rect();
                for (QWidget* w = control; w != view; w = w->parentWidget())
                    seen = seen.translated(w->pos()) & w->parentWidget()->rect();
                EXPECT_EQ(seen.width(), std::min(control->width(), view->width()))
                    << control->objectName().toStdString() << " on page " << page;
                EXPECT_EQ(seen.height(), std::min(control->height(), view->height()))
                    << control->objectName().toStdString() << " on page " << page;
            }
        }
    }

    // The window with its frame lies within the area, centred.
    static void expect_centred_in(const QRect& available, const QRect& outer) {
        EXPECT_TRUE(available.contains(outer)) << outer.width() << "x" << outer.height();
        EXPECT_LE(std::abs(outer.center().x() - available.center().x()), 1);
        EXPECT_LE(std::abs(outer.center().y() - available.center().y()), 1);
    }

    // Window geometry reaches the widgets through the platform's events.
    void settle() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.size() == form.maximumSize(); }));
        QCoreApplication::processEvents();
    }

    QTemporaryDir empty_root;
    Form1 form;
    QTabWidget* tabs = nullptr;
    QScrollArea* scroller = nullptr;
    const QSize content{1010, 730}; // the size the pages were laid out for
};

// The offscreen screen first, then areas handed to fit_window().
TEST_F(WindowFit, TheWindowFitsTheAreaCentredAndScrollsOnlyWhereTheAreaIsTooSmall) {
    ASSERT_NE(scroller, nullptr);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    settle();
    const QRect screen = form.screen()->availableGeometry();
    ASSERT_TRUE(screen.width() < content.width() || screen.height() < content.height()); // a small screen
    expect_centred_in(screen, form.frameGeometry());
    EXPECT_TRUE(scroller->horizontalScrollBar()->isVisible() || scroller->verticalScrollBar()->isVisible());
    expect_every_control_reachable();

    struct Case {
        QRect available;
        QMargins frame;
        bool horizontal, vertical;
    };
    const Case cases[] = {
        {{0, 0, 1366, 728}, {1, 20, 1, 1}, false, true}, // a laptop with a task bar: only too low
        {{0, 24, 640, 456}, {4, 24, 4, 4}, true, true},
        {{100, 0, 900, 1000}, {4, 24, 4, 4}, true, false},
        {{0, 0, 1920, 1080}, {4, 24, 4, 4}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.available.width());
        form.fit_window(c.available, c.frame);
        settle();
        expect_centred_in(c.available, QRect(form.pos(), form.size().grownBy(c.frame)));
        EXPECT_EQ(scroller->horizontalScrollBar()->isVisible(), c.horizontal);
        EXPECT_EQ(scroller->verticalScrollBar()->isVisible(), c.vertical);
        if (!c.horizontal) {
            EXPECT_EQ(scroller->viewport()->width(), content.width());
        }
        if (!c.vertical) {
            EXPECT_EQ(scroller->viewport()->height(), content.height());
        }
        if (c.horizontal || c.vertical) {
            expect_every_control_reachable();
        } else {
            EXPECT_EQ(form.size(), content);
        }
    }
}

// A wheel turned over a slider on a page that scrolls scrolls the page; the slider takes the wheel once it
// has the focus.
TEST_F(WindowFit, TheWheelOverASliderScrollsThePageUnlessTheSliderHasTheFocus) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.fit_window(QRect(0, 0, 1366, 600), QMargins()); // a screen wide enough but lower than the page
    settle();
    QScrollBar* bar = scroller->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    auto* slider = form.findChild<QSlider*>("trackBar2");
    const auto wheel_down = [&] {
        const QPointF at(slider->width() / 2.0, slider->height() / 2.0);
        QWheelEvent wheel(at, slider->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&wheel); // as from the window system
        QApplication::sendEvent(slider, &wheel);
    };
    const int value = slider->value();
    form.findChild<QWidget*>("button21")->setFocus();
    wheel_down();
    EXPECT_EQ(slider->value(), value);
    EXPECT_GT(bar->value(), 0);

    const int scrolled = bar->value();
    slider->setFocus();
    wheel_down();
    EXPECT_NE(slider->value(), value);
    EXPECT_EQ(bar->value(), scrolled);
}

TEST_F(WindowFit, ThePageFrameIsDrawnOnEverySide) {
    const QImage image = tabs->grab().toImage();
    const QRect page = tabs->findChild<QStackedWidget*>()->geometry();
    // The frame runs along a line just outside the page area (the page covers everything inside).
    const auto light = [&](QPoint from, QPoint step, int count) {
        for (int i = 0; i < count; ++i, from += step) {
            if (qGray(image.pixel(from)) < 160)
                return false;
        }
        return true;
    };
    const auto framed = [&](QPoint first, QPoint second, QPoint step, int count) {
        return light(first, step, count) || light(second, step, count);
    };
    EXPECT_TRUE(framed(page.bottomLeft() + QPoint(0, 1), page.bottomLeft() + QPoint(0, 2), QPoint(1, 0),
                       page.width()));
    EXPECT_TRUE(
        framed(page.topLeft() - QPoint(1, 0), page.topLeft() - QPoint(2, 0), QPoint(0, 1), page.height()));
    EXPECT_TRUE(
        framed(page.topRight() + QPoint(1, 0), page.topRight() + QPoint(2, 0), QPoint(0, 1), page.height()));
}

} // namespace
