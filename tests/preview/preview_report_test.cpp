#include "preview/preview_report.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/hotfix_key.h"
#include "app/run_cleanup.h"
#include "folders/folder_fixture.h"
#include "folders/reclaimable.h"
#include "platform/fake_platform.h"
#include "sample_machine.h"

namespace {

constexpr std::uint64_t kKB = 1024;
constexpr std::uint64_t kMB = 1024 * kKB;
const std::string kWin = sample::kWindows;
const std::string kTemp = sample::kTemp;

std::string Win(const std::string& name) { return kWin + "\\" + name; }
std::string Temp(const std::string& name) { return kTemp + "\\" + name; }
std::string UninstallTarget(const std::string& key) { return "HKLM\\" + key; }

class PreviewReportTest : public testing::Test {
 protected:
  PreviewReportTest() { sample::Build(fake_); }

  PreviewReport Preview() {
    fake_.ClearLog();
    PreviewReport report = BuildPreviewReport(fake_);
    EXPECT_TRUE(fake_.Changes().empty()) << ChangeLinesText() << fake_.Dump();
    EXPECT_EQ(fake_.OpenFindHandles(), 0u);
    EXPECT_EQ(fake_.OpenRegKeys(), 0u);
    return report;
  }

  std::string ChangeLinesText() const {
    std::string text;
    for (const std::string& line : ChangeLines(fake_)) text += line + "\n";
    return text;
  }

  const PreviewItem* Item(const PreviewReport& report, const std::string& path) const {
    for (const PreviewItem& item : report.items) {
      if (item.path == path) return &item;
    }
    return nullptr;
  }

