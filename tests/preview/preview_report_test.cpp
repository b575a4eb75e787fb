#include "preview/preview_report.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/run_cleanup.h"
#include "folders/folder_fixture.h"
#include "folders/reclaimable.h"
#include "support/fake_platform.h"
#include "sample_machine.h"

namespace {

constexpr std::uint64_t kKB = 1024;
constexpr std::uint64_t kMB = 1024 * kKB;
const std::string kWin = sample::kWindows;
const std::string kTemp = sample::kTemp;

std::string Win(const std::string& name) { return kWin + "\\" + name; }
std::string Temp(const std::string& name) { return kTemp + "\\" + name; }
std::string UninstallTarget(const std::string& name) {
  return "HKLM\\" + sample::UninstallKey(name);
}

// Builds the report and checks that doing so changed nothing and left no
// handle open.
PreviewReport Preview(FakePlatform& fake) {
  fake.ClearLog();
  PreviewReport report = BuildPreviewReport(fake);
  EXPECT_TRUE(fake.Changes().empty()) << fake.Dump();
  EXPECT_EQ(fake.OpenFindHandles(), 0u);
  EXPECT_EQ(fake.OpenRegKeys(), 0u);
  return report;
}

// What the report says a cleaning would act on, one line per deletion, in order.
std::vector<std::string> PlannedDeletions(const PreviewReport& report) {
  std::vector<std::string> planned;
  for (const PreviewItem& item : report.items) {
    if (item.action == PreviewAction::kKeep) continue;
    planned.push_back(item.path);
    if (!item.uninstallKey.empty() && item.uninstall != UninstallState::kUnavailable) {
      planned.push_back("HKLM\\" + item.uninstallKey);
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

class PreviewReportTest : public testing::Test {
 protected:
  PreviewReportTest() { sample::Build(fake_); }
  FakePlatform fake_;
};

TEST_F(PreviewReportTest, ListsWhatTheCleaningPassThenDeletesInItsOrder) {
  const PreviewReport report = Preview(fake_);
  RunCleanup(fake_, 0);
  const std::vector<std::string> planned = PlannedDeletions(report);
  EXPECT_EQ(ActualDeletions(fake_, report), planned) << testing::PrintToString(ChangeLines(fake_));

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
                         UninstallTarget("KB123456"),
                         Win("$NtUninstallKB654321$"),
                         UninstallTarget("KB654321"),
                         Win("$hf_mig$"),
                         Win("$NtUninstallKB777$"),
                         UninstallTarget("KB777"),
                     }));
  for (const PreviewItem& item : report.items) {
    EXPECT_EQ(fake_.Exists(item.path), item.action == PreviewAction::kKeep) << item.path;
  }
  EXPECT_TRUE(fake_.Exists(Temp(sample::kKeptGuid) + "\\session.dat"));
  EXPECT_TRUE(fake_.Exists("C:\\Data\\Linked\\precious.doc"));
  EXPECT_TRUE(fake_.Exists("C:\\Data\\Hotfix\\kept.dll"));
}

TEST_F(PreviewReportTest, TermsAreTheItemsSumsAndAddUpToTheEstimate) {
  const PreviewEstimate estimate = Preview(fake_).estimate;
  EXPECT_EQ(estimate.tmpFileBytes, 3 * kMB + 700 * kKB + 5 * kKB);
  // The kept GUID folder and the link are left out.
  EXPECT_EQ(estimate.tempFolderBytes,
            120 * kKB + 6 * kMB + 2 * kMB + 64 * kKB + 1 * kMB + 10 * kKB);
  EXPECT_EQ(estimate.hotfixFolderBytes, 6 * kMB + 2 * kMB + 3 * kMB);
  EXPECT_EQ(estimate.kilobytes, GetReclaimableKB(fake_));
  EXPECT_EQ(estimate.kilobytes, KilobytesOf(estimate.tmpFileBytes + estimate.tempFolderBytes +
                                            estimate.hotfixFolderBytes));

  std::uint64_t sums[3] = {0, 0, 0};
  for (const PreviewItem& item : Preview(fake_).items) {
    sums[static_cast<int>(item.step)] += item.bytes;
  }
  EXPECT_EQ(sums[0], estimate.tmpFileBytes);
  EXPECT_EQ(sums[1], estimate.tempFolderBytes);
  EXPECT_EQ(sums[2], estimate.hotfixFolderBytes);
}

TEST_F(PreviewReportTest, UninstallEntriesThatCannotBeOpenedAreNotGuessed) {
  const auto state = [](const PreviewReport& report, const char* folder) {
    for (const PreviewItem& item : report.items) {
      if (item.path == Win(folder)) return item.uninstall;
    }
    return UninstallState::kNone;
  };
  fake_.FailCall("RegOpenKeyA", ERROR_ACCESS_DENIED, UninstallTarget("KB123456"));
  PreviewReport report = Preview(fake_);
  EXPECT_EQ(state(report, "$NtUninstallKB123456$"), UninstallState::kUnknown);
  EXPECT_EQ(state(report, "$NtUninstallKB654321$"), UninstallState::kAbsent);

  fake_.FailCall("RegOpenKeyA", ERROR_ACCESS_DENIED, std::string("HKLM\\") + kUninstallKey);
  report = Preview(fake_);
  EXPECT_EQ(state(report, "$NtUninstallKB123456$"), UninstallState::kUnavailable);
  EXPECT_EQ(state(report, "$NtUninstallKB654321$"), UninstallState::kUnavailable);
  // ...and then the pass deletes no entry, as the report says.
  RunCleanup(fake_, 0);
  EXPECT_EQ(ActualDeletions(fake_, report), PlannedDeletions(report));
}

// Whatever the machine, a preview only reads, and only where a start would.
TEST(PreviewReadsOnly, OnMachinesThatGoWrongToo) {
  const std::function<void(FakePlatform&)> cases[] = {
      [](FakePlatform& f) { f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsKey); },
      [](FakePlatform& f) { f.FailCall("GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY); },
      [](FakePlatform& f) { f.SetTempPath("C:\\"); },
      [](FakePlatform& f) { f.SetInUse(kTemp + "\\install.log"); },
      [](FakePlatform& f) { f.FailCall("FindNextFileA", ERROR_NOT_READY); },
      [](FakePlatform& f) { f.FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED); },
  };
  for (const auto& arrange : cases) {
    FakePlatform fake;
    sample::Build(fake);
    arrange(fake);
    Preview(fake);
    for (const FakePlatform::CallRecord& call : fake.Calls()) {
      if (call.call == "FindFirstFileA" || call.call == "GetFileAttributesA") {
        EXPECT_TRUE(IsAtOrBelow(call.target, kWin) || IsAtOrBelow(call.target, kTemp))
            << DescribeCall(call) << "\n"
            << fake.Dump();
      }
    }
  }
}

}  // namespace
