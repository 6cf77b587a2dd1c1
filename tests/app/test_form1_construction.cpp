// The window as built: pages, controls and their start values, read from the real widgets by object
// name. The event loop is not run, so no tick has touched anything.

#include "app/form1.h"
#include "app/link_label.h"
#include "app/text_box.h"
#include "link/device_setup.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

#include <gmock/gmock.h>

#include <memory>

using namespace DADOV;
using ::testing::ElementsAre;

namespace {

class Form1Construction : public testsupport::WindowTest {
protected:
    Form1Construction() {
        form = std::make_unique<Form1>(std::make_unique<SysfsDeviceSetup>(empty_root.path()));
    }

    QTemporaryDir empty_root;
};

TEST_F(Form1Construction, WindowIsFixedWithItsTitleAndFivePagesInIndexOrder) {
    EXPECT_EQ(form->windowTitle(), "VMK q5  Controller 4.22");
    EXPECT_EQ(form->minimumSize(), form->maximumSize());

    auto* tabs = widget<QTabWidget>("TabControl1");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 5);
    const char* const pages[][2] = {{"tabPage1", "Controller Tuning"},
                                    {"tabPage2", "Diagnostics"},
                                    {"tabPage4", "zIdudo"},
                                    {"tabPage3", "q5 Firmware Update"},
                                    {"tabPage5", "Documentation"}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(tabs->widget(i)->objectName(), pages[i][0]) << i;
        EXPECT_EQ(tabs->tabText(i), pages[i][1]) << i;
    }
    EXPECT_EQ(tabs->currentIndex(), 0);
}

TEST_F(Form1Construction, ControlsSitOnTheirPagesWithTheirTexts) {
    struct Row {
        const char* name;
        const char* page;
        const char* text;
    };
    const Row rows[] = {
        {"label18", "tabPage1", "Status: Unknown or Not Attached"},
        {"button21", "tabPage1", "Check Settings"},
        {"button1", "tabPage1", "Default Values"},
        {"label21", "tabPage1", "Control Loop Hz "},
        {"label41", "tabPage1", "-"},
        {"label38", "tabPage1", "P"},
        {"button3", "tabPage1", "Set PID "},
        {"label29", "tabPage1", "Integral Limit "},
        {"button13", "tabPage1", "Disable Failsafes"},
        {"checkBox7", "tabPage1", "B1/B2 Correlation"},
        {"COMStatus_lbl", "tabPage2", "Status: Unknown or Not Attached"},
        {"label31", "tabPage2", "Data From Secondary Throttle Body"},
        {"button25", "tabPage2", "Stop Data Streaming"},
        {"label5", "tabPage2", "TPS1B + TPS2B"},
        {"label16", "tabPage2", "    "},
        {"label15", "tabPage2", "No Convergence"},
        {"button18", "tabPage2", "TPS1A  TPS2A"},
        {"label30", "tabPage2", "Select Charted TPS Signals "},
        {"radioButton1", "tabPage2", "V2 Unit"},
        {"label60", "tabPage4", "SecondaryTrigger mv"},
        {"label58", "tabPage4", "Bypass Ramp In Complete "},
        {"label52", "tabPage4", "Min Boost"},
        {"label51", "tabPage4", "Full Boost"},
        {"label59", "tabPage4", "Boost Reduction Disabled"},
        {"button4", "tabPage3", "Update  Main MCU"},
        {"button15", "tabPage3", "Update Supervisory MCU"},
        {"button27", "tabPage3", "Write ID"},
        {"label26", "tabPage3",
         "For units built prior to 9/19 you must depress and hold the Calibration Switch untril reflashing "
         "is "
         "complete.\r\nFor later units, depress the switch while making the USB connection. Then you may "
         "release it."},
        {"linkLabel4", "tabPage5", "Get Adobe Acrobat Reader"},
        {"linkLabel3", "tabPage5", "q5 Analog/Digital Wiring Pinout"},
    };
    for (const Row& row : rows) {
        QWidget* w = widget<QWidget>(row.name);
        ASSERT_NE(w, nullptr);
        const QWidget* page = w;
        while (page != nullptr && !page->objectName().startsWith("tabPage"))
            page = page->parentWidget();
        ASSERT_NE(page, nullptr) << row.name;
        EXPECT_EQ(page->objectName(), row.page) << row.name;
        EXPECT_EQ(w->property("text").toString(), QString::fromUtf8(row.text)) << row.name;
    }
    EXPECT_EQ(widget<QWidget>("checkBox4")->parentWidget()->objectName(), "panel2");
    EXPECT_EQ(widget<QWidget>("button17")->parentWidget()->objectName(), "panel1");
}