  FakePlatform fake_;
};

// What the report says a cleaning would act on, one line per deletion, in order.
std::vector<std::string> PlannedDeletions(const PreviewReport& report) {
  std::vector<std::string> planned;
  for (const PreviewItem& item : report.items) {
    if (item.action == PreviewAction::kKeep) continue;
    planned.push_back(item.path);
    if (!item.uninstallKey.empty() && item.uninstall != UninstallState::kUnavailable) {
      planned.push_back(UninstallTarget(item.uninstallKey));
    }
  }
  return planned;
}

// What the cleaning pass did, each changing call traced to the item whose
// path holds its target (or to its key), repeats in a row merged; a call
// outside every item shows as such.
std::vector<std::string> ActualDeletions(const FakePlatform& fake, const PreviewReport& report) {
  std::vector<std::string> actual;
  for (const FakePlatform::CallRecord& call : fake.Changes()) {
    std::string traced = "outside the preview: " + DescribeCall(call);
    if (call.call == "RegDeleteKeyA") {
      traced = call.target;
    } else {
      for (const PreviewItem& item : report.items) {
        if (IsAtOrBelow(call.target, item.path)) traced = item.path;
      }
    }
    if (actual.empty() || actual.back() != traced) actual.push_back(traced);
  }
  return actual;
}

TEST_F(PreviewReportTest, ListsWhatTheCleaningPassThenDeletesInItsOrder) {
  const PreviewReport report = Preview();
  RunCleanup(fake_, 0);
  const std::vector<std::string> planned = PlannedDeletions(report);
  EXPECT_EQ(ActualDeletions(fake_, report), planned) << ChangeLinesText();

  EXPECT_EQ(planned, (std::vector<std::string>{
                         Win("setup01.tmp"),
                         Win("locked.tmp"),
                         Win("a,b.tmp"),
                         Temp("install.log"),
                         Temp("~DF3A21.tmp"),
                         Temp("cache"),
                         Temp("empty folder"),
                         Temp(sample::kOddName),
                         Temp("linked"),
                         Win("$NtUninstallKB123456$"),
                         UninstallTarget(sample::UninstallKey("KB123456")),
                         Win("$NtUninstallKB654321$"),
                         UninstallTarget(sample::UninstallKey("KB654321")),
                         Win("$hf_mig$"),
                         Win("$NtUninstallKB777$"),
                         UninstallTarget(sample::UninstallKey("KB777")),
                     }));
  for (const PreviewItem& item : report.items) {
    EXPECT_EQ(fake_.Exists(item.path), item.action == PreviewAction::kKeep) << item.path;
  }
  EXPECT_TRUE(fake_.Exists(Temp(sample::kKeptGuid) + "\\session.dat"));
  EXPECT_TRUE(fake_.Exists("C:\\Data\\Linked\\precious.doc"));
  EXPECT_TRUE(fake_.Exists("C:\\Data\\Hotfix\\kept.dll"));
}

TEST_F(PreviewReportTest, TermsAreTheEstimatesAndAddUpToIt) {
  const PreviewReport report = Preview();
  const PreviewEstimate& estimate = report.estimate;
  EXPECT_EQ(estimate.tmpFileBytes, 3 * kMB + 700 * kKB + 5 * kKB);
  // The kept GUID folder and the link are left out.
  EXPECT_EQ(estimate.tempFolderBytes,
            120 * kKB + 6 * kMB + 2 * kMB + 64 * kKB + 1 * kMB + 10 * kKB);
  EXPECT_EQ(estimate.hotfixFolderBytes, 6 * kMB + 2 * kMB + 3 * kMB);
  ASSERT_EQ(estimate.hotfixFolders.size(), 4u);
  EXPECT_EQ(estimate.hotfixFolders[0].path, Win("$NtUninstallKB123456$"));
  EXPECT_EQ(estimate.hotfixFolders[0].bytes, 6 * kMB);  // its GUID folder counts
  EXPECT_EQ(estimate.hotfixFolders[3].bytes, 0u);       // a link counts nothing

  EXPECT_EQ(estimate.kilobytes, KilobytesOf(estimate.tmpFileBytes + estimate.tempFolderBytes +
                                            estimate.hotfixFolderBytes));
  EXPECT_EQ(estimate.kilobytes, GetReclaimableKB(fake_));

  // Each term is its items' sum, so the listing and the estimate agree.
  std::uint64_t sums[3] = {0, 0, 0};
  for (const PreviewItem& item : report.items) sums[static_cast<int>(item.step)] += item.bytes;
  EXPECT_EQ(sums[0], estimate.tmpFileBytes);
  EXPECT_EQ(sums[1], estimate.tempFolderBytes);
  EXPECT_EQ(sums[2], estimate.hotfixFolderBytes);

  EXPECT_EQ(estimate.windowsDirectory, kWin);
  EXPECT_EQ(estimate.tempFolder, kTemp + "\\");
}

TEST_F(PreviewReportTest, GuidFoldersAtTheTopOfTheTemporaryFolderAreShownKept) {
  const PreviewReport report = Preview();
  const PreviewItem* kept = Item(report, Temp(sample::kKeptGuid));
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->action, PreviewAction::kKeep);
  EXPECT_EQ(kept->kind, PreviewEntryKind::kFolder);
  EXPECT_EQ(kept->bytes, 0u);
  // Deeper ones go with their folder, which is the item.
  EXPECT_EQ(Item(report, Temp("cache\\{0A1B2C3D-1111-2222-3333-444455556666}")), nullptr);
  for (const PreviewItem& item : report.items) {
    if (item.path != kept->path) {
      EXPECT_EQ(item.action, PreviewAction::kDelete) << item.path;
    }
  }
}

TEST_F(PreviewReportTest, UninstallEntriesAreShownAsTheyStand) {
  const PreviewReport report = Preview();
  struct Expected {
    const char* folder;
    std::string key;
    UninstallState state;
  };
  const Expected expected[] = {
      {"$NtUninstallKB123456$", sample::UninstallKey("KB123456"), UninstallState::kPresent},
      {"$NtUninstallKB654321$", sample::UninstallKey("KB654321"), UninstallState::kAbsent},
      {"$hf_mig$", "", UninstallState::kNone},
      {"$NtUninstallKB777$", sample::UninstallKey("KB777"), UninstallState::kPresent},
  };
  for (const Expected& e : expected) {
    const PreviewItem* item = Item(report, Win(e.folder));
    ASSERT_NE(item, nullptr) << e.folder;
    EXPECT_EQ(item->uninstallKey, e.key) << e.folder;
    EXPECT_EQ(item->uninstall, e.state) << e.folder;
  }
}

TEST_F(PreviewReportTest, UninstallEntriesThatCannotBeOpenedAreNotGuessed) {
  fake_.FailCall("RegOpenKeyA", ERROR_ACCESS_DENIED,
                 UninstallTarget(sample::UninstallKey("KB123456")));
  PreviewReport report = Preview();
  EXPECT_EQ(Item(report, Win("$NtUninstallKB123456$"))->uninstall, UninstallState::kUnknown);
  EXPECT_EQ(Item(report, Win("$NtUninstallKB654321$"))->uninstall, UninstallState::kAbsent);

  fake_.FailCall("RegOpenKeyA", ERROR_ACCESS_DENIED, UninstallTarget(kUninstallKey));
  report = Preview();
  for (const char* folder : {"$NtUninstallKB123456$", "$NtUninstallKB654321$"}) {
    EXPECT_EQ(Item(report, Win(folder))->uninstall, UninstallState::kUnavailable) << folder;
  }
  // ...and then the pass deletes no entry, as the report says.
  RunCleanup(fake_, 0);
  EXPECT_EQ(ActualDeletions(fake_, report), PlannedDeletions(report));
}

