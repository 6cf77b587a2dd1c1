// Recording the Diagnostics readings and saving the chart, through the chart's right-click menu, with the
// window attached to the simulated controller. Files go to a scratch folder; the desktop shell stands in
// for the file dialog and records the message boxes.

#include "pages/chart_menu.h"
#include "pages/desktop_shell.h"
#include "pages/reading_recorder.h"
#include "support/controller_session.h"
#include "support/file_lines.h"
#include "widgets/strip_chart_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

#include <sys/resource.h>

using namespace DADOV;
using ::testing::ElementsAre;
using testsupport::ControllerSession;
using testsupport::lines_of;

namespace {

const QString header = QStringLiteral("time_s,pair,tps1_mv,tps2_mv,sum_mv,amps");

// While it lives, writing beyond `bytes` into any file fails with EFBIG: a full disk, as a writer sees it.
struct FileSizeLimit {
    explicit FileSizeLimit(qint64 bytes) {
        if (getrlimit(RLIMIT_FSIZE, &old) != 0)
            return;
        rlimit limited = old;
        limited.rlim_cur = static_cast<rlim_t>(bytes);
        set = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        if (set)
            setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, handler);
    }
    void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    bool set = false;
};

class Recording : public ControllerSession {
protected:
    void SetUp() override {
        ControllerSession::SetUp();
        // Rows reach the file within a few milliseconds rather than the half second of a real run.
        form->diagnostics().readingRecorder().syncInterval = std::chrono::milliseconds(5);
        shell->chooseSaveFile = [this](QWidget*, const QString& caption, const QString& offered,
                                       const QString&) {
            asked << caption;
            offers << offered;
            return chosen;
        };
    }

    QString file(const char* name) const { return scratch.filePath(QString::fromLatin1(name)); }

    // Opens the chart's menu and picks `entry` there if given, the file dialog answering `path`. The menu's
    // entries.
    QStringList chart_menu(const QString& entry = {}, const QString& path = {}) {
        chosen = path;
        QWidget* viewport = widget<StripChartView>("chart1");
        const QPoint at(40, 40);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QCoreApplication::sendEvent(viewport, &event);
        QMenu* menu = nullptr;
        if (!QTest::qWaitFor(
                [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; },
                2000)) {
            ADD_FAILURE() << "no menu";
            return {};
        }
        QStringList texts;
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                texts << action->text();
            if (action->text() == entry)
                action->trigger();
        }
        menu->close();
        EXPECT_TRUE(entry.isEmpty() || texts.contains(entry)) << "no entry " << entry.toStdString();
        return texts;
    }

    // Lines from the controller; returns once the window has handled the last.
    void feed(const QStringList& lines) {
        widget<TextBox>("textBox16")->clear();
        sim->sendLines(lines);
        ASSERT_TRUE(QTest::qWaitFor([&] { return box("textBox16") == lines.last(); }, 3000))
            << "not handled: " << lines.join(" ").toStdString() << "; last "
            << box("textBox16").toStdString();
    }

    // A pair button; returns once the controller's answer ("prim" or "sec") has been handled.
    void select_pair(const char* button, const QString& answer) {
        widget<TextBox>("textBox16")->clear();
        widget<QPushButton>(button)->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return box("textBox16") == answer; }, 3000)) << button;
    }

    // The rows without their time column, seconds to the millisecond that never go back; a row whose time
    // is not so is marked.
    static QStringList untimed(const QStringList& rows) {
        QStringList out;
        static const QRegularExpression stamp(QStringLiteral("^\\d+\\.\\d{3},"));
        double last = 0;
        for (const QString& row : rows) {
            const QRegularExpressionMatch m = stamp.match(row);
            const double time = row.section(QLatin1Char(','), 0, 0).toDouble();
            out << (m.hasMatch() && time >= last ? row.mid(m.capturedLength()) : "bad time: " + row);
            last = qMax(last, time);
        }
        return out;
    }

    QString title() { return widget<StripChartView>("chart1")->title(); }
    // The first message box shown, as "title: text"; empty when there was none.
    QString first_box() const { return boxes.empty() ? QString() : boxes[0].title + ": " + boxes[0].text; }

    QTemporaryDir scratch;
    QString chosen;
    QStringList asked;
    QStringList offers;
};