TEST_F(Form1Construction, SlidersStartWithTheirRangesAndSteps) {
    struct Slider {
        const char* name;
        int min, max, value, small, large;
    };
    const Slider sliders[] = {
        {"trackBar1", 1, 8000, 6000, 10, 200}, {"trackBar2", 1, 500, 100, 1, 10},
        {"trackBar3", 1, 400, 200, 1, 10},     {"trackBar7", 1000, 10000, 4200, 100, 1000},
        {"trackBar4", 3, 8, 7, 1, 1},          {"trackBar5", 400, 1000, 900, 10, 100},
        {"trackBar6", 30, 100, 100, 1, 10},    {"trackBar8", 0, 1024, 1024, 1, 21},
        {"trackBar11", 0, 1024, 0, 1, 21},     {"trackBar10", 0, 1024, 1024, 1, 21},
        {"trackBar9", 0, 100, 50, 1, 10},
    };
    for (const Slider& s : sliders) {
        auto* slider = widget<QSlider>(s.name);
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(slider->minimum(), s.min) << s.name;
        EXPECT_EQ(slider->maximum(), s.max) << s.name;
        EXPECT_EQ(slider->value(), s.value) << s.name;
        EXPECT_EQ(slider->singleStep(), s.small) << s.name;
        EXPECT_EQ(slider->pageStep(), s.large) << s.name;
        EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks) << s.name;
        EXPECT_EQ(slider->focusPolicy(), Qt::ClickFocus) << s.name; // no tab stop
    }
}

// Sliders are no tab stops, but one the user clicked takes the arrow and page keys.
TEST_F(Form1Construction, AClickedSliderTakesTheKeysAndTabPassesSliders) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto* slider = widget<QSlider>("trackBar2"); // small step 1, large step 10
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(4, slider->height() / 2));
    ASSERT_EQ(QApplication::focusWidget(), slider);
    const int clicked = slider->value();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_EQ(slider->value(), clicked + 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp);
    EXPECT_EQ(slider->value(), clicked + 11);
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(qobject_cast<QSlider*>(QApplication::focusWidget()), nullptr) << i;
    }
}

TEST_F(Form1Construction, NumberBoxesBarsAndChecksStartAsBuilt) {
    auto* sense = widget<QSpinBox>("numericUpDown2");
    auto* speed = widget<QSpinBox>("numericUpDown1");
    ASSERT_TRUE(sense && speed);
    EXPECT_EQ(std::make_tuple(sense->minimum(), sense->maximum(), sense->value()), std::make_tuple(0, 6, 3));
    EXPECT_EQ(std::make_tuple(speed->minimum(), speed->maximum(), speed->value()), std::make_tuple(1, 10, 5));

    const std::pair<const char*, int> bars[] = {
        {"progressBar1", 5000}, {"progressBar2", 5000}, {"progressBar3", 10000}, {"progressBar4", 15}};
    for (const auto& [name, max] : bars) {
        auto* bar = widget<QProgressBar>(name);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->minimum(), 0) << name;
        EXPECT_EQ(bar->maximum(), max) << name;
    }

    EXPECT_TRUE(widget<QCheckBox>("checkBox9")->isChecked());
    for (const char* name : {"checkBox1", "checkBox2", "checkBox3", "checkBox4", "checkBox5", "checkBox6",
                             "checkBox7", "checkBox8"})
        EXPECT_FALSE(widget<QCheckBox>(name)->isChecked()) << name;
    EXPECT_FALSE(widget<QRadioButton>("radioButton1")->isChecked());
    EXPECT_FALSE(widget<QRadioButton>("radioButton2")->isChecked());
}

TEST_F(Form1Construction, ListsStartWithNothingSelected) {
    auto* type = widget<QComboBox>("comboBox1");
    auto* filter = widget<QComboBox>("comboBox2");
    ASSERT_TRUE(type && filter);

    EXPECT_EQ(type->currentIndex(), -1);
    EXPECT_EQ(type->currentText(), "V2 Digital/Analog(after 7/23)");
    const auto items = [](QComboBox* box) {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        return texts;
    };
    EXPECT_EQ(items(type), QStringList({"V2 Digital/Analog - after 7/23", "V1 Digital/Analog", "Analog"}));

    EXPECT_EQ(filter->currentIndex(), -1);
    EXPECT_EQ(filter->currentText(), "");
    EXPECT_EQ(items(filter),
              QStringList({"1", "2", "4", "8", "16", "32", "64", "128", "256", "512", "1024"}));
}

TEST_F(Form1Construction, HiddenControlsStayHiddenWhenTheirPageIsShown) {
    auto* tabs = widget<QTabWidget>("TabControl1");
    auto* receive = widget<TextBox>("textBox16");
    auto* write_id = widget<QPushButton>("button27");
    ASSERT_TRUE(tabs && receive && write_id);
    form->show();
    tabs->setCurrentIndex(1);
    EXPECT_TRUE(widget<QWidget>("button25")->isVisible());
    EXPECT_FALSE(receive->isVisible());
    tabs->setCurrentIndex(3);
    EXPECT_TRUE(widget<QWidget>("button20")->isVisible());
    EXPECT_FALSE(write_id->isVisible());
    form->hide();
}

