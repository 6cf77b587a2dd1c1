// The window program's command line: what it runs with, what it answers at once, the program's exit
// status without a display, and its manual page against its help text.

#include "app/command_line.h"
#include "support/man_page.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gmock/gmock.h>

#include <ostream>
#include <string>
#include <vector>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

using namespace DADOV;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

CommandLine read(QStringList arguments) {
    arguments.prepend(QStringLiteral("/usr/bin/q5tool"));
    return read_command_line(arguments);
}

const QString usage_start = QStringLiteral("Usage: q5tool [options]\n");

TEST(CommandLine, OptionsToRunWith) {
    const CommandLine plain = read({});
    EXPECT_TRUE(plain.run);
    EXPECT_FALSE(plain.options.simulate);
    EXPECT_EQ(plain.options.recordFile, QString());
    EXPECT_EQ(plain.output + plain.errors, QString());

    // A relative file is taken from the folder the tool was started in.
    const CommandLine both = read({"--record", "run.csv", "--simulate"});
    EXPECT_TRUE(both.run);
    EXPECT_TRUE(both.options.simulate);
    EXPECT_EQ(both.options.recordFile, QDir::current().absoluteFilePath("run.csv"));

    const CommandLine assigned = read({"--record=/var/tmp/a b.csv"});
    EXPECT_TRUE(assigned.run);
    EXPECT_EQ(assigned.options.recordFile, "/var/tmp/a b.csv");

    const CommandLine profile = read({"--profile", "unit.q5profile"});
    EXPECT_TRUE(profile.run);
    EXPECT_EQ(profile.options.profileFile, QDir::current().absoluteFilePath("unit.q5profile"));
}

// Help and version on standard output; a command line that cannot be read gives its reason and the usage
// on standard error, with status 2.
TEST(CommandLine, AnsweredAtOnce) {
    const QString help = read({"--help"}).output;
    EXPECT_THAT(help.toStdString(), StartsWith(usage_start.toStdString()));
    const struct {
        QStringList arguments;
        int status;
        QString output;
        QString reason;
    } cases[] = {
        {{"-h", "--simulate"}, 0, help, ""},
        {{"--version"}, 0, "q5tool 4.22\n", ""},
        {{"-v"}, 0, "q5tool 4.22\n", ""},
        {{"--bogus"}, 2, "", "Unknown option 'bogus'."},
        {{"-simulate"}, 2, "", "Unknown options: s, i, m, u, l, a, t, e."},
        {{"--record"}, 2, "", "Missing value after '--record'."},
        {{"--record="}, 2, "", "--record needs a file name."},
        {{"--record", "a.csv", "--record", "b.csv"}, 2, "", "--record given more than once."},
        {{"--profile="}, 2, "", "--profile needs a file name."},
        {{"--profile", "a", "--profile", "b"}, 2, "", "--profile given more than once."},
        {{"--simulate", "run.csv"}, 2, "", "Unexpected argument: run.csv."},
        {{"-v", "extra"}, 2, "", "Unexpected argument: extra."},
        {{"extra", "--help"}, 2, "", "Unexpected argument: extra."},
    };
    for (const auto& c : cases) {
        const CommandLine line = read(c.arguments);
        const std::string what = c.arguments.join(' ').toStdString();
        EXPECT_FALSE(line.run) << what;
        EXPECT_EQ(line.status, c.status) << what;
        EXPECT_EQ(line.output, c.output) << what;
        EXPECT_EQ(line.errors, c.reason.isEmpty() ? QString() : "q5tool: " + c.reason + "\n\n" + help)
            << what;
    }
}

#ifdef Q5TOOL_PROGRAM
// The program itself, with no window system named: help, version and errors need none, and the
// toolkit's own options still reach the toolkit when one is named on the command line. (The installed
// tree's check runs --version with no window system.)
TEST(CommandLine, ProgramAnswersWithoutADisplay) {
    QTemporaryDir data;
    ASSERT_TRUE(QDir().mkpath(data.filePath("q5tool")));
    const QString record_path = data.filePath("q5tool/service-record.csv");
    const QString record_text =
        "time,unit_id,mcu,controller_type,action,file,sha256,result,detail,tool_version\n"
        "2026-12-07T14:05:09+01:00,10290387,main,V2,id_read,,,completed,,4.22\n"
        "2026-12-07T14:06";
    {
        QFile record(record_path);
        ASSERT_TRUE(record.open(QIODevice::WriteOnly));
        record.write(record_text.toUtf8());
    }
    const struct {
        QStringList arguments;
        int status;
        QString out;
        QString errors;
    } cases[] = {
        {{"--bogus"}, 2, "", "q5tool: Unknown option 'bogus'.\n\n" + usage_start},
        {{"-platform", "offscreen", "--version"}, 0, "q5tool 4.22\n", ""},
        // A profile that cannot be loaded ends the tool before its window opens.
        {{"-platform", "offscreen", "--profile", record_path},
         2,
         "",
         "q5tool: Profile not loaded: service-record.csv: it is not a q5 settings profile\n"},
        // The service record of the user's data folder, which this test's run gives ($XDG_DATA_HOME).
        {{"--service-record"},
         0,
         record_path + "\n" + record_text + "\n",
         "q5tool: service record: line 3 is cut short\n"},
    };
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(variable);
    environment.insert("XDG_DATA_HOME", data.path());
    for (const auto& c : cases) {
        const std::string what = c.arguments.join(' ').toStdString();
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(Q5TOOL_PROGRAM, c.arguments);
        ASSERT_TRUE(program.waitForFinished(30000)) << what;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << what;
        EXPECT_EQ(program.exitCode(), c.status) << what;
        EXPECT_EQ(QString::fromLocal8Bit(program.readAllStandardOutput()), c.out) << what;
        // The toolkit may add notes of its own around the answer.
        EXPECT_THAT(QString::fromLocal8Bit(program.readAllStandardError()).toStdString(),
                    HasSubstr(c.errors.toStdString()))
            << what;
    }
}

#endif

// The manual page has an entry for every option of the help, in order, with the same names, value and
// text.
TEST(CommandLine, ManualPageListsEveryOptionOfTheHelp) {
    const std::vector<testsupport::ManEntry> entries =
        testsupport::man_entries(Q5_SOURCE_DIR "/packaging/linux/q5tool.1", "OPTIONS");
    const QStringList help = read({"--help"}).output.split('\n');
    std::vector<testsupport::ManEntry> expected;
    bool options = false;
    for (const QString& line : help) {
        if (line == "Options:") {
            options = true;
        } else if (options && line.startsWith("  -")) {
            // "  --record <FILE>  Record ...": the names and value, two blanks, the description.
            const qsizetype gap = line.indexOf("  ", 2);
            QString tag = line.mid(2, gap - 2);
            tag.remove('<').remove('>');
            expected.push_back({tag.toStdString(), line.mid(gap).trimmed().toStdString()});
        } else if (options && line.startsWith("   ") && !expected.empty()) {
            expected.back().text += " " + line.trimmed().toStdString();
        }
    }
    ASSERT_EQ(expected.size(), 6u);
    ASSERT_EQ(entries.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(entries[i].tag, expected[i].tag);
        EXPECT_THAT(entries[i].text, StartsWith(expected[i].text)) << expected[i].tag;
    }
}

} // namespace