TEST_F(Recording, RowsFollowThePairAndTheCurrentAcrossUnplugAndReplug) {
    chart_menu(menu_record, file("readings.csv"));
    EXPECT_THAT(asked, ElementsAre("Record Readings to CSV"));
    EXPECT_TRUE(offers.value(0).endsWith(".csv"));
    EXPECT_EQ(title(), "Recording to readings.csv");
    EXPECT_THAT(chart_menu(), ElementsAre(menu_stop_recording, menu_save_image, menu_export_data));

    widget<QRadioButton>("radioButton1")->setChecked(true); // "V2 Unit"
    feed({"tpsone", "512", "tpstwo", "510"});
    // Rows reach the file while the recording runs.
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines_of(file("readings.csv")).size() == 2; }, 5000));
    feed({"amps", "2.5", "tpsone", "100", "tpstwo", "0", "1023"}); // a second TPS2 reading is another pair
    // Once a second the title gives the rows recorded and the size of the file on the disk.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return title() == QString("Recording to readings.csv: 3 rows, %1 bytes")
                                  .arg(QFileInfo(file("readings.csv")).size());
        },
        5000))
        << title().toStdString();

    // The controller is unplugged and comes back: the recording goes on.
    sysfs.removeDevice(QStringLiteral("1-1"));
    sim->hangUp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->serialPort1().isOpen(); }, 3000));
    sim = std::make_unique<SimController>(dev.path(), testsupport::controller_port);
    sysfs.addDevice(0x12BF, 0xF010, 0x0100, QStringLiteral("q5 Controller"), {testsupport::controller_port});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->serialPort1().isOpen(); }, 3000));
    feed({"amps", "1", "tpsone", "2", "tpstwo", "7"});

    select_pair("button18", "prim"); // pair A: the current of pair B is not carried over
    feed({"tpsone", "400", "tpstwo", "600"});
    select_pair("button22", "prim"); // TPS1 of both bodies: no sum
    feed({"tpsone", "400", "tpstwo", "600", "amps", "2", "tpstwo", "601"});

    chart_menu(menu_stop_recording);
    EXPECT_EQ(title(), "");
    EXPECT_THAT(chart_menu(), ElementsAre(menu_record, menu_save_image, menu_export_data));
    const QStringList lines = lines_of(file("readings.csv"));
    EXPECT_EQ(lines.value(0), header);
    EXPECT_THAT(untimed(lines.mid(1)),
                ElementsAre("B,2500,2490,4990,", "B,488,0,488,4.22", "B,488,4995,5483,4.22", "B,9,34,43,1.69",
                            "A,1953,2929,4882,", "AB,1953,2929,,", "AB,1953,2934,,3.38"));
    EXPECT_EQ(first_box(), "");
}

TEST_F(Recording, HoldsEveryPairTheControllerStreamed) {
    sim->setStreamRate(10000);
    sim->setReadings(512, 600);
    sim->setAmps("2.5", 10);
    chart_menu(menu_record, file("stream.csv"));
    select_page(1); // pair B, then streaming
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim->pairsSent() >= 4000; }, 30000)) << sim->pairsSent();
    // The controller is told to stop as the window would, but the parser is left on its pair, so that the
    // pairs on their way are all taken; a last line marks the end of what was sent.
    form->serialPort1().write(QStringLiteral("65"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sim->streaming(); }, 3000));
    feed({"end"});
    chart_menu(menu_stop_recording);

    const QStringList rows = untimed(lines_of(file("stream.csv")).mid(1));
    EXPECT_EQ(rows.size(), sim->pairsSent());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        // The first current comes after the tenth pair.
        const QStringList amps = i < 10 ? QStringList{""} : QStringList{"4.22", "15.43"};
        if (!rows[i].startsWith("B,2500,2929,5429,") || !amps.contains(rows[i].section(',', 4))) {
            ADD_FAILURE() << "row " << i << ": " << rows[i].toStdString();
            break;
        }
    }
}

TEST_F(Recording, AFileThatCannotBeWrittenIsNamedWithTheReason) {
    const struct {
        QString path;
        QString reason;
    } cases[] = {
        {file("missing/readings.csv"), "No such file or directory"},
        {QStringLiteral("/dev/full"), "No space left on device"},
    };
    for (const auto& c : cases) {
        boxes.clear();
        chart_menu(menu_record, c.path);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 2000)) << c.path.toStdString();
        EXPECT_EQ(first_box(), "Record Readings: Cannot record to " + c.path + ": " + c.reason + ".");
        EXPECT_FALSE(form->diagnostics().readingRecorder().recording());
        EXPECT_EQ(title(), "");
    }
}