TEST_F(Form1Construction, ToolTipsOfBothProvidersAreExact) {
    const std::pair<const char*, const char*> tips[] = {
        {"button1",
         "Reset below values to q5 defaults.  Use the \"Set\" buttons to load the desired values to "
         "the controller."},
        {"button13", "Diagnostic use only.  Selected failsafes will be disabled for 2 power cycles."},
        {"trackBar11",
         "Set trigger input mv value at which bypass will begin to close. \r\nBoth triggers must be "
         "met for bypass to close."},
        {"checkBox8",
         "Unchecked: 3A is the Primary Trigger, 2C is the Secondary Trigger\r\n\r\nChecked: 2C is "
         "the Primary Trigger, 3A is the Secondary Trigger"},
        {"button20",
         "Connect USB cable and click this button if you simply wish  to retrieve Device ID.\r\nID is "
         "retrieved automatically during a reflash procedure."},
        {"button4",
         "You may click this button again without reloading the file selection if reflash does not "
         "complete succesfully."},
        {"button15",
         "You may click this button again without reloading the file selection if reflash does not "
         "complete succesfully."},
    };
    for (const auto& [name, tip] : tips)
        EXPECT_EQ(widget<QWidget>(name)->toolTip(), QString::fromUtf8(tip)) << name;
    EXPECT_EQ(widget<QWidget>("button25")->toolTip(), "");
}

TEST_F(Form1Construction, ChartHasTwoSeriesWithOnePointAtZero) {
    auto* view = widget<QChartView>("chart1");
    ASSERT_NE(view, nullptr);
    const QList<QAbstractSeries*> series = view->chart()->series();
    ASSERT_EQ(series.size(), 2);
    EXPECT_EQ(series[0], form->seriesTPS1);
    EXPECT_EQ(series[1], form->seriesTPS2);
    EXPECT_EQ(series[0]->name() + series[1]->name(), "TPS1TPS2");
    EXPECT_THAT(form->seriesTPS1->points(), ElementsAre(QPointF(0, 0)));
    EXPECT_THAT(form->seriesTPS2->points(), ElementsAre(QPointF(0, 0)));
    EXPECT_EQ(form->seriesTPS1->pen().color(), QColor(Qt::black));
    EXPECT_EQ(form->seriesTPS2->pen().color(), QColor(Qt::magenta));

    EXPECT_FALSE(form->chartAxisX->isVisible());
    EXPECT_EQ(form->chartAxisX->max(), 500);
    EXPECT_EQ(form->chartAxisY->max(), 5000);
    EXPECT_EQ(form->chartAxisY->titleText(), "mV");
    EXPECT_EQ(form->chartAxisY2->max(), 5000);
}

TEST_F(Form1Construction, InstructionsAreSevenParagraphs) {
    auto* box = widget<TextBox>("textBox11");
    ASSERT_NE(box, nullptr);
    const QStringList paragraphs = box->text().split("\r\n\r\n");
    ASSERT_EQ(paragraphs.size(), 7);
    EXPECT_EQ(paragraphs[5], "6. Repeat steps 4 or 5 if either reflash does not complete to 100%\"");
    EXPECT_TRUE(paragraphs[6].startsWith("7. Disconnect the USB cable."));
}

// The text boxes read back exactly what was put in, whatever the line ends, and announce each change
// with the new text in place.
TEST(TextBox, KeepsLineEndsAsGivenAndShowsThemAsLines) {
    TextBox box;
    QStringList seen;
    QObject::connect(&box, &QPlainTextEdit::textChanged, [&] { seen << box.text(); });
    box.setText("Current Device Settings \r\n");
    box.AppendText("\r\n");
    box.AppendText("line one\r\n");
    EXPECT_EQ(box.text(), "Current Device Settings \r\n\r\nline one\r\n");
    EXPECT_EQ(box.toPlainText(), "Current Device Settings \n\nline one\n");

    box.setText("end\r");
    box.AppendText("\nnext");
    EXPECT_EQ(box.text(), "end\r\nnext");
    EXPECT_EQ(box.toPlainText(), "end\nnext");

    box.clear();
    EXPECT_EQ(box.text(), "");
    EXPECT_EQ(seen,
              QStringList({"Current Device Settings \r\n", "Current Device Settings \r\n\r\n",
                           "Current Device Settings \r\n\r\nline one\r\n", "end\r", "end\r\nnext", ""}));

    // Edits made outside its own calls are followed too.
    box.setText("a\r\nb");
    box.QPlainTextEdit::clear();
    EXPECT_EQ(box.text(), "");
    box.insertPlainText("typed");
    EXPECT_EQ(box.text(), "typed");
}

TEST(LinkLabel, ReportsClicksAndKeepsItsPlainText) {
    LinkLabel link;
    link.setText("q5 PC App");
    int clicks = 0;
    QObject::connect(&link, &LinkLabel::LinkClicked, [&] { ++clicks; });
    link.resize(200, 20);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&link, &press);
    QCoreApplication::sendEvent(&link, &release);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(link.text(), "q5 PC App");
    const QColor before = link.palette().color(QPalette::WindowText);
    link.setLinkVisited(true);
    EXPECT_TRUE(link.LinkVisited());
    EXPECT_NE(link.palette().color(QPalette::WindowText), before);
}

} // namespace
