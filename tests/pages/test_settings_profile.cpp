// Settings profiles through the Tuning page's buttons: a profile saved on one run sets the next run's
// controls so that every Set sends the simulated controller the same bytes, and a bad profile changes
// no control and says why.

#include "support/controller_session.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>

#include <functional>

using namespace DADOV;

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

class SettingsProfile : public testsupport::ControllerSession {
protected:
    void click(const char* name) { widget<QAbstractButton>(name)->click(); }
    void slide(const char* name, int value) { widget<QSlider>(name)->setValue(value); }

    // Controls away from their start positions on both pages.
    void set_up_a_unit() {
        const std::pair<const char*, int> sliders[] = {
            {"trackBar1", 4321}, {"trackBar2", 155},  {"trackBar3", 7},    {"trackBar4", 3},
            {"trackBar5", 640},  {"trackBar6", 45},   {"trackBar7", 9900}, {"trackBar8", 300},
            {"trackBar11", 200}, {"trackBar10", 250}, {"trackBar9", 70}};
        for (auto [name, value] : sliders)
            slide(name, value);
        widget<QSpinBox>("numericUpDown2")->setValue(5);
        click("checkBox1");
        click("checkBox4");
        click("checkBox8");
        auto* sizes = widget<QComboBox>("comboBox2");
        sizes->setCurrentIndex(sizes->findText("256"));
    }

    // Presses every Set button of both pages, each once the controller has had the values it asked
    // for; what the controller received.
    QByteArray press_every_set() {
        sim->clearReceived();
        const std::pair<const char*, int> sets[] = {{"button31", 1}, {"button12", 2},  {"button3", 5},
                                                    {"button14", 6}, {"button9", 7},   {"button10", 8},
                                                    {"button13", 9}, {"button28", 13}, {"button29", 14}};
        select_page(0);
        for (const auto& set : sets) {
            const char* button = set.first;
            const int values = set.second; // clang 14 cannot capture a structured binding
            if (QByteArray(button) == "button28")
                select_page(2);
            click(button);
            EXPECT_TRUE(QTest::qWaitFor([&] { return sim->valuesReceived().size() >= values; }, 5000))
                << button;
        }
        return sim->received();
    }

    // A new run of the tool on the same machine: a new window and a new controller.
    void restart() {
        form.reset();
        sim.reset();
        form = std::make_unique<Form1>(testsupport::device_setup_of(sysfs), dev.path());
        shell = &form->desktopShell();
        form->show();
        tabs = widget<QTabWidget>("TabControl1");
        sim = std::make_unique<SimController>(dev.path(), testsupport::controller_port);
        form->diagnostics().streamingPause = [](int) {};
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->serialPort1().isOpen(); }, 3000)) << "not attached";
    }

    // What the controls hold, as a profile says it (without its heading, which names the time).
    QString controls() {
        const QString path = folder.filePath("snapshot.q5profile");
        EXPECT_EQ(form->tuning().saveProfile(path), QString());
        const QByteArray text = contents(path);
        return QString::fromUtf8(text.mid(text.indexOf('\n')));
    }

    QTemporaryDir folder;
};

TEST_F(SettingsProfile, SavedOnOneRunLoadsOnTheNextAndEverySetSendsTheSameBytes) {
    set_up_a_unit();
    const QByteArray sent = press_every_set();
    const QStringList values = sim->valuesReceived();
    EXPECT_THAT(values, testing::Contains("fails=0x12"));

    // A name typed without the suffix gets it.
    shell->chooseSaveFile = [&](QWidget*, const QString&, const QString&, const QString&) {
        return folder.filePath("unit");
    };
    select_page(0);
    click("saveProfileButton");
    const QString saved = folder.filePath("unit.q5profile");
    EXPECT_EQ(box("textBox6"), "Profile saved: " + QDir::toNativeSeparators(saved) + "\r\n");
    // Readable: each position with what the controller is sent for it.
    const QString text = QString::fromUtf8(contents(saved));
    for (const char* line :
         {"\n[profile]\nformat=1\ntool_version=4.22\n", "\ncontrol_loop_hz=45 ; sends delay 55\n",
          "\nintegral_gain=155 ; sends I 15\n", "\n; sends failsafes 0x12\n",
          "\nprimary_out_of_range=on ; bit 0x02 of failsafes\n",
          "\nprimary_trigger=300 ; sends bypass_trigger 300 (1464 mv)\n",
          "\ninitial_bypass_position=70 ; sends boost_limit 30\n",
          "\nfilter_sample_size=256 ; sends samples 8\n"})
        EXPECT_THAT(text.toStdString(), testing::HasSubstr(line));

    restart();
    shell->chooseOpenFile = [&](QWidget*, const QString&, const QString&, const QString&) { return saved; };
    click("loadProfileButton");
    EXPECT_EQ(box("textBox6"),
              "Profile loaded: unit.q5profile. Click on Set buttons to send the values.\r\n");
    next_tick();
    EXPECT_EQ(sim->received(), QByteArray()) << "loading sends nothing";

    EXPECT_EQ(press_every_set(), sent);
    EXPECT_EQ(sim->valuesReceived(), values);
}

