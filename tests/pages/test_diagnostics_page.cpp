// The Diagnostics page end to end: the window attached to the simulated controller over a pseudo-terminal,
// its real timer running, its real buttons clicked.

#include "protocol/modes.h"
#include "support/controller_session.h"
#include "widgets/strip_chart_view.h"

#include <QImage>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>

#include <chrono>

using namespace DADOV;
using namespace std::chrono_literals;
using testsupport::ControllerSession;

namespace {

class DiagnosticsPageTest : public ControllerSession {
protected:
    void SetUp() override {
        ControllerSession::SetUp();
        sim->setStreamRate(1000);
        sim->setReadings(512, 510); // 2500 mV and 2490 mV
    }

    void click(const char* name) { widget<QPushButton>(name)->click(); }
    DADOV::DiagnosticsPage& page() { return form->diagnostics(); }
    QProgressBar* bar(const char* name) { return widget<QProgressBar>(name); }
    bool shown(const char* name) { return widget<QWidget>(name)->isVisible(); }

    // Enters the page and waits for the stream to reach the displays.
    void enter_streaming() {
        select_page(1);
        ASSERT_TRUE(QTest::qWaitFor([&] { return text("label4") == "2490 mv"; }, 3000)) << "no stream";
    }

    // Once the controller's "star" has started a capture, the test ticks the window's timer by hand.
    void tick_by_hand_once_capturing() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return page().MyTimerEnable(); }, 2000)) << "no capture";
        form->timer1().stop();
    }
    void tick(int n) {
        for (int i = 0; i < n; ++i)
            form->timer1_Tick();
    }

    // Nothing drawn where the control lies: one colour throughout the pixels last painted there (the
    // window's backing store), not a fresh rendering.
    bool blank(const char* name) {
        QWidget* w = widget<QWidget>(name);
        const QPoint at = w->mapTo(w->window(), QPoint(0, 0));
        const QImage image = form->screen()
                                 ->grabWindow(w->window()->winId(), at.x(), at.y(), w->width(), w->height())
                                 .toImage();
        if (image.isNull())
            return false;
        QImage solid(image.size(), image.format());
        solid.fill(image.pixelColor(0, 0));
        return image == solid;
    }
    // The stream's displays are on screen and their paint is being held back (they change faster than
    // they are painted).
    void wait_until_streamed_displays_are_held(std::initializer_list<const char*> names) {
        for (const char* name : names)
            ASSERT_TRUE(QTest::qWaitFor([&] { return !blank(name); }, 3000)) << name << " never painted";
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                for (const char* name : names) {
                    if (widget<QWidget>(name)->updatesEnabled())
                        return false;
                }
                return true;
            },
            3000))
            << "never held";
    }
};

TEST_F(DiagnosticsPageTest, EntrySelectsPairBThenStartsStreamingAtLeast100msLater) {
    select_page(1);
    click("button18"); // pair A
    EXPECT_EQ(page().TB(), 0);
    select_page(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim->received().endsWith("93"); }, 2000));
    sim->clearReceived();

    // Each pause comes once the controller has what was written before it.
    std::vector<std::pair<int, QByteArray>> seen;
    page().streamingPause = [&](int ms) {
        (void)sim->waitForReceived(seen.empty() ? "96" : "9685", 2s);
        seen.emplace_back(ms, sim->received());
    };
    select_page(1);
    EXPECT_EQ(sim->received(), "9685");
    EXPECT_THAT(seen, ::testing::ElementsAre(std::pair<int, QByteArray>(100, "96"),
                                             std::pair<int, QByteArray>(100, "9685")));
    EXPECT_EQ(page().TB(), 1);
    EXPECT_EQ(text("label1"), "TPS1B");
    EXPECT_EQ(text("label31"), "Data From Secondary Throttle Body");
    EXPECT_TRUE(shown("panel1"));
    EXPECT_TRUE(page().streaming_enabled());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return sim->streaming() && sim->pair() == SimController::Pair::Secondary; }, 1000));
}

