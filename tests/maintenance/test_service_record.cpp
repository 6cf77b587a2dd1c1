// The service record's file: whole rows appended, each synced, a header first, what CSV needs quoted; a
// last line cut short by a crash kept, reported and followed by a row of its own; a file that cannot be
// written says why.

#include "maintenance/service_record.h"
#include "support/scratch_dir.h"

#include <QDir>
#include <QFile>

#include <gmock/gmock.h>

using namespace DADOV;
using ::testing::ElementsAre;

namespace {

QString path_in(const testsupport::ScratchDir& dir, const char* name) {
    return QString::fromStdString(dir.file(name).generic_string());
}

ServiceEntry entry(const QString& action, const QString& result, const QString& detail = {}) {
    return {"2026-12-07T14:05:09+01:00",
            "10290387",
            "main",
            "V2 Digital/Analog(after 7/23)",
            action,
            "q5_mainV2.vmk",
            "7b89f035d6d4aa",
            result,
            detail,
            "4.22"};
}

bool operator==(const ServiceEntry& a, const ServiceEntry& b) {
    return a.time == b.time && a.unitId == b.unitId && a.mcu == b.mcu &&
           a.controllerType == b.controllerType && a.action == b.action && a.file == b.file &&
           a.sha256 == b.sha256 && a.result == b.result && a.detail == b.detail &&
           a.toolVersion == b.toolVersion;
}

} // namespace

TEST(ServiceRecord, AppendsWholeRowsAfterAHeaderQuotingWhatCsvNeeds) {
    testsupport::ScratchDir dir;
    const QString path = path_in(dir, "data/service-record.csv"); // its folder is made
    EXPECT_EQ(append_service_entry(path, entry("update", "completed")), "");
    EXPECT_EQ(
        append_service_entry(path, entry("update", "failed", "Device is not found, \"twice\"\r\nreally")),
        "");
    EXPECT_EQ(dir.read("data/service-record.csv"),
              "time,unit_id,mcu,controller_type,action,file,sha256,result,detail,tool_version\n"
              "2026-12-07T14:05:09+01:00,10290387,main,V2 Digital/Analog(after 7/23),update,q5_mainV2.vmk,"
              "7b89f035d6d4aa,completed,,4.22\n"
              "2026-12-07T14:05:09+01:00,10290387,main,V2 Digital/Analog(after 7/23),update,q5_mainV2.vmk,"
              "7b89f035d6d4aa,failed,\"Device is not found, \"\"twice\"\" really\",4.22\n");
    const ServiceRecord record = read_service_record(path);
    ASSERT_EQ(record.entries.size(), 2);
    EXPECT_TRUE(record.entries[0] == entry("update", "completed"));
    EXPECT_TRUE(record.entries[1] == entry("update", "failed", "Device is not found, \"twice\" really"));
    EXPECT_TRUE(record.problems.isEmpty());
    EXPECT_TRUE(read_service_record(path_in(dir, "none.csv")).entries.isEmpty());
}

TEST(ServiceRecord, ALineCutShortByACrashIsKeptReportedAndTheNextRowStartsOnItsOwnLine) {
    testsupport::ScratchDir dir;
    const QString path = path_in(dir, "record.csv");
    ASSERT_EQ(append_service_entry(path, entry("id_read", "completed")), "");
    const std::string whole = dir.read("record.csv");
    const std::string torn = "2026-12-07T15:00:00+01:00,1029";
    dir.write("record.csv", whole + torn);
    ServiceRecord record = read_service_record(path);
    EXPECT_EQ(record.entries.size(), 1);
    EXPECT_THAT(record.problems, ElementsAre("line 3 is cut short"));

    ASSERT_EQ(append_service_entry(path, entry("update", "completed")), "");
    EXPECT_EQ(dir.read("record.csv").substr(0, whole.size() + torn.size() + 1), whole + torn + "\n");
    record = read_service_record(path);
    ASSERT_EQ(record.entries.size(), 2);
    EXPECT_TRUE(record.entries[1] == entry("update", "completed"));
    EXPECT_THAT(record.problems, ElementsAre("line 3 is not a row of the record"));
}

TEST(ServiceRecord, AFileThatCannotBeWrittenSaysWhyAndChangesNothing) {
    testsupport::ScratchDir dir;
    ASSERT_TRUE(QDir().mkpath(path_in(dir, "record.csv"))); // a folder where the file would be
    const QString failure = append_service_entry(path_in(dir, "record.csv"), entry("update", "completed"));
    EXPECT_TRUE(
        failure.startsWith("cannot open " + QDir::toNativeSeparators(path_in(dir, "record.csv")) + ": "))
        << failure.toStdString();
}