// A file size limit stands for a full disk: writes beyond it fail.
TEST_F(Recording, AFailedWriteStopsTheRecordingAndKeepsEveryWholeRow) {
    chart_menu(menu_record, file("full.csv"));
    feed({"tpsone", "512", "tpstwo", "510", "tpstwo", "511"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines_of(file("full.csv")).size() == 3; }, 5000));
    const QStringList before = lines_of(file("full.csv"));

    const FileSizeLimit limit(QFileInfo(file("full.csv")).size() + 40);
    ASSERT_TRUE(limit.set);
    feed({"tpstwo", "100", "tpstwo", "101", "tpstwo", "102", "tpstwo", "103", "tpstwo", "104"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 5000));
    EXPECT_EQ(first_box(), "Recording Stopped: Recording to " + file("full.csv") +
                               " stopped: File too large. The rows recorded until then are kept.");
    EXPECT_FALSE(form->diagnostics().readingRecorder().recording());
    EXPECT_EQ(title(), "");
    const QStringList after = lines_of(file("full.csv"));
    EXPECT_EQ(after.mid(0, before.size()), before);
    EXPECT_LT(after.size(), before.size() + 5);
    for (const QString& row : untimed(after.mid(before.size())))
        EXPECT_TRUE(row == "B,2500,488,2988," || row == "B,2500,493,2993,") << row.toStdString();
}

TEST_F(Recording, AFileDeletedWhileRecordingIsWrittenAgain) {
    chart_menu(menu_record, file("gone.csv"));
    feed({"tpsone", "512", "tpstwo", "510"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines_of(file("gone.csv")).size() == 2; }, 5000));
    feed({"tpstwo", "511"});
    ASSERT_TRUE(QFile::remove(file("gone.csv")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 5000));
    EXPECT_EQ(first_box(), "Recording Stopped: Recording to " + file("gone.csv") +
                               " stopped: the file was deleted, and it has been written again. The rows "
                               "recorded until then are kept.");
    EXPECT_FALSE(form->diagnostics().readingRecorder().recording());
    EXPECT_EQ(lines_of(file("gone.csv")).value(0), header);
    EXPECT_THAT(untimed(lines_of(file("gone.csv")).mid(1)),
                ElementsAre("B,2500,2490,4990,", "B,2500,2495,4995,"));
}

TEST_F(Recording, ChartDataAndPictureAreWrittenWholeOrNotAtAll) {
    widget<QPushButton>("button5")->click(); // "Reset Chart": the point at 0 of the start goes
    feed({"tpsone", "512", "tpstwo", "510", "tpsone", "0", "tpstwo", "205"}); // a zero is not charted
    chart_menu(menu_export_data, file("chart.csv"));
    EXPECT_THAT(asked, ElementsAre("Export Chart Data"));
    // Each row with the time of its readings since the capture's start, and the pair charted (B).
    const QStringList rows = lines_of(file("chart.csv"));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], "sample,tps1_mv,tps2_mv,time_s,pair");
    const QRegularExpression row("^(\\d+),(\\d*),(\\d+),(\\d+\\.\\d{3}),B$");
    EXPECT_EQ(row.match(rows[1]).capturedTexts().mid(1, 3), QStringList({"0", "2500", "2490"}))
        << rows[1].toStdString();
    EXPECT_EQ(row.match(rows[2]).capturedTexts().mid(1, 3), QStringList({"1", "", "1000"}))
        << rows[2].toStdString();
    EXPECT_LE(row.match(rows[1]).captured(4).toDouble(), row.match(rows[2]).captured(4).toDouble());

    // The picture names the pair in its title; the chart keeps its own.
    chart_menu(menu_save_image, file("chart.png"));
    const QImage picture(file("chart.png"), "PNG");
    EXPECT_EQ(picture.size(), widget<StripChartView>("chart1")->size());
    EXPECT_EQ(title(), "");
    widget<QPushButton>("button5")->click(); // empty, so that only the pair sets the two pictures apart
    chart_menu(menu_save_image, file("chart-b.png"));
    select_pair("button18", "prim"); // pair A; emptied again
    chart_menu(menu_save_image, file("chart-a.png"));
    const QImage pair_a(file("chart-a.png"), "PNG");
    const QImage pair_b(file("chart-b.png"), "PNG");
    const auto band = [](const QImage& image, int from, int to) {
        return image.copy(0, from, image.width(), to - from);
    };
    EXPECT_NE(band(pair_a, 0, 40), band(pair_b, 0, 40));
    EXPECT_EQ(band(pair_a, 40, pair_a.height()), band(pair_b, 40, pair_b.height()));
    ASSERT_TRUE(QFile::remove(file("chart-a.png")) && QFile::remove(file("chart-b.png")));

    // A failing write leaves the file as it was, and says why.
    QFile old(file("chart.png"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old\n") == 4 && old.flush());
    const FileSizeLimit limit(100);
    ASSERT_TRUE(limit.set);
    chart_menu(menu_save_image, file("chart.png"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 2000));
    EXPECT_EQ(first_box(), "Save Chart Image: Cannot write " + file("chart.png") + ": File too large.");
    EXPECT_THAT(lines_of(file("chart.png")), ElementsAre("old"));
    EXPECT_EQ(QDir(scratch.path()).entryList(QDir::Files), QStringList({"chart.csv", "chart.png"}));
}

} // namespace
