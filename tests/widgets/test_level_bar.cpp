// The reading bars as painted: a LevelBar must look exactly as a QProgressBar of the same state, on the
// same background, for every filled width.

#include "widgets/level_bar.h"

#include <QApplication>
#include <QImage>
#include <QStyle>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <memory>

using namespace DADOV;

namespace {

// A LevelBar and a QProgressBar side by side on a window of the Diagnostics page's black.
class LevelBarTest : public ::testing::Test {
protected:
    LevelBarTest() {
        window.setAutoFillBackground(true);
        QPalette black = window.palette();
        black.setColor(QPalette::Window, Qt::black);
        window.setPalette(black);
        window.resize(900, 60);
        ours = new LevelBar(&window);
        theirs = new QProgressBar(&window);
        // The tool's style on every platform.
        ours->setStyle(fusion.get());
        theirs->setStyle(fusion.get());
    }

    void shape(QSize size, int minimum, int maximum) {
        for (QProgressBar* bar : {static_cast<QProgressBar*>(ours), theirs}) {
            bar->resize(size);
            bar->setRange(minimum, maximum);
            bar->setTextVisible(false);
        }
        ours->move(10, 10);
        theirs->move(20 + size.width(), 10);
    }

    void setValue(int value) {
        ours->setValue(value);
        theirs->setValue(value);
    }

    // The two bars' pixels as the window paints them, and whether they are the same.
    ::testing::AssertionResult looksTheSame() {
        const QImage shot = window.grab().toImage();
        const QImage a = shot.copy(ours->geometry());
        const QImage b = shot.copy(theirs->geometry());
        if (a == b)
            return ::testing::AssertionSuccess();
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y))
                    return ::testing::AssertionFailure()
                           << "value " << ours->value() << ": first difference at (" << x << ", " << y
                           << "): " << std::hex << a.pixel(x, y) << " against " << b.pixel(x, y);
        return ::testing::AssertionFailure() << "the images differ in format";
    }

    // Every value where the filled width changes (its first and its last), and the range's ends.
    void expectEveryWidthTheSame() {
        const int minimum = ours->minimum();
        const int maximum = ours->maximum();
        const auto width_of = [&](int v) {
            return qint64(v - minimum) * ours->width() / (maximum - minimum);
        };
        int checked = 0;
        for (int v = minimum; v <= maximum; ++v) {
            if (v != minimum && v != maximum && width_of(v) == width_of(v - 1) &&
                width_of(v) == width_of(v + 1))
                continue;
            setValue(v);
            ASSERT_TRUE(looksTheSame());
            ++checked;
        }
        EXPECT_GT(checked, 2);
    }

    std::unique_ptr<QStyle> fusion{QStyleFactory::create(QStringLiteral("Fusion"))};
    QWidget window;
    LevelBar* ours = nullptr;
    QProgressBar* theirs = nullptr;
};

} // namespace

TEST_F(LevelBarTest, EveryReadingLooksAsTheStyleDrawsIt) {
    // The Diagnostics page's reading bars and its countdown bar, red as the page makes it.
    shape({330, 18}, 0, 5000);
    expectEveryWidthTheSame();
    setValue(2500);
    EXPECT_TRUE(ours->composes()); // the reading bars are made from the pictures, not drawn each time

    shape({330, 18}, 0, 10000);
    expectEveryWidthTheSame();

    shape({190, 20}, 0, 15);
    for (QProgressBar* bar : {static_cast<QProgressBar*>(ours), theirs}) {
        QPalette red = bar->palette();
        red.setColor(QPalette::Highlight, Qt::red);
        bar->setPalette(red);
    }
    expectEveryWidthTheSame();

    // A range that does not start at zero, wider than the bar in pixels and narrower.
    shape({257, 16}, -300, 700);
    expectEveryWidthTheSame();
    shape({400, 22}, 1000, 1100);
    expectEveryWidthTheSame();
}

TEST_F(LevelBarTest, ALookChangedAfterAPaintIsPaintedAnew) {
    shape({330, 18}, 0, 5000);
    setValue(1234);
    ASSERT_TRUE(looksTheSame());

    // A new highlight colour, a new size and a disabled bar: none shows a picture of the last look.
    for (QProgressBar* bar : {static_cast<QProgressBar*>(ours), theirs}) {
        QPalette green = bar->palette();
        green.setColor(QPalette::Highlight, Qt::green);
        bar->setPalette(green);
    }
    EXPECT_TRUE(looksTheSame());
    shape({300, 24}, 0, 5000);
    EXPECT_TRUE(looksTheSame());
    ours->setEnabled(false);
    theirs->setEnabled(false);
    EXPECT_TRUE(looksTheSame());
    setValue(4321);
    EXPECT_TRUE(looksTheSame());
}

TEST_F(LevelBarTest, WhatIsNotComposedIsLeftToTheStyle) {
    shape({330, 18}, 0, 5000);
    setValue(2500);
    ASSERT_TRUE(ours->composes());

    // Text shown, inverted, right to left, vertical: drawn by the style, and the same as a QProgressBar.
    ours->setTextVisible(true);
    theirs->setTextVisible(true);
    EXPECT_FALSE(ours->composes());
    EXPECT_TRUE(looksTheSame());
    ours->setTextVisible(false);
    theirs->setTextVisible(false);

    ours->setInvertedAppearance(true);
    theirs->setInvertedAppearance(true);
    EXPECT_FALSE(ours->composes());
    EXPECT_TRUE(looksTheSame());
    ours->setInvertedAppearance(false);
    theirs->setInvertedAppearance(false);

    ours->setLayoutDirection(Qt::RightToLeft);
    theirs->setLayoutDirection(Qt::RightToLeft);
    EXPECT_FALSE(ours->composes());
    EXPECT_TRUE(looksTheSame());
    ours->setLayoutDirection(Qt::LeftToRight);
    theirs->setLayoutDirection(Qt::LeftToRight);

    // Another style: its own arithmetic, so drawn by it.
    std::unique_ptr<QStyle> windows(QStyleFactory::create(QStringLiteral("Windows")));
    ASSERT_TRUE(windows);
    ours->setStyle(windows.get());
    theirs->setStyle(windows.get());
    EXPECT_FALSE(ours->composes());
    EXPECT_TRUE(looksTheSame());
    ours->setStyle(fusion.get());
    theirs->setStyle(fusion.get());

    // Nearly empty and nearly full (the fill's ends meet the groove's), full and empty.
    for (int v : {0, 1, 100, 5000 - 100, 4999, 5000}) {
        setValue(v);
        EXPECT_FALSE(ours->composes()) << v;
        EXPECT_TRUE(looksTheSame());
    }
}
