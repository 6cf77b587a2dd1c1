// The zIdudo page through its real widgets: refresh, the boost-reduction message, the filter list, Help,
// and the value requests of a controller played on a pseudo-terminal.

#include "pages/page_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>

using namespace DADOV;

namespace {

const QString enabled_after_trigger =
    "Boost Reduction wil be enabled\r\n(if switch is in enable position)\r\n"
    "Minimum bypass opening set to ";
const QString enabled_after_position =
    "Boost Reduction will be enabled\r\n(if switch is in enable position)\r\n"
    "Minimum bypass opening set to ";
const QString disabled = "Boost Reduction Disabled\r\n";

class ZidudoPage : public pagetest::PageTest {
protected:
    QSlider* slider(const char* name) { return widget<QSlider>(name); }
    void click(const char* name) { widget<QAbstractButton>(name)->click(); }
    QColor message_colour() { return widget<QLabel>("label59")->palette().color(QPalette::WindowText); }
};

TEST_F(ZidudoPage, FirstShowingGivesTheReadoutsAndTheWireValues) {
    EXPECT_EQ(text("label37"), "0");
    next_tick();
    EXPECT_EQ(form->zidudo().bypass_trigger(), 0); // not refreshed while the page is not shown
    select_page(2);
    EXPECT_EQ(text("label37"), "5000 mv");
    EXPECT_EQ(text("label63"), "0 mv");
    EXPECT_EQ(text("label57"), "5000 mv");
    EXPECT_EQ(text("label48"), "50 %");
    EXPECT_EQ(form->zidudo().bypass_trigger(), 1024);
    EXPECT_EQ(form->zidudo().secondary_trigger(), 0);
    EXPECT_EQ(form->zidudo().bypass_ramp_end(), 1024);
    EXPECT_EQ(form->zidudo().boost_limit(), 50);

    slider("trackBar11")->setValue(205); // 1001.015 mV, truncated
    slider("trackBar9")->setValue(0);
    next_tick();
    EXPECT_EQ(text("label63"), "1001 mv");
    EXPECT_EQ(text("label48"), "100 %");
    EXPECT_EQ(form->zidudo().secondary_trigger(), 205);
    EXPECT_EQ(form->zidudo().boost_limit(), 100);
}

TEST_F(ZidudoPage, BoostReductionMessageFollowsTheSliderThatMoved) {
    select_page(2);
    EXPECT_EQ(text("label59"), "Boost Reduction Disabled"); // not worked out at start

    slider("trackBar10")->setValue(600);
    EXPECT_EQ(text("label59"), enabled_after_trigger + "50 %\n");
    EXPECT_EQ(message_colour(), QColor(Qt::yellow));

    slider("trackBar9")->setValue(70);
    EXPECT_EQ(text("label59"), enabled_after_position + "30%\n");
    EXPECT_EQ(message_colour(), QColor(Qt::yellow));

    // After a trigger change the percentage is the read-out's, which the next tick brings up to date.
    slider("trackBar8")->setValue(1000);
    EXPECT_EQ(text("label59"), enabled_after_trigger + "50 %\n");
    next_tick();
    slider("trackBar8")->setValue(1001);
    EXPECT_EQ(text("label59"), enabled_after_trigger + "30 %\n");

    slider("trackBar9")->setValue(100);
    EXPECT_EQ(text("label59"), disabled);
    EXPECT_EQ(message_colour(), QColor(Qt::white));
    slider("trackBar9")->setValue(10);
    slider("trackBar10")->setValue(1001); // ramp end equal to the trigger is not below it
    EXPECT_EQ(text("label59"), disabled);
    EXPECT_EQ(message_colour(), QColor(Qt::white));
}

TEST_F(ZidudoPage, FilterSizeIsSentAsItsListIndex) {
    auto* list = widget<QComboBox>("comboBox2");
    list->setCurrentIndex(8); // "256"
    EXPECT_EQ(form->zidudo().samples(), 8);
    list->setCurrentIndex(10);
    EXPECT_EQ(form->zidudo().samples(), 10);

    // A size typed over the list adds no entry and chooses nothing.
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), "3000");
    QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(list->count(), 11);
    EXPECT_EQ(form->zidudo().samples(), 10);
    list->setCurrentIndex(-1);
    EXPECT_EQ(form->zidudo().samples(), 10);
}

TEST_F(ZidudoPage, SetTriggersAnswersEachRequestFromThePage) {
    connect_controller();
    select_page(2);
    widget<QCheckBox>("checkBox8")->setChecked(true); // "Swap Inputs"
    slider("trackBar8")->setValue(512);
    slider("trackBar11")->setValue(300);
    slider("trackBar10")->setValue(200);
    widget<QComboBox>("comboBox2")->setCurrentIndex(8);
    next_tick();
    widget<TextBox>("textBox1")->setText("old listing\r\n");

    click("button28");
    ASSERT_EQ(received(3), "BYP");
    send("bypas");
    EXPECT_EQ(received(4), "2512");
    send("sectrig");
    EXPECT_EQ(received(3), "300");
    send("ramp");
    EXPECT_EQ(received(3), "200");
    send("filter");
    EXPECT_EQ(received(1), "8");
    send("Filter 256");
    EXPECT_EQ(nothing_more(), QByteArray());
    EXPECT_EQ(box("textBox1"), "Filter 256\r\n"); // each request empties the box

    // Unswapped, the primary trigger goes as it stands; the box is read when the request comes.
    slider("trackBar8")->setValue(300);
    next_tick();
    click("button28");
    ASSERT_EQ(received(3), "BYP");
    widget<QCheckBox>("checkBox8")->setChecked(false);
    send("bypas");
    EXPECT_EQ(received(3), "300");

    click("button29"); // "Set Position"
    ASSERT_EQ(received(3), "BOO");
    send("boost");
    EXPECT_EQ(received(2), "50");
    click("button32"); // "Check Settings"
    EXPECT_EQ(received(3), "SET");
}

TEST_F(ZidudoPage, HelpOpensTheDocumentFromTheDocumentsFolder) {
    QTemporaryDir documents;
    QTemporaryDir program;
    shell->documentsFolder = documents.path();
    shell->applicationFolder = program.path();
    select_page(2);

    click("button30");
    EXPECT_EQ(box("textBox1"), "File not found");
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(boxes.empty());

    // A folder where the document is expected is no document either.
    ASSERT_TRUE(QDir(documents.path()).mkdir("q5 Controller PC App.pdf"));
    widget<TextBox>("textBox1")->clear();
    click("button30");
    EXPECT_EQ(box("textBox1"), "File not found");
    ASSERT_TRUE(QDir(documents.path()).rmdir("q5 Controller PC App.pdf"));

    const QString document = documents.filePath("q5 Controller PC App.pdf");
    QFile file(document);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    widget<TextBox>("textBox1")->clear();
    click("button30");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(document));
    EXPECT_EQ(box("textBox1"), QString());

    // No viewer for it.
    open_succeeds = false;
    click("button30");
    EXPECT_EQ(box("textBox1"), "File not found");
    EXPECT_TRUE(boxes.empty());
}

} // namespace