TEST_F(PreviewReportTest, GateIsReadFromTheKeyAsItStands) {
  PreviewReport report = Preview();
  EXPECT_EQ(report.gate.today, "2026/12/6");
  EXPECT_TRUE(report.gate.settings.keyExists);
  EXPECT_TRUE(report.gate.startToday.run);
  EXPECT_EQ(report.estimate.limitMB, 20u);
  EXPECT_EQ(report.estimate.thresholdKB, 20u * 1024u);
  EXPECT_TRUE(report.estimate.cleans);

  fake_.SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, "2026/12/6");
  fake_.SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, 1000);
  report = Preview();
  EXPECT_FALSE(report.gate.startToday.run);
  EXPECT_EQ(report.estimate.limitMB, 1000u);
  EXPECT_FALSE(report.estimate.cleans);
}

TEST(PreviewThreshold, DecidesAsTheCleaningPass) {
  struct Case {
    const char* what;
    std::uint64_t bytes;
    DWORD limitMB;
  };
  const Case cases[] = {
      {"exactly the threshold", 3 * kMB, 3},
      {"one kilobyte short", 3 * kMB - kKB, 3},
      {"Limit 0 and nothing", 0, 0},
      {"a Limit whose 32-bit shift wraps to 0", 5 * 1024 * kMB, 4194304},
      {"the largest Limit", 5 * 1024 * kMB, 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    fake.AddFile(kTemp + "\\t.dat", c.bytes);
    fake.SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, c.limitMB);
    const PreviewReport report = BuildPreviewReport(fake);
    ASSERT_TRUE(fake.Changes().empty());
    RunCleanup(fake, c.limitMB);
    EXPECT_EQ(report.estimate.cleans, !fake.Changes().empty());
  }
}

// Whatever the machine, a preview only reads.
TEST(PreviewReadsOnly, OnMachinesThatGoWrongToo) {
  struct Case {
    const char* what;
    std::function<void(FakePlatform&)> arrange;
  };
  const Case cases[] = {
      {"the sample", [](FakePlatform&) {}},
      {"no settings key",
       [](FakePlatform& f) { f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsKey); }},
      {"Windows directory fails",
       [](FakePlatform& f) { f.FailCall("GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY); }},
      {"temporary folder is the drive's root", [](FakePlatform& f) { f.SetTempPath("C:\\"); }},
      {"files in use", [](FakePlatform& f) { f.SetInUse(kTemp + "\\install.log"); }},
      {"listings fail", [](FakePlatform& f) { f.FailCall("FindNextFileA", ERROR_NOT_READY); }},
      {"registry reads fail",
       [](FakePlatform& f) { f.FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    sample::Build(fake);
    c.arrange(fake);
    fake.ClearLog();
    const PreviewReport report = BuildPreviewReport(fake);
    EXPECT_TRUE(fake.Changes().empty()) << fake.Dump();
    EXPECT_EQ(fake.OpenFindHandles(), 0u);
    EXPECT_EQ(fake.OpenRegKeys(), 0u);
    for (const FakePlatform::CallRecord& call : fake.Calls()) {
      if (call.call == "FindFirstFileA" || call.call == "GetFileAttributesA") {
        EXPECT_TRUE(IsAtOrBelow(call.target, kWin) || IsAtOrBelow(call.target, kTemp))
            << DescribeCall(call);
      }
    }
  }
}

TEST(PreviewReadsOnly, WithoutASettingsKeyTheGateIsAFirstStart) {
  FakePlatform fake;
  const PreviewReport report = BuildPreviewReport(fake);
  EXPECT_FALSE(report.gate.settings.keyExists);
  EXPECT_TRUE(report.gate.startToday.run);
  EXPECT_EQ(report.estimate.limitMB, kDefaultLimitMB);
  EXPECT_FALSE(fake.RegKeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
  EXPECT_TRUE(fake.Changes().empty());
}

}  // namespace
