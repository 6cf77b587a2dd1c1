// The window as built: pages, controls and their start values, read from the real widgets by object
// name. The event loop is not run, so no tick has touched anything.

#include "app/form1.h"
#include "link/device_setup.h"
#include "pages/strip_chart.h"
#include "support/fake_sysfs.h"
#include "support/window_fixture.h"
#include "widgets/link_label.h"
#include "widgets/strip_chart_view.h"
#include "widgets/text_box.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <gmock/gmock.h>

#include <memory>

using namespace DADOV;
using ::testing::ElementsAre;

namespace {

class Form1Construction : public testsupport::WindowTest {
protected:
    Form1Construction() { form = std::make_unique<Form1>(testsupport::device_setup_of(no_devices)); }

    testsupport::FakeSysfs no_devices;
};

TEST_F(Form1Construction, WindowIsFixedWithItsTitleAndFivePagesInIndexOrder) {
    EXPECT_EQ(form->windowTitle(), "VMK q5  Controller 4.22");
    EXPECT_EQ(form->minimumSize(), form->maximumSize());

    auto* tabs = widget<QTabWidget>("TabControl1");
    ASSERT_NE(tabs, nullptr);
    QStringList pages;
    for (int i = 0; i < tabs->count(); ++i)
        pages << tabs->widget(i)->objectName() + ": " + tabs->tabText(i);
    EXPECT_EQ(pages, QStringList({"tabPage1: Controller Tuning", "tabPage2: Diagnostics", "tabPage4: zIdudo",
                                  "tabPage3: q5 Firmware Update", "tabPage5: Documentation"}));
    EXPECT_EQ(tabs->currentIndex(), 0);
}

// Every control of the form says what it is to a screen reader, each in its own words.
TEST_F(Form1Construction, EveryControlHasItsOwnAccessibleName) {
    const QRegularExpression form_control(QStringLiteral(
        "^(label|button|textBox|trackBar|checkBox|radioButton|progressBar|numericUpDown|comboBox|linkLabel|"
        "panel|tabPage|chart|COMStatus_lbl|TabControl)[0-9]*$"));
    QSet<QString> names;
    int controls = 0;
    for (const QWidget* w : form->findChildren<QWidget*>()) {
        if (!form_control.match(w->objectName()).hasMatch())
            continue;
        ++controls;
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        EXPECT_FALSE(names.contains(w->accessibleName())) << w->accessibleName().toStdString();
        names.insert(w->accessibleName());
    }
    EXPECT_GT(controls, 140);
    EXPECT_EQ(widget<QLabel>("label45")->accessibleName(), "Motor current");
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

TEST_F(Form1Construction, ListsStartWithNothingSelected) {
    auto* type = widget<QComboBox>("comboBox1");
    auto* filter = widget<QComboBox>("comboBox2");
    ASSERT_TRUE(type && filter);

    EXPECT_EQ(type->currentIndex(), -1);
    EXPECT_EQ(type->currentText(), "V2 Digital/Analog(after 7/23)");
    EXPECT_EQ(type->count(), 3);
    EXPECT_EQ(filter->currentIndex(), -1);
    EXPECT_EQ(filter->currentText(), "");
    EXPECT_EQ(filter->count(), 11);
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
}

// The texts the window sets itself, beside those of the form: the blank value displays, and the texts of
// more than one line with their line ends.
TEST_F(Form1Construction, TextsSetByTheWindowAreExact) {
    const std::pair<const char*, const char*> texts[] = {
        {"label16", "    "},
        {"label26",
         "For units built prior to 9/19 you must depress and hold the Calibration Switch untril reflashing "
         "is complete.\r\nFor later units, depress the switch while making the USB connection. Then you "
         "may release it."},
    };
    for (const auto& [name, text] : texts)
        EXPECT_EQ(widget<QWidget>(name)->property("text").toString(), QString::fromUtf8(text)) << name;
    const std::pair<const char*, const char*> tips[] = {
        {"trackBar11",
         "Set trigger input mv value at which bypass will begin to close. \r\nBoth triggers must be "
         "met for bypass to close."},
        {"checkBox8",
         "Unchecked: 3A is the Primary Trigger, 2C is the Secondary Trigger\r\n\r\nChecked: 2C is "
         "the Primary Trigger, 3A is the Secondary Trigger"},
        {"button20",
         "Connect USB cable and click this button if you simply wish  to retrieve Device ID.\r\nID is "
         "retrieved automatically during a reflash procedure."},
    };
    for (const auto& [name, tip] : tips)
        EXPECT_EQ(widget<QWidget>(name)->toolTip(), QString::fromUtf8(tip)) << name;
}

// The chart's two series give its legend; the lines start with one point at zero each.
TEST_F(Form1Construction, ChartHasTwoSeriesWithOnePointAtZero) {
    auto* view = widget<StripChartView>("chart1");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->seriesNames(), QStringList({"TPS1", "TPS2"}));
    EXPECT_EQ(view->seriesColour(0), QColor(Qt::black));
    EXPECT_EQ(view->seriesColour(1), QColor(Qt::magenta));
    for (const auto series : {StripChart::TPS1, StripChart::TPS2})
        EXPECT_THAT(form->diagnostics().stripChart().drawnPoints(series), ElementsAre(0));
    EXPECT_EQ(view->yTitle(), "mV");
    EXPECT_EQ(view->yMin(), 0);
    EXPECT_EQ(view->yMax(), 5000);
    EXPECT_EQ(view->xMax(), 500);
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

// A box keeps the last lines only, on screen as in its text, and announces each append once; a hidden box
// shows the same lines when it is shown.
TEST(TextBox, DropsItsOldestLinesFromTextAndScreenAlike) {
    TextBox box;
    int changes = 0;
    QObject::connect(&box, &QPlainTextEdit::textChanged, [&] { ++changes; });
    for (int i = 1; i <= DADOV::TextHistory::kMaxLines + 3; ++i)
        box.AppendText(QStringLiteral("line ") + QString::number(i) + QStringLiteral("\r\n"));
    EXPECT_EQ(changes, DADOV::TextHistory::kMaxLines + 3);
    EXPECT_TRUE(box.text().startsWith(QStringLiteral("line 4\r\nline 5\r\n")));
    EXPECT_EQ(box.document()->blockCount(), DADOV::TextHistory::kMaxLines + 1);
    EXPECT_EQ(box.toPlainText(), QString(box.text()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_FALSE(box.isUndoRedoEnabled());

    TextBox hidden;
    hidden.hide();
    hidden.AppendText(QStringLiteral("old\r\n"));
    hidden.AppendText(QString(DADOV::TextHistory::kMaxChars, QLatin1Char('z')) + QStringLiteral("\r\n"));
    hidden.AppendText(QStringLiteral("new\r"));
    EXPECT_EQ(hidden.text(), QStringLiteral("new\r"));
    hidden.show();
    EXPECT_EQ(hidden.toPlainText(), QStringLiteral("new\n"));
}

// A link shows in another colour once visited.
TEST(LinkLabel, VisitedChangesItsColour) {
    LinkLabel link;
    const QColor before = link.palette().color(QPalette::WindowText);
    link.setLinkVisited(true);
    EXPECT_TRUE(link.LinkVisited());
    EXPECT_NE(link.palette().color(QPalette::WindowText), before);
}

} // namespace
