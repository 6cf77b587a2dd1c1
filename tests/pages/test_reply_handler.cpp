// The reply parser: its number rules on their own, then whole lines through a window, and the requests
// answered over the wire to the simulated controller.

#include "protocol/reply_parser.h"

#include "pages/paint_throttle.h"
#include "protocol/modes.h"
#include "support/controller_session.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

using namespace DADOV;
using testsupport::ControllerSession;

namespace {

TEST(ReplyParserNumbers, KeywordsMatchExactlyAndCaseSensitively) {
    EXPECT_EQ(keyword_of(u"end"), Keyword::End);
    EXPECT_EQ(keyword_of(u"sectrig"), Keyword::Sectrig);
    EXPECT_EQ(keyword_of(u"4"), Keyword::Four);
    EXPECT_EQ(keyword_of(u"newPID"), Keyword::NewPid);
    for (const char16_t* data : {u"end\r", u"End", u" end", u"newpid", u"7", u"", u"tpsonetpsone"})
        EXPECT_FALSE(keyword_of(data).has_value()) << QString::fromUtf16(data).toStdString();
}

TEST(ReplyParserNumbers, IntegerReadingsAreSignedDecimalWithBlanksAround) {
    EXPECT_EQ(parse_integer_reading(u"512"), 512);
    EXPECT_EQ(parse_integer_reading(u" -12\t"), -12);
    EXPECT_EQ(parse_integer_reading(u"+7"), 7);
    EXPECT_EQ(parse_integer_reading(u"1023\r"), 1023);
    EXPECT_EQ(parse_integer_reading(u"-2147483648"), -2147483647 - 1);
    for (const char16_t* data :
         {u"", u" ", u"-", u"1 2", u"0x10", u"12a", u"1.5", u"2147483648", u"99999999999"})
        EXPECT_FALSE(parse_integer_reading(data).has_value()) << QString::fromUtf16(data).toStdString();
}

TEST(ReplyParserNumbers, CountsBecomeMillivoltsByFloorDivision) {
    EXPECT_EQ(count_to_millivolts(0), 0);
    EXPECT_EQ(count_to_millivolts(1023), 4995);
    EXPECT_EQ(count_to_millivolts(1024), 5000);
    EXPECT_EQ(count_to_millivolts(-1), -5); // arithmetic shift: floor, not truncation
    EXPECT_EQ(count_to_millivolts(429496), 2097148);
    // No 32-bit wrap-around: this count would wrap to -3 mV, and others to plausible readings.
    EXPECT_EQ(count_to_millivolts(858993), 4194301);
    // Beyond 32 bits of millivolts the reading cannot be a count.
    EXPECT_FALSE(count_to_millivolts(500000000).has_value());
    EXPECT_FALSE(count_to_millivolts(-500000000).has_value());
}

TEST(ReplyParserNumbers, MotorCurrentIsTruncatedToHundredthsAndShownShort) {
    EXPECT_EQ(parse_sense_voltage(u"2.5"), 2.5);
    EXPECT_EQ(parse_sense_voltage(u" 3 "), 3.0);
    EXPECT_EQ(parse_sense_voltage(u"-0.5"), -0.5);
    for (const char16_t* data : {u"", u"abc", u"2,5", u"1,000", u"inf", u"nan", u"2.5V"})
        EXPECT_FALSE(parse_sense_voltage(data).has_value()) << QString::fromUtf16(data).toStdString();

    EXPECT_EQ(current_text(*motor_current(0, true)), "0");
    EXPECT_EQ(current_text(*motor_current(-0.001, true)), "0");
    EXPECT_EQ(current_text(3.2), "3.2");
    EXPECT_EQ(current_text(3), "3");
    EXPECT_FALSE(motor_current(1e307, false).has_value());
}

// Lines handed straight to the parser of a window with no controller attached; then the stream's displays
// show what they were given, as at the end of a paint interval.
class ReplyParser : public ControllerSession {
protected:
    void line(const QString& text) {
        form->GetInstruction(text);
        form->diagnostics().paintThrottle().release();
    }
    void lines(const QStringList& texts) {
        for (const QString& text : texts)
            form->GetInstruction(text);
        form->diagnostics().paintThrottle().release();
    }
    QProgressBar* bar(const char* name) { return widget<QProgressBar>(name); }
    DADOV::DiagnosticsPage& diagnostics() { return form->diagnostics(); }
};

TEST_F(ReplyParser, TpsPairUpdatesBarsLabelsChartAndCrossover) {
    lines({"tpsone", "512", "tpstwo", "510"}); // 2500 mV and 2490 mV
    EXPECT_EQ(diagnostics().volts1(), 2500);
    EXPECT_EQ(diagnostics().volts2(), 2490);
    EXPECT_EQ(bar("progressBar1")->value(), 2500);
    EXPECT_EQ(text("label3"), "2500 mv");
    EXPECT_EQ(bar("progressBar2")->value(), 2490);
    EXPECT_EQ(text("label4"), "2490 mv");
    EXPECT_EQ(bar("progressBar3")->value(), 4990);
    EXPECT_EQ(text("label9"), "4990 mv");
    EXPECT_EQ(bar("progressBar4")->value(), 15);
    EXPECT_EQ(text("label15"), "No Convergence"); // 250 vs 249
    EXPECT_EQ(diagnostics().t(), 1);
    // The start point at 0 is still there; the readings follow it.
    EXPECT_EQ(diagnostics().stripChart().points(StripChart::TPS1), QList<int>({0, 2500}));
    EXPECT_EQ(diagnostics().stripChart().points(StripChart::TPS2), QList<int>({0, 2490}));

    // Every further data line is another TPS2 reading against the last TPS1.
    line("513"); // 2504 mV: 250 = 250
    EXPECT_EQ(text("label15"), "2500 mv (rounded down to 10mV)");
    line("100");
    EXPECT_EQ(text("label15"), "2500 mv (rounded down to 10mV)"); // the last crossover stays
    EXPECT_EQ(diagnostics().t(), 3);
    EXPECT_EQ(form->parserMode().x(), MODE_TPS2);
}

TEST_F(ReplyParser, ZeroReadingsAreShownButNeverCharted) {
    diagnostics().stripChart().clear();
    lines({"tpsone", "0", "tpstwo", "1"}); // 0 mV and 4 mV: a crossover at 0
    EXPECT_EQ(text("label3"), "0 mv");
    EXPECT_EQ(text("label4"), "4 mv");
    EXPECT_EQ(text("label15"), "00 mv (rounded down to 10mV)");
    EXPECT_EQ(diagnostics().stripChart().size(StripChart::TPS1), 0);
    EXPECT_EQ(diagnostics().stripChart().points(StripChart::TPS2), QList<int>({4}));
    EXPECT_EQ(diagnostics().t(), 1);
}

TEST_F(ReplyParser, ChartFillsItsWindowThenScrolls) {
    widget<QSpinBox>("numericUpDown1")->setValue(10); // a window of 100 samples, and an empty chart
    lines({"tpsone", "200", "tpstwo"});
    QList<int> last;
    for (int count = 101; count <= 205; ++count) { // counts of one digit would be keywords ("3" to "6")
        line(QString::number(count));
        if (count > 105)
            last << count * 5000 / 1024;
    }
    EXPECT_EQ(diagnostics().t(), 105);
    EXPECT_EQ(diagnostics().stripChart().size(StripChart::TPS1), 100);
    EXPECT_EQ(diagnostics().stripChart().points(StripChart::TPS2), last);
    // The series on screen follow at the next flush, by index.
    ASSERT_TRUE(QTest::qWaitFor([&] { return drawn(StripChart::TPS2) == last; }, 1000));
}

// The chart is drawn at the release that paints the bars beside it, so a window takes one paint per
// interval; a steady reading that leaves the bars alone still has the chart drawn within the interval.
TEST_F(ReplyParser, TheChartIsDrawnAtTheReleaseThatPaintsTheReadings) {
    diagnostics().stripChart().clear();
    diagnostics().paintThrottle().release();
    for (const char* text : {"tpsone", "512", "tpstwo", "510"})
        form->GetInstruction(text);
    EXPECT_TRUE(drawn(StripChart::TPS2).isEmpty()); // collected, waiting for the release
    EXPECT_EQ(bar("progressBar2")->value(), 0);
    diagnostics().paintThrottle().release();
    EXPECT_EQ(drawn(StripChart::TPS2), QList<int>({2490}));
    EXPECT_EQ(bar("progressBar2")->value(), 2490);

    form->GetInstruction("510"); // the same reading again: nothing for the bars to show
    EXPECT_EQ(drawn(StripChart::TPS2), QList<int>({2490}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return drawn(StripChart::TPS2) == QList<int>({2490, 2490}); }, 1000));
}