TEST_F(DiagnosticsPageTest, AmpsShowsTheV2CurrentAndItsPeak) {
    sim->setAmps("2.5", 1);
    widget<QRadioButton>("radioButton2")->setChecked(true);
    enter_streaming();
    // The refresh selects "V2 Unit"; currents that came before it were taken for the other unit.
    ASSERT_TRUE(QTest::qWaitFor([&] { return widget<QRadioButton>("radioButton1")->isChecked(); }, 3000));
    EXPECT_FALSE(widget<QRadioButton>("radioButton2")->isChecked());
    click("button17");
    ASSERT_TRUE(QTest::qWaitFor([&] { return text("label45") == "4.22"; }, 3000))
        << text("label45").toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return text("label46") == "4.22"; }, 3000));

    // "Reset" clears the peak but not its read-out, until a higher current comes.
    sim->setAmps("1", 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return text("label45") == "1.69"; }, 3000));
    click("button17");
    EXPECT_EQ(page().peak_curr(), 0);
    EXPECT_EQ(text("label46"), "4.22");
    ASSERT_TRUE(QTest::qWaitFor([&] { return text("label46") == "1.69"; }, 3000));
}

TEST_F(DiagnosticsPageTest, CountdownStepsEvery31TicksPausesOffThePageAndReleasesTheChart) {
    enter_streaming();
    sim->sendLines({"star"});
    tick_by_hand_once_capturing();
    EXPECT_EQ(page().stripChart().suspendCount(), 1);
    const QList<int> frozen = drawn(StripChart::TPS1);

    tick(30 - page().tickcount()); // the timer's own ticks may have counted some already
    EXPECT_EQ(page().count(), 16);
    tick(1);
    EXPECT_EQ(page().count(), 15);
    EXPECT_EQ(page().tickcount(), 0);
    EXPECT_EQ(text("label13"), "15 Countdown Timer");
    EXPECT_EQ(bar("progressBar4")->value(), 15);
    const int collected = page().stripChart().size(StripChart::TPS1);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return page().stripChart().size(StripChart::TPS1) > collected; }, 2000));
    page().stripChart().flush();
    EXPECT_EQ(drawn(StripChart::TPS1), frozen); // collected, not drawn

    // Off the page the countdown waits.
    tabs->setCurrentIndex(0); // the timer is stopped: no tick to wait for
    tick(100);
    EXPECT_EQ(page().count(), 15);
    EXPECT_EQ(page().tickcount(), 0);

    tabs->setCurrentIndex(1); // the page entry's chart reset releases the chart already
    tick(31 * 14);
    EXPECT_EQ(page().count(), 1);
    tick(31);
    EXPECT_FALSE(page().MyTimerEnable());
    EXPECT_EQ(page().count(), 16);
    EXPECT_EQ(page().stripChart().suspendCount(), 0);
    EXPECT_EQ(box("textBox2"), "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return drawn(StripChart::TPS1) != frozen; }, 2000));
}

TEST_F(DiagnosticsPageTest, FreezesNestAndResetRedrawsAnEmptyChart) {
    enter_streaming();
    click("button22"); // TPS1A and TPS1B
    EXPECT_FALSE(shown("progressBar3"));
    EXPECT_FALSE(shown("panel1"));
    for (const char* line : {"tpsone", "246", "tpstwo", "244"}) // 1201 mV and 1191 mV
        form->GetInstruction(line);
    click("button7");
    EXPECT_EQ(text("label16"), "TPS1A= 1201 mv");
    EXPECT_EQ(text("label17"), "TPS1B= 1191 mv");
    click("button7");
    click("button8");
    EXPECT_EQ(text("label16"), "  ");
    const QList<int> frozen = drawn(StripChart::TPS2);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return page().stripChart().size(StripChart::TPS2) > frozen.size(); }, 2000));
    page().stripChart().flush();
    EXPECT_EQ(drawn(StripChart::TPS2), frozen); // still one freeze outstanding

    click("button5");
    EXPECT_EQ(page().stripChart().suspendCount(), 0);
    EXPECT_TRUE(drawn(StripChart::TPS2).isEmpty());
    EXPECT_EQ(text("label15"), "No Convergence");
    click("button8"); // a resume with none outstanding does nothing
    EXPECT_EQ(page().stripChart().suspendCount(), 0);
}

