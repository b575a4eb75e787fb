// Fault injection: one whole start on a machine that holds every kind of entry
// the cleaner meets, rerun once for each call of that start failing with each
// error Windows can give for that call. Every run must end, leave through the
// exit path, close what it opened and change nothing outside its places.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "folders/folder_fixture.h"
#include "hardening/allowed_places.h"
#include "hardening/whole_start.h"
#include "support/fake_platform.h"

namespace {

constexpr std::uint64_t kMB = 1024 * 1024;
const std::string kWin = "C:\\Windows";
const std::string kTemp = "C:\\Users\\Admin\\AppData\\Local\\Temp";
const std::string kDocs = "C:\\Protected\\Docs";
const char kSettings[] = "SOFTWARE\\Brisca\\Sweepwell";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kGuid[] = "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}";
const char kToday[] = "2026/12/6";  // the fake's local date

// The gate's three ways in: each sweeps the gate's own calls differently.
enum class Gate { kFirstRun, kSameDayForced, kSameDayNotForced };

const char* GateName(Gate gate) {
  switch (gate) {
    case Gate::kFirstRun:
      return "first run";
    case Gate::kSameDayForced:
      return "same day, forced";
    case Gate::kSameDayNotForced:
      return "same day, not forced";
  }
  return "?";
}

// Each of the three places holds more than the default 20 MB threshold on its
// own, so that most single failures of the estimate still let a first run's
// pass go on.
void BuildMachine(FakePlatform& fake, Gate gate) {
  // Outside every place the cleaner works on; links below point here.
  fake.AddFile(kDocs + "\\secret.txt", 100, FILE_ATTRIBUTE_READONLY);
  fake.AddFile(kDocs + "\\a.tmp", 100);
  fake.AddFile(kDocs + "\\sub\\deep.bin", 100);
  fake.AddFile(kDocs + "\\$hf\\f.dll", 100);
  fake.AddFile("C:\\Protected\\target.tmp", 100, FILE_ATTRIBUTE_READONLY);
  fake.AddFile("C:\\root.tmp", 100);
  fake.AddFile("C:\\$root\\f", 100);
  fake.AddFile("C:\\Users\\keep.txt", 100);

  fake.AddFile(kWin + "\\a.tmp", 25 * kMB);
  fake.AddFile(kWin + "\\ro.tmp", 10, FILE_ATTRIBUTE_READONLY);
  fake.AddFile(kWin + "\\hidden.tmp", 10, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  fake.AddFile(kWin + "\\busy.tmp", 10, FILE_ATTRIBUTE_READONLY);
  fake.SetInUse(kWin + "\\busy.tmp");
  fake.AddFile(kWin + "\\X.TMP", 10);
  fake.AddFile(kWin + "\\notes.txt", 10);
  fake.AddFile(kWin + "\\y.tmp\\inner.tmp", 10);
  fake.AddLink(kWin + "\\link.tmp", "C:\\Protected\\target.tmp", false);
  // A read-only link: its attributes must not be cleared, as that would clear the target's.
  fake.SetFileAttributesA((kWin + "\\link.tmp").c_str(),
                          FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  fake.AddFile(kWin + "\\System32\\deep.tmp", 10);
  fake.AddFile(kWin + "\\$NtUninstallKB123456$\\spuninst.exe", 25 * kMB);
  fake.AddFile(kWin + "\\$NtUninstallKB123456$\\ro.dll", 10, FILE_ATTRIBUTE_READONLY);
  fake.AddFile(kWin + "\\$NtUninstallKB123456$\\sub\\nested.dll", 10);
  fake.AddFile(kWin + "\\$NtUninstallKB123456$\\sub\\" + kGuid + "\\g.dat", 10);
  fake.AddFile(kWin + "\\$NtUninstallkb654321$\\a.dll", 10);
  fake.AddFile(kWin + "\\$NtUninstallkb654321$\\busy.dll", 10);
  fake.SetInUse(kWin + "\\$NtUninstallkb654321$\\busy.dll");
  fake.AddFile(kWin + "\\$NtUninstallkb654321$\\c.dll", 10);
  fake.AddFile(kWin + "\\$hf_mig$\\KB1\\update.exe", 10);
  fake.AddFolder(kWin + "\\$empty$");
  fake.AddFile(kWin + "\\$log", 10);
  fake.AddFile(kWin + "\\$NtUninstallKB555$", 10);  // a file: no hotfix folder, its entry stays
  fake.AddFile(kWin + "\\$x.tmp", 10);
  fake.AddLink(kWin + "\\$NtUninstallKB777$", kDocs);
  fake.AddFile(kWin + "\\x$\\f", 10);

  fake.AddFile(kTemp + "\\big.bin", 25 * kMB);
  fake.AddFile(kTemp + "\\ro.txt", 10, FILE_ATTRIBUTE_READONLY);
  fake.AddFile(kTemp + "\\hidden.sys", 10, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  fake.AddFile(kTemp + "\\a\\a.txt", 10);
  fake.AddFile(kTemp + "\\a\\b\\b.txt", 10);
  fake.AddFile(kTemp + "\\a\\b\\c\\deep.txt", 10);
  fake.AddFile(kTemp + "\\" + kGuid + "\\kept.txt", 10);
  fake.AddFile(kTemp + "\\sub\\" + kGuid + "\\gone.txt", 10);
  fake.AddFile(kTemp + "\\busy\\1.txt", 10);
  fake.AddFile(kTemp + "\\busy\\2-in-use.txt", 10);
  fake.SetInUse(kTemp + "\\busy\\2-in-use.txt");
  fake.AddFile(kTemp + "\\busy\\3.txt", 10);
  fake.AddFile(kTemp + "\\busy\\4\\f.txt", 10);
  fake.AddLink(kTemp + "\\junction", kDocs);
  fake.AddLink(kTemp + "\\flink.txt", kDocs + "\\secret.txt", false);
  fake.AddFolder(kTemp + "\\empty");
  fake.AddFile(kTemp + "\\held\\f.txt", 10);
  fake.SetInUse(kTemp + "\\held");
  fake.AddFile(kTemp + "\\rofolder\\f.txt", 10);
  fake.AddFolder(kTemp + "\\rofolder", FILE_ATTRIBUTE_READONLY);
  // Paths near MAX_PATH: 254 characters fit, 266 do not.
  const std::string longFolder =
      kTemp + "\\" + std::string(100, 'L') + "\\" + std::string(100, 'M');
  fake.AddFile(longFolder + "\\" + std::string(18, 'f'), 10);
  fake.AddFile(longFolder + "\\" + std::string(30, 'g'), 10);

  const std::string uninstall = kUninstall;
  for (const char* entry : {"KB123456", "kb654321", "KB777", "KB555", "KB999", "SomeProduct"}) {
    fake.SetRegString(HKEY_LOCAL_MACHINE, uninstall + "\\" + entry, "DisplayName", entry);
  }
  fake.AddRegKey(HKEY_LOCAL_MACHINE, uninstall + "\\KB777\\Details");

  fake.SetCommandLine(gate == Gate::kSameDayForced ? "C:\\Tools\\sweepwell.exe 1"
                                                   : "C:\\Tools\\sweepwell.exe");
  if (gate != Gate::kFirstRun) {
    fake.SetRegString(HKEY_LOCAL_MACHINE, kSettings, "ExecuteDate", kToday);
    // Limit 0: the pass runs whatever the estimate, so failures that blind the
    // estimate still lead into the deletions.
    fake.SetRegDword(HKEY_LOCAL_MACHINE, kSettings, "Limit", 0);
  }
  fake.ClearLog();
}

// The errors each call can give on Windows. Calls that cannot fail there
// (SetErrorMode, GetCommandLineA, GetLocalTime, GetLastError) have none.
// `full` false keeps one error for each way the cleaner could tell them
// apart (missing, refused, in use, not empty, too long, end of listing).
const std::vector<DWORD>& ErrorsFor(const std::string& call, bool full) {
  using Errors = std::map<std::string, std::vector<DWORD>>;
  static const Errors kFull = {
      {"RegOpenKeyA", {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
      {"RegCreateKeyA", {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
      {"RegQueryValueExA",
       {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_MORE_DATA,
        ERROR_KEY_DELETED}},
      {"RegSetValueExA", {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_KEY_DELETED}},
      {"RegDeleteKeyA",
       {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_KEY_DELETED}},
      {"RegCloseKey", {ERROR_INVALID_HANDLE}},
      {"GetWindowsDirectoryA", {ERROR_NOT_ENOUGH_MEMORY}},
      {"GetTempPathA", {ERROR_NOT_ENOUGH_MEMORY}},
      {"FindFirstFileA",
       {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NOT_READY,
        ERROR_SHARING_VIOLATION, ERROR_FILENAME_EXCED_RANGE}},
      {"FindNextFileA",
       {ERROR_NO_MORE_FILES, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_SHARING_VIOLATION}},
      {"FindClose", {ERROR_INVALID_HANDLE}},
      {"GetFileAttributesA",
       {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
        ERROR_FILENAME_EXCED_RANGE}},
      {"SetFileAttributesA",
       {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
        ERROR_FILENAME_EXCED_RANGE}},
      {"DeleteFileA",
       {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
        ERROR_FILENAME_EXCED_RANGE}},
      {"RemoveDirectoryA",
       {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
        ERROR_DIR_NOT_EMPTY, ERROR_FILENAME_EXCED_RANGE}},
  };
  static const Errors kCoarse = {
      {"RegOpenKeyA", {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED}},
      {"RegCreateKeyA", {ERROR_ACCESS_DENIED}},
      {"RegQueryValueExA", {ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA, ERROR_KEY_DELETED}},
      {"RegSetValueExA", {ERROR_ACCESS_DENIED, ERROR_KEY_DELETED}},
      {"RegDeleteKeyA", {ERROR_ACCESS_DENIED, ERROR_KEY_DELETED}},
      {"RegCloseKey", {ERROR_INVALID_HANDLE}},
      {"GetWindowsDirectoryA", {ERROR_NOT_ENOUGH_MEMORY}},
      {"GetTempPathA", {ERROR_NOT_ENOUGH_MEMORY}},
      {"FindFirstFileA", {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_FILENAME_EXCED_RANGE}},
      {"FindNextFileA", {ERROR_NO_MORE_FILES, ERROR_ACCESS_DENIED}},
      {"FindClose", {ERROR_INVALID_HANDLE}},
      {"GetFileAttributesA", {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED}},
      {"SetFileAttributesA", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
      {"DeleteFileA", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
      {"RemoveDirectoryA",
       {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_DIR_NOT_EMPTY}},
  };
  static const std::vector<DWORD> kNone;
  const Errors& errors = full ? kFull : kCoarse;
  auto it = errors.find(call);
  return it != errors.end() ? it->second : kNone;
}

// SWEEPWELL_FAULT_SWEEP=full sweeps every error of the table by hand.
bool FullSweepAsked() {
  const char* value = std::getenv("SWEEPWELL_FAULT_SWEEP");
  return value != nullptr && std::string(value) == "full";
}

// The settings key holds what it held before or what the gate writes.
std::vector<std::string> SettingsProblems(const FakePlatform& fake, Gate gate) {
  std::vector<std::string> problems;
  if (auto date = fake.GetRegValue(HKEY_LOCAL_MACHINE, kSettings, "ExecuteDate")) {
    const std::vector<BYTE> today(kToday, kToday + sizeof kToday);
    if (date->type != REG_SZ || date->data != today) problems.push_back("ExecuteDate is not today");
  }
  // A settings key that cannot be opened is made again, as on a first run,
  // with the default threshold.
  if (auto limit = fake.GetRegValue(HKEY_LOCAL_MACHINE, kSettings, "Limit")) {
    const bool isDefault = limit->data == std::vector<BYTE>{20, 0, 0, 0};
    const bool isOwn = gate != Gate::kFirstRun && limit->data == std::vector<BYTE>{0, 0, 0, 0};
    if (limit->type != REG_DWORD || !(isDefault || isOwn)) problems.push_back("Limit changed");
  }
  for (const char* kept : {"KB555", "KB999", "SomeProduct"}) {
    if (!fake.RegKeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\" + kept)) {
      problems.push_back(std::string("uninstall entry ") + kept + " deleted");
    }
  }
  return problems;
}

// Everything wrong with one start of the sweep.
std::vector<std::string> SweepProblems(const FakePlatform& fake, const StartOutcome& outcome,
                                       Gate gate, const AllowedPlaces& allowed,
                                       const StartExpectations& expected) {
  std::vector<std::string> problems = StartProblems(fake, outcome, allowed, expected);
  for (const std::string& kept :
       {kDocs + "\\secret.txt", kDocs + "\\a.tmp", kDocs + "\\sub\\deep.bin",
        kDocs + "\\$hf\\f.dll", std::string("C:\\Protected\\target.tmp")}) {
    if (!fake.Exists(kept)) problems.push_back("link target lost: " + kept);
  }
  for (const std::string& problem : SettingsProblems(fake, gate)) problems.push_back(problem);
  return problems;
}

std::size_t CountCalls(const FakePlatform& fake, const std::string& call) {
  return TargetsOf(fake, call).size();
}

class FaultSweepTest : public testing::Test {
 protected:
  void Report(const std::string& what, const std::vector<std::string>& problems,
              const FakePlatform& fake) {
    ++runs_;
    if (problems.empty() || ++failedRuns_ > 20) return;
    ADD_FAILURE() << what << ":\n  " << ::testing::PrintToString(problems) << "\n" << fake.Dump();
  }

  std::size_t runs_ = 0;
  std::size_t failedRuns_ = 0;
};

TEST_F(FaultSweepTest, EveryCallFailingInTurnKeepsTheCleanerInItsPlaces) {
  const bool full = FullSweepAsked();
  for (Gate gate : {Gate::kFirstRun, Gate::kSameDayForced, Gate::kSameDayNotForced}) {
    SCOPED_TRACE(GateName(gate));
    FakePlatform reference;
    BuildMachine(reference, gate);
    const AllowedPlaces allowed(SnapshotMachine(reference), kWin, kTemp);

    // A forced start does the most work any variant can be led into.
    FakePlatform forced;
    BuildMachine(forced, Gate::kSameDayForced);
    RunWholeStart(forced, SIZE_MAX);
    const std::size_t budget = 3 * forced.Calls().size() + 200;

    const StartOutcome clean = RunWholeStart(reference, budget);
    const std::vector<std::string> cleanProblems =
        SweepProblems(reference, clean, gate, allowed, {});
    EXPECT_TRUE(cleanProblems.empty()) << ::testing::PrintToString(cleanProblems);
    const std::vector<FakePlatform::CallRecord> calls = reference.Calls();
    if (gate != Gate::kSameDayNotForced) {
      // The clean start did its whole job, so the sweep below starts from one.
      EXPECT_FALSE(reference.Exists(kWin + "\\a.tmp"));
      EXPECT_FALSE(reference.Exists(kTemp + "\\big.bin"));
      EXPECT_FALSE(reference.Exists(kWin + "\\$NtUninstallKB123456$"));
    }

    // One call failing, once.
    for (std::size_t index = 0; index < calls.size(); ++index) {
      for (DWORD error : ErrorsFor(calls[index].call, full)) {
        FakePlatform fake;
        BuildMachine(fake, gate);
        fake.FailNthCall(index, error);
        const StartOutcome outcome = RunWholeStart(fake, budget);

        StartExpectations expected;
        if (calls[index].call == "FindClose") expected.openFindHandles = 1;
        if (calls[index].call == "RegCloseKey") expected.openRegKeys = 1;
        std::vector<std::string> problems = SweepProblems(fake, outcome, gate, allowed, expected);
        // Up to the injected call the start is the clean one's, so the
        // failure landed where it was meant to.
        if (fake.Calls().size() <= index || fake.Calls()[index].call != calls[index].call ||
            fake.Calls()[index].succeeded) {
          problems.push_back("the failure was not injected into " + DescribeCall(calls[index]));
        }
        Report("call " + std::to_string(index) + " (" + DescribeCall(calls[index]) +
                   ") failing with " + std::to_string(error),
               problems, fake);
      }
    }

    // Every call of one kind failing, as on a machine where it always does:
    // a start that retried would never end.
    std::set<std::string> names;
    for (const FakePlatform::CallRecord& call : calls) names.insert(call.call);
    for (const std::string& name : names) {
      for (DWORD error : ErrorsFor(name, full)) {
        FakePlatform fake;
        BuildMachine(fake, gate);
        fake.FailCall(name, error);
        const StartOutcome outcome = RunWholeStart(fake, budget);

        StartExpectations expected;
        if (name == "FindClose") expected.openFindHandles = CountCalls(fake, name);
        if (name == "RegCloseKey") expected.openRegKeys = CountCalls(fake, name);
        Report("every " + name + " failing with " + std::to_string(error),
               SweepProblems(fake, outcome, gate, allowed, expected), fake);
      }
    }
  }
  EXPECT_EQ(failedRuns_, 0u);
  RecordProperty("fault_runs", std::to_string(runs_));
  std::cout << "fault injection sweep (" << (full ? "full" : "coarse") << " error sets): " << runs_
            << " runs, " << failedRuns_ << " failed\n";
}

}  // namespace