TEST_F(ReplyParser, ReadingOutsideABarEndsTheLineThere) {
    lines({"tpsone", "512", "tpstwo", "500"});
    const int t_before = diagnostics().t();
    line("1100"); // 5371 mV: beyond progressBar2
    EXPECT_EQ(diagnostics().volts2(), 5371);
    EXPECT_EQ(text("label4"), "2441 mv"); // unchanged
    EXPECT_EQ(diagnostics().t(), t_before);
    line("-3"); // -15 mV
    EXPECT_EQ(text("label4"), "2441 mv");
    EXPECT_EQ(diagnostics().t(), t_before);
    // A TPS1 beyond its bar blocks every display until a good one comes.
    lines({"tpsone", "1030", "tpstwo", "100"});
    EXPECT_EQ(diagnostics().volts2(), 488);
    EXPECT_EQ(text("label4"), "2441 mv");
}

TEST_F(ReplyParser, BadReadingsAreDroppedAndTheModeStays) {
    lines({"tpsone", "512"});
    lines({"tpsone", "12.5", "abc", "", "999999999"}); // the last would wrap 32 bits
    EXPECT_EQ(diagnostics().volts1(), 2500);
    EXPECT_EQ(form->parserMode().x(), MODE_TPS1);
    lines({"tpstwo", "end\r"}); // not the keyword: a bad reading
    EXPECT_EQ(form->parserMode().x(), MODE_TPS2);
    EXPECT_EQ(diagnostics().t(), 0);
}