TEST_F(DiagnosticsPageTest, ScrollSpeedSetsTheWindowAndEmptiesTheChart) {
    select_page(1);
    for (const auto& [speed, window] : {std::pair{10, 100}, std::pair{1, 1000}, std::pair{5, 600}}) {
        widget<QSpinBox>("numericUpDown1")->setValue(speed);
        EXPECT_EQ(page().s(), window);
        EXPECT_EQ(page().chartView().xMax(), window);
        EXPECT_EQ(page().t(), 0);
        EXPECT_EQ(page().stripChart().size(StripChart::TPS1), 0);
    }
}

// That the displays leave the screen: HiddenReadOutsLeaveTheScreenEvenWhileTheStreamHoldsTheirPaint.
TEST_F(DiagnosticsPageTest, StopEndsTheStreamAndPairASelectionKeepsTheDisplaysHidden) {
    enter_streaming();
    sim->clearReceived();
    click("button25");
    EXPECT_FALSE(page().streaming_enabled());
    EXPECT_EQ(form->parserMode().x(), MODE_IDLE);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !sim->streaming(); }, 1000));

    click("button18");
    EXPECT_FALSE(shown("progressBar1"));
    EXPECT_FALSE(shown("progressBar3")); // the selection shows the sum bar only while streaming
    EXPECT_TRUE(wire_reads("6593"));
}

TEST_F(DiagnosticsPageTest, HiddenReadOutsLeaveTheScreenEvenWhileTheStreamHoldsTheirPaint) {
    // The test screen is smaller than the page: give the window room for all of it, so that every display
    // the test looks at is on screen at once.
    form->fit_window(QRect(0, 0, 2000, 2000), QMargins());
    sim->setSweep(); // every reading changes the bars and figures
    select_page(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return text("label4").endsWith(" mv"); }, 3000)) << "no stream";
    wait_until_streamed_displays_are_held({"progressBar1", "progressBar3", "label3", "label9"});
    click("button25");
    for (const char* name : {"progressBar1", "progressBar2", "progressBar3", "label1", "label2", "label3",
                             "label4", "label5", "label9", "label31", "label45", "label46"})
        EXPECT_TRUE(QTest::qWaitFor([&] { return blank(name); }, 1000)) << name << " still on screen";

    click("button23");
    wait_until_streamed_displays_are_held({"progressBar3", "label9"});
    click("button22");
    for (const char* name : {"progressBar3", "label5", "label9", "label45"})
        EXPECT_TRUE(QTest::qWaitFor([&] { return blank(name); }, 1000)) << name << " still on screen";
    EXPECT_FALSE(blank("progressBar1"));
}

TEST_F(DiagnosticsPageTest, CaptureAfterAFullWindowRedrawsTheWindowItFilled) {
    enter_streaming();
    widget<QSpinBox>("numericUpDown1")->setValue(10); // a window of 100 samples
    ASSERT_TRUE(QTest::qWaitFor([&] { return page().t() > page().s(); }, 5000));
    click("button26");
    tick_by_hand_once_capturing();
    ASSERT_TRUE(QTest::qWaitFor([&] { return page().t() > 150; }, 5000));
    tick(31 * 16);
    EXPECT_FALSE(page().MyTimerEnable());
    // More readings came during the capture than the window holds: the redraw shows the last 100 of them.
    EXPECT_EQ(drawn(StripChart::TPS1), QList<int>(100, 2500));
    EXPECT_EQ(drawn(StripChart::TPS2), QList<int>(100, 2490));
}

TEST_F(DiagnosticsPageTest, StartWithResetClearsTheReadOutsButLeavesAFreeze) {
    enter_streaming();
    click("button7");
    sim->clearReceived();
    click("button6");
    EXPECT_EQ(bar("progressBar4")->value(), 15);
    EXPECT_EQ(text("label16"), "  ");
    EXPECT_EQ(page().t(), 0);
    EXPECT_EQ(page().stripChart().suspendCount(), 1);
    EXPECT_EQ(page().stripChart().size(StripChart::TPS1), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return page().MyTimerEnable(); }, 2000)); // the controller's "star"
    EXPECT_EQ(sim->received(), "99");
    EXPECT_EQ(page().stripChart().suspendCount(), 2);
}

} // namespace