TEST_F(SettingsProfile, ABadProfileChangesNothingAndSaysWhichSettingAndWhy) {
    set_up_a_unit();
    const QString good = folder.filePath("good.q5profile");
    ASSERT_EQ(form->tuning().saveProfile(good), QString());
    const QByteArray text = contents(good);
    // The controls now differ from the profile in every setting, so that a half-applied profile shows.
    click("button1");
    click("checkBox1");
    click("checkBox6");
    widget<QSpinBox>("numericUpDown2")->setValue(2);
    const QString before = controls();

    const auto line_of = [&](const char* start) { return text.left(text.indexOf(start)).count('\n') + 1; };
    const auto replaced = [&](const char* from, const char* to) {
        return QByteArray(text).replace(from, to);
    };
    const struct {
        QByteArray profile;
        QString why;
    } cases[] = {
        {replaced("proportional_gain=4321", "proportional_gain=9000"),
         QString("line %1: proportional_gain 9000 is outside 1 to 8000").arg(line_of("proportional_gain="))},
        {replaced("initial_bypass_position=70", "initial_bypass_position=-1"),
         QString("line %1: initial_bypass_position -1 is outside 0 to 100").arg(line_of("initial_bypass_"))},
        {replaced("integral_gain=155", "integral_gain=1.5"),
         QString("line %1: integral_gain \"1.5\" is not a whole number").arg(line_of("integral_gain="))},
        {replaced("swap_inputs=on", "swap_inputs=yes"),
         QString("line %1: swap_inputs must be on or off, not \"yes\"").arg(line_of("swap_inputs="))},
        {replaced("filter_sample_size=256", "filter_sample_size=3"),
         QString(
             "line %1: filter_sample_size \"3\" is not one of 1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024")
             .arg(line_of("filter_sample_size="))},
        {replaced("current_limit=3", "; current_limit=3"), "current_limit is missing from [tuning]"},
        {replaced("[zidudo]", "[zIdudo]"), "primary_trigger is missing from [zidudo]"},
        {text + "blade_accel=500\n",
         QString("line %1: blade_accel is not a setting of a profile").arg(text.count('\n') + 1)},
        {text + "swap_inputs=off\n",
         QString("line %1: swap_inputs is given twice").arg(text.count('\n') + 1)},
        {replaced("format=1", "format=2"),
         QString("line %1: format 2 is not one this tool reads (1)").arg(line_of("format="))},
        {replaced("format=1", ""), "it is not a q5 settings profile (no format in [profile])"},
        {"time_s,pair,tps1_mv,tps2_mv,sum_mv,amps\n0.000,A,1000,2000,3000,\n",
         "it is not a q5 settings profile"},
        {"", "it is not a q5 settings profile"},
        {QByteArray(70 * 1024, ';'), "it is too large to be a q5 settings profile"},
    };
    const QString bad = folder.filePath("bad.q5profile");
    for (const auto& c : cases) {
        write(bad, c.profile);
        EXPECT_EQ(form->tuning().loadProfile(bad), "Profile not loaded: bad.q5profile: " + c.why);
        EXPECT_EQ(box("textBox6"), "Profile not loaded: bad.q5profile: " + c.why + "\r\n");
        EXPECT_EQ(controls(), before) << c.why.toStdString();
    }
    EXPECT_THAT(form->tuning().loadProfile(folder.filePath("missing.q5profile")).toStdString(),
                testing::StartsWith("Profile not loaded: missing.q5profile: it cannot be read: "));

    // A profile that cannot be written leaves no file and says so.
    const QString unwritable = folder.filePath("no folder/unit.q5profile");
    EXPECT_THAT(form->tuning().saveProfile(unwritable).toStdString(),
                testing::StartsWith(
                    ("Profile not saved: " + QDir::toNativeSeparators(unwritable) + ": ").toStdString()));
    EXPECT_FALSE(QFile::exists(unwritable));
    // The good profile still loads, also as a Windows editor saves it (a byte order mark, CR LF).
    write(bad, "\xEF\xBB\xBF" + QByteArray(text).replace("\n", "\r\n"));
    EXPECT_EQ(form->tuning().loadProfile(bad), QString());
    EXPECT_EQ(controls(), QString::fromUtf8(text.mid(text.indexOf('\n'))));
}

} // namespace