TEST_F(ReplyParser, CountOfThreeSwitchesToDiagnosticTextAndBlanksTheDisplays) {
    lines({"tpsone", "512", "tpstwo", "512"});
    lines({"tpstwo", "3", "Sensor check", "ok"});
    EXPECT_EQ(form->parserMode().x(), MODE_DIAG_TEXT);
    EXPECT_EQ(text("label3"), "");
    EXPECT_EQ(text("label9"), "");
    EXPECT_EQ(bar("progressBar3")->value(), 0);
    EXPECT_EQ(box("textBox2"), "Sensor check\r\nok\r\n");
    EXPECT_EQ(diagnostics().t(), 1);
}

TEST_F(ReplyParser, AmpsValueIsConvertedByTheUnitShownAndKeepsThePeak) {
    widget<QRadioButton>("radioButton1")->setChecked(true);
    lines({"amps", "2.5"});
    EXPECT_EQ(text("label45"), "4.22");
    EXPECT_EQ(text("label46"), "4.22");
    EXPECT_EQ(form->parserMode().x(), MODE_IDLE); // one line only
    line("3.0");
    EXPECT_EQ(text("label45"), "4.22");

    EXPECT_EQ(diagnostics().peak_curr(), 4.22);

    // Not a number: the old voltage is worked out and shown again.
    lines({"amps", "n/a"});
    EXPECT_EQ(diagnostics().current_volts(), 2.5);
    EXPECT_EQ(text("label45"), "4.22");

    widget<QRadioButton>("radioButton2")->setChecked(true);
    lines({"amps", "2.5"});
    EXPECT_EQ(text("label45"), "15.43");
    EXPECT_EQ(text("label46"), "15.43");
}

// "newPID" and "DTC" over the wire: SettingsListingAndFaultReportFillTheTextAreas.
TEST_F(ReplyParser, KeywordsSetModesAndDisplays) {
    lines({"hertz", "100", "99"});
    EXPECT_EQ(text("label41"), "99");
    EXPECT_EQ(form->parserMode().x(), MODE_HERTZ);
    lines({"dummy", "98"});
    EXPECT_EQ(text("label41"), "98");
    lines({"end", "ignored"});
    EXPECT_EQ(text("label41"), "98");
    EXPECT_EQ(form->parserMode().x(), MODE_IDLE);

    widget<QRadioButton>("radioButton1")->setChecked(true);
    lines({"amps", "3.0"}); // a peak of 5.07 A
    ASSERT_EQ(diagnostics().peak_curr(), 5.07);
    widget<QLabel>("label46")->setText("5.1");
    widget<QLabel>("label15")->setText("2490 mv (rounded down to 10mV)");
    lines({"tpsone", "sec"});
    EXPECT_EQ(text("label31"), "Data From Secondary Throttle Body");
    EXPECT_EQ(diagnostics().peak_curr(), 0);
    EXPECT_EQ(text("label46"), "");
    EXPECT_EQ(text("label15"), "No Convergence");
    EXPECT_EQ(form->parserMode().x(), MODE_IDLE);
}

// A display given a reading that waits for the paint, then cleared by a later line of the same interval,
// stays clear: the waiting reading never comes back over it.
TEST_F(ReplyParser, LinesThatClearDisplaysWinOverReadingsWaitingToBePainted) {
    widget<QRadioButton>("radioButton1")->setChecked(true);
    lines({"amps", "3.0", "tpsone", "sec"});
    EXPECT_EQ(text("label45"), "");
    EXPECT_EQ(text("label46"), "");
    lines({"tpsone", "512", "tpstwo", "510", "3"});
    EXPECT_EQ(bar("progressBar1")->value(), 0);
    EXPECT_EQ(text("label3"), "");
    EXPECT_EQ(text("label4"), "");
}

