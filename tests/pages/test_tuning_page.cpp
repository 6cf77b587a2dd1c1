// The Controller Tuning page through its real widgets: refresh, actions, failsafe bits, and the value
// requests of a controller played on a pseudo-terminal.

#include "pages/page_fixture.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

using namespace DADOV;

namespace {

class TuningPage : public pagetest::PageTest {
protected:
    QSlider* slider(const char* name) { return widget<QSlider>(name); }
    void click(const char* name) { widget<QAbstractButton>(name)->click(); }

    // The read-outs and wire values of the sliders' default positions, after a refresh.
    void expect_defaults() {
        EXPECT_EQ(text("label38"), "6.000");
        EXPECT_EQ(text("label39"), "1.0");
        EXPECT_EQ(text("label40"), "2.0");
        EXPECT_EQ(text("label42"), "42000");
        EXPECT_EQ(text("label43"), "7");
        EXPECT_EQ(text("label44"), "900");
        EXPECT_EQ(form->tuning().P(), 6000);
        EXPECT_EQ(form->tuning().I(), 10);
        EXPECT_EQ(form->tuning().D(), 20);
        EXPECT_EQ(form->tuning().C(), 7);
        EXPECT_EQ(form->tuning().A(), 900);
        EXPECT_EQ(form->tuning().delay(), 0);
        EXPECT_EQ(form->tuning().Integ(), 4200);
    }
};

TEST_F(TuningPage, FirstRefreshShowsTheDefaultsAndSetsTheWireValues) {
    EXPECT_EQ(text("label38"), "P");
    EXPECT_EQ(text("label42"), "-");
    next_tick();
    expect_defaults();
}

TEST_F(TuningPage, GainsAreTruncatedOnTheWireButRoundedOnScreen) {
    struct Case {
        int integral, derivative, loop_hz;
        int wire_i, wire_d, wire_delay;
        const char *shown_i, *shown_d;
    };
    for (const Case c :
         {Case{155, 9, 30, 15, 0, 70, "1.6", "0.1"}, Case{9, 1, 100, 0, 0, 0, "0.1", "0.0"},
          Case{500, 400, 65, 50, 40, 35, "5.0", "4.0"}, Case{125, 375, 99, 12, 37, 1, "1.3", "3.8"}}) {
        slider("trackBar2")->setValue(c.integral);
        slider("trackBar3")->setValue(c.derivative);
        slider("trackBar6")->setValue(c.loop_hz);
        next_tick();
        EXPECT_EQ(form->tuning().I(), c.wire_i) << c.integral;
        EXPECT_EQ(form->tuning().D(), c.wire_d) << c.derivative;
        EXPECT_EQ(form->tuning().delay(), c.wire_delay) << c.loop_hz;
        EXPECT_EQ(text("label39"), c.shown_i);
        EXPECT_EQ(text("label40"), c.shown_d);
    }
}

TEST_F(TuningPage, ReadoutsFollowTheUsersNumberFormat) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    slider("trackBar1")->setValue(1234);
    next_tick();
    EXPECT_EQ(text("label38"), "1,234");
    EXPECT_EQ(text("label39"), "1,0");
    EXPECT_EQ(text("label42"), "42000"); // a whole number, no grouping
}

TEST_F(TuningPage, DefaultValuesRestoresTheSlidersOnlyAndSendsNothing) {
    connect_controller();
    const std::pair<const char*, int> moved[] = {{"trackBar1", 10},  {"trackBar2", 7},   {"trackBar3", 399},
                                                 {"trackBar4", 3},   {"trackBar5", 400}, {"trackBar6", 30},
                                                 {"trackBar7", 1000}};
    for (auto [name, value] : moved)
        slider(name)->setValue(value);
    widget<QSpinBox>("numericUpDown2")->setValue(5);
    click("checkBox4");
    widget<TextBox>("textBox6")->setText("old listing\r\n");

    click("button1");
    EXPECT_EQ(box("textBox6"), "Default values selected \r\nClick on Set buttons to restore \r\n");
    EXPECT_EQ(widget<QSpinBox>("numericUpDown2")->value(), 5);
    EXPECT_TRUE(widget<QCheckBox>("checkBox4")->isChecked());
    EXPECT_EQ(form->tuning().failsafes(), 0x10);
    next_tick();
    expect_defaults();
    EXPECT_EQ(nothing_more(), QByteArray());
}

TEST_F(TuningPage, EachFailsafeBoxOwnsOneBit) {
    const std::pair<const char*, int> bits[] = {{"checkBox7", 0x01}, {"checkBox1", 0x02}, {"checkBox2", 0x04},
                                                {"checkBox3", 0x08}, {"checkBox4", 0x10}, {"checkBox5", 0x20},
                                                {"checkBox6", 0x40}};
    for (auto [name, mask] : bits) {
        click(name);
        EXPECT_EQ(form->tuning().failsafes(), mask) << name;
        click(name);
        EXPECT_EQ(form->tuning().failsafes(), 0) << name;
    }
    for (auto [name, mask] : bits)
        click(name);
    EXPECT_EQ(form->tuning().failsafes(), 0x7F);
    click("checkBox3");
    EXPECT_EQ(form->tuning().failsafes(), 0x77);
}

// Each action: what it writes, whether it clears the message box, the parser mode it leaves.
TEST_F(TuningPage, ActionsWriteTheirCommandAndPrepareTheParser) {
    connect_controller();
    struct Case {
        const char* button;
        QByteArray command;
        bool clears;
        int mode; // -1: unchanged
    };
    for (const Case& c :
         {Case{"button21", "SET", false, -1}, Case{"button11", "DTC", false, -1},
          Case{"button31", "SEN", true, 0}, Case{"button12", "DEL", true, 0}, Case{"button3", "91", true, 4},
          Case{"button14", "INT", false, -1}, Case{"button9", "92", false, -1},
          Case{"button10", "94", true, 4}, Case{"button13", "FAI", false, 0}}) {
        widget<TextBox>("textBox6")->setText("before\r\n");
        form->GetInstruction("hertz"); // mode 5
        click(c.button);
        EXPECT_EQ(received(c.command.size()), c.command) << c.button;
        EXPECT_EQ(box("textBox6"), c.clears ? QString() : QStringLiteral("before\r\n")) << c.button;
        EXPECT_EQ(form->parserMode().x(), c.mode < 0 ? 5 : c.mode) << c.button;
    }
    EXPECT_EQ(nothing_more(), QByteArray());
}

} // namespace