// That the chart collects the capture without drawing it: the Diagnostics page's countdown tests.
TEST_F(ReplyParser, StarStartsTheCountdownAndFreezesAnEmptiedChart) {
    lines({"tpsone", "512", "tpstwo", "512"});
    ASSERT_EQ(diagnostics().t(), 1);
    line("star");
    EXPECT_TRUE(diagnostics().MyTimerEnable());
    EXPECT_EQ(diagnostics().stripChart().suspendCount(), 1);
    EXPECT_EQ(diagnostics().stripChart().size(StripChart::TPS1), 0);
    EXPECT_EQ(diagnostics().t(), 0); // the capture fills a fresh window
    EXPECT_EQ(text("label16"), "    ");
    EXPECT_EQ(form->parserMode().x(), MODE_TPS2);
    line("600");
    EXPECT_EQ(diagnostics().stripChart().points(StripChart::TPS2), QList<int>({2929}));
}

TEST_F(ReplyParser, ChartResetsItselfAfter32000ReadingsOnlyWhileItsPageIsShown) {
    lines({"tpsone", "512", "tpstwo"});
    for (int reading = 0; reading < 32001; ++reading)
        line("512");
    EXPECT_EQ(diagnostics().t(), 32001); // page 0 shown: the performed click does nothing
    select_page(1); // the page entry resets the chart: count up again (the stream it starts counts too)
    line("tpstwo");
    for (int reading = diagnostics().t(); reading < 32000; ++reading)
        line("512");
    EXPECT_EQ(diagnostics().t(), 32000);
    line("512");
    EXPECT_EQ(diagnostics().t(), 0);
    EXPECT_EQ(diagnostics().stripChart().size(StripChart::TPS1), 0);
}

// Requests: the tool answers at once with the value, over the wire. A line that reads like a count but is a
// keyword is taken as the keyword: here the gains are asked for in the middle of a TPS1 stream.
TEST_F(ReplyParser, GainRequestsAreAnsweredAsDecimalTextAndBeatAReadingOfTheSameText) {
    widget<QSlider>("trackBar1")->setValue(6123);
    widget<QSlider>("trackBar2")->setValue(150);
    widget<QSlider>("trackBar3")->setValue(5);
    next_tick(); // the Tuning page's refresh takes the gains: 6123, 15, 0
    line("tpsone");
    form->serialPort1().write(QStringLiteral("91"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->parserMode().x() == MODE_IDLE; }, 3000)); // "end"
    EXPECT_EQ(sim->received(), "91612315"
                               "0");
    EXPECT_EQ(diagnostics().volts1(), 0);
    EXPECT_EQ(diagnostics().t(), 0);
}

// The zIdudo requests are answered in the zIdudo page's tests.
TEST_F(ReplyParser, RequestsReadTheirControlsWhenTheyComeAndTheFailsafeMaskGoesAsOneRawByte) {
    widget<QSlider>("trackBar4")->setValue(5);
    widget<QSlider>("trackBar6")->setValue(40);
    widget<QSpinBox>("numericUpDown2")->setValue(6);
    widget<QCheckBox>("checkBox1")->setChecked(true); // 0x02
    widget<QCheckBox>("checkBox4")->setChecked(true); // 0x10
    for (const char* command : {"92", "DEL", "SEN", "FAI"}) {
        const qsizetype before = sim->valuesReceived().size();
        form->serialPort1().write(QString::fromLatin1(command));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return form->parserMode().x() == MODE_IDLE && sim->valuesReceived().size() > before; },
            3000))
            << command;
    }
    EXPECT_EQ(sim->received(), QByteArray("925DEL60SEN6FAI\x12"));
    EXPECT_EQ(form->tuning().C(), 5);
    EXPECT_EQ(form->tuning().delay(), 60);
    EXPECT_EQ(text("label41"), "40");
    EXPECT_EQ(box("textBox6"), "For Diagnostic Use Only \r\n \nFailsafes Disabled= 0x12\r\n");
}

TEST_F(ReplyParser, SettingsListingAndFaultReportFillTheTextAreas) {
    sim->setSettingsListing({"PID= 6000 10 20", "Current Limit= 7"});
    sim->setFaultReport({"TPS1A Out Of Range", "Overcurrent"});
    form->serialPort1().write(QStringLiteral("SET"));
    const QString shown = "Current Device Settings \r\n\r\nPID= 6000 10 20\r\nCurrent Limit= 7\r\n";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return box("textBox6") == shown && form->parserMode().x() == MODE_IDLE; }, 3000))
        << box("textBox6").toStdString();
    EXPECT_EQ(box("textBox1"), shown);

    // The report replaces the listing in textBox6 only; textBox1 collects both.
    form->serialPort1().write(QStringLiteral("DTC"));
    const QString faults = "TPS1A Out Of Range\r\nOvercurrent\r\n";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return box("textBox6") == faults && form->parserMode().x() == MODE_IDLE; }, 3000))
        << box("textBox6").toStdString();
    EXPECT_EQ(box("textBox1"), shown + faults);
    EXPECT_EQ(sim->received(), "SETDTC");
}

} // namespace
