// The preview over a sample machine: it changes nothing, lists what the pass
// then deletes in the pass's order with the estimate's own sizes, and prints
// it as text or CSV; its options and exit codes; and that its handles ask
// for no delete or write access.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "app/run_cleanup.h"
#include "app/settings.h"
#include "preview/preview_format.h"
#include "preview/preview_program.h"
#include "preview/preview_report.h"
#include "support/fake_platform.h"

namespace {

const std::string kWin = "C:\\Windows\\";
const std::string kTemp = "C:\\Users\\Admin\\AppData\\Local\\Temp\\";
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::vector<BYTE> Text(const std::string& text) {
  return {text.c_str(), text.c_str() + text.size() + 1};
}

// Another day's date, stored as binary, and Limit 20 in the settings key; *.tmp files and a
// look-alike in the Windows directory; files, a folder, a GUID-shaped folder and a link in the
// temporary folder; hotfix folders with and without entries, one a link. At Limit -1 the machine is
// empty, without even the settings key; at -2 it holds only today's date as a plain string, at -3
// with two more bytes after its end.
void Build(FakePlatform& fake, long long limitMB = 20) {
  const std::vector<BYTE> today = {'2', '0', '2', '6', '/', '1', '2', '/', '6', 0, 'x', 'y'};
  if (limitMB <= -2)  // at -3 with two bytes after its end
    fake.SetRegValue(kSettingsKey, kExecuteDateValue, REG_SZ,
                     {today.begin(), today.end() - (limitMB == -2 ? 2 : 0)});
  if (limitMB < 0) return;
  const std::vector<BYTE> date = {'2', '\t', 0x7f};
  fake.SetRegValue(kSettingsKey, kExecuteDateValue, REG_BINARY, date);
  fake.SetRegDword(kSettingsKey, kLimitValue, static_cast<DWORD>(limitMB));
  fake.AddFile(kWin + "a,b.tmp", 5 << 10, FILE_ATTRIBUTE_READONLY);
  fake.AddFile(kWin + "X.TMP", 1 << 20);
  fake.AddFile(kTemp + "say \"hi\".txt", 10 << 10);
  fake.AddFile(kTemp + "cache\\{6F9619FF-8B86-D011-B42D-00C04FC964FF}\\page", 2 << 20);
  fake.AddFile(kTemp + "{6F9619FF-8B86-D011-B42D-00C04FC964FF}\\kept", 3 << 20);
  fake.AddLink(kTemp + "linked", "C:\\Data");
  fake.AddFile(kWin + "$NtUninstallKB1$\\f", 6 << 20);
  fake.AddFile(kWin + "$NtUninstallKB2$\\f", (1 << 20) - (15 << 10));
  fake.AddFile(kWin + "$hf_mig$\\f", 12 << 20);
  fake.AddLink(kWin + "$KB3$", "C:\\Data");
  fake.AddFile("C:\\Data\\precious", 9 << 20);
  for (const char* entry : {"KB1", "KB3", "Other"}) fake.AddRegKey(kUninstall + "\\" + entry);
  fake.ClearLog();
}

// The lines that carry the formats' rules (quoting, sizes, totals, the
// decision, each kind of item and uninstall entry), in this order.
const char* const kText =
    R"(Sweepwell preview: what a start would do on this machine. Nothing has been changed.
  ExecuteDate      "2\x09\x7f" (stored as REG_BINARY; no terminating zero: counts as another day)
  Limit            20 MB (settings key)
  KeepDays         0 (default): no age rule
  SkipUndeletable  0 (default): a file that cannot be deleted ends the emptying of its folder
  LastCleaned      never
Today is 2026/12/6. A start without an argument would pass the gate (no run recorded today) and store today's date.
Estimate: 21504 KB, the sum in bytes of
           5 KB  *.tmp files directly in C:\Windows (5120 bytes)
       19441 KB  hotfix backup folders (19907584 bytes):
Threshold: Limit 20 MB = 20480 KB. The estimate reaches it: a pass would clean.
So a start today without an argument would clean: it would delete what follows.
  keep    folder  C:\Users\Admin\AppData\Local\Temp\{6F9619FF-8B86-D011-B42D-00C04FC964FF}  (GUID-shaped name)
  delete  link    C:\Users\Admin\AppData\Local\Temp\linked  (removed as a link, never followed)
  delete  folder  C:\Windows\$NtUninstallKB2$  (1033216 bytes)
                  and the uninstall entry HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KB2: it does not exist
                  no uninstall entry: the name holds no KB number closed by "$"
                  and the uninstall entry HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KB3: it exists)";
const char* const kCsv = R"(step,action,type,bytes,path,uninstall_key,uninstall_key_exists
tmp-file,delete,file,5120,"C:\Windows\a,b.tmp",,
temp-entry,delete,file,10240,"C:\Users\Admin\AppData\Local\Temp\say ""hi"".txt",,
hotfix-folder,delete,folder,1033216,C:\Windows\$NtUninstallKB2$,HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KB2,no
hotfix-folder,delete,link,0,C:\Windows\$KB3$,HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KB3,yes)";

TEST(PreviewReport, ListsWhatThePassThenDeletesInItsOrder) {
  for (const bool listOpens : {true, false}) {
    FakePlatform fake;
    Build(fake);
    if (!listOpens) fake.FailCall("RegOpenKeyA", ERROR_ACCESS_DENIED, "HKLM\\" + kUninstall);
    const PreviewReport report = BuildPreviewReport(fake);
    EXPECT_EQ(fake.OpenHandles(), 0u);
    std::string planned;
    std::uint64_t bytes = 0;
    for (const PreviewItem& item : report.items) {
      bytes += item.bytes;
      if (item.action == PreviewAction::kDelete) planned += item.path + "\n";
      if (!item.uninstallKey.empty() && item.uninstall != UninstallState::kUnavailable) {
        planned += "HKLM\\" + item.uninstallKey + "\n";
      }
    }
    EXPECT_EQ(bytes, report.estimate.tmpFileBytes + report.estimate.tempFolderBytes +
                         report.estimate.hotfixFolderBytes);
    RunCleanup(fake, 22);  // 21504 KB do not reach 22 MB; the report changed nothing either
    EXPECT_TRUE(fake.Changes().empty());
    RunCleanup(fake, 0);
    // Each changing call traced to the item that holds its target.
    std::string done, last;
    for (const auto& call : fake.Changes()) {
      std::string item = call.target;
      for (const PreviewItem& i : report.items) {
        if (call.target.rfind(i.path, 0) == 0) item = i.path;
      }
      if (item != last) done += item + "\n";
      last = item;
    }
    EXPECT_EQ(done, planned);
  }
}

// Each command line's exit code, output (as lines in order; --check's one line
// over the sample machine, 21504 KB, with Limit set or replaced by `limit`,
// which --check names; at -1 an empty machine's text) and error message.
// The settings as an administrator may give them: KeepDays 7 by policy, with
// the sample's temporary folder touched 30 days ago but one file, touched
// tomorrow, and a "*.tmp" file touched today; SkipUndeletable 1 in the
// settings key; the record of a run that cleaned.
void AdministeredMachine(FakePlatform& fake) {
  const std::int64_t old = fake.Now() - 30 * FakePlatform::kTicksPerDay;
  for (const std::string& path : {kTemp + "cache", kTemp + "linked",
                                  kTemp + "cache\\{6F9619FF-8B86-D011-B42D-00C04FC964FF}\\page"}) {
    fake.SetTimes(path, old, old);
  }
  fake.SetTimes(kTemp + "say \"hi\".txt", old, fake.Now() + FakePlatform::kTicksPerDay);
  fake.SetRegDword(kPolicyKey, kKeepDaysValue, 7);
  fake.SetRegDword(kSettingsKey, kSkipUndeletableValue, 1);
  fake.SetRegDword(kSettingsKey, kLastEstimateValue, 123);
  fake.SetRegValue(kSettingsKey, kLastCleanedValue, REG_SZ, Text("2026-12-05T03:00:00"));
  fake.SetRegDword(kSettingsKey, kLastFreedValue, 100);
}

// SYSTEM's temporary folder, as the machine's environment names it.
void SystemTemp(FakePlatform& fake) {
  const std::string temp = "%SystemRoot%\\TEMP";
  fake.SetRegValue("SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", "TEMP",
                   REG_EXPAND_SZ, Text(temp));
  fake.SetEnvironment("SystemRoot", "C:\\Windows");
  fake.AddFile(kWin + "TEMP\\service.log", 3 << 20);
}

// Each command line's exit code, output (as lines in order; --check's one line
// over the sample machine, 21504 KB, with Limit set or replaced by `limit`,
// which --check names; at -1 an empty machine's text) and error message.
TEST(PreviewProgram, AnswersEachCommandLine) {
  const std::string usage = kPreviewUsage;
  const std::string check = "Reclaimable 21504 KB, threshold ";
  const std::string cleans = "): a forced start would clean.";
  const std::string idle = "): a forced start would delete nothing.";
  const std::string empty =
      "  the settings key does not exist\npass the gate and delete nothing.\n  (none)";
  const std::string dword = " MB, stored as REG_DWORD";
  const std::string never = "4294967296 KB (Limit 4194304" + dword + idle;
  const std::string nan = "\" as REG_SZ, not a decimal number up to 4294967295)";
  const std::string fallback = "20480 KB (Limit 20 MB, the default: ";
  const std::string limit = "  Limit            ";
  const std::string fault = limit + "20 MB (default: Limit in the settings key is ";
  const std::string longer(kLimitReadLimit, '7');  // with its zero, past the read
  const std::string today = "  ExecuteDate      \"2026/12/6\"";
  const std::string forced = "A start with a non-zero argument (sweepwell.exe 1) would pass it.";
  const std::string recent = "  (touched in the future: recent, by KeepDays)";
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string out;
    std::string error;
    long long limitMB = 20;
    const char* limit = nullptr;  // when given, Limit as this REG_SZ
    void (*setup)(FakePlatform&) = nullptr;
  } cases[] = {
      {{}, kPreviewOk, kText, ""},
      {{"--csv"}, kPreviewOk, kCsv, ""},
      {{"--help"}, kPreviewOk, usage, ""},
      {{"-h"}, kPreviewOk, usage, ""},
      {{"/?"}, kPreviewOk, usage, ""},
      {{"--csv", "-x"}, kPreviewBadUsage, "", "unknown option '-x'"},
      {{"/CSV"}, kPreviewBadUsage, "", "unknown option '/CSV'"},
      {{"1"}, kPreviewBadUsage, "", "unexpected argument '1'"},
      {{"--check", "--csv"}, kPreviewBadUsage, "", "--csv and --check exclude each other"},
      {{"--check"}, kPreviewCheckCleans, check + "21504 KB (Limit 21" + dword + cleans, "", 21},
      // Limit as text: --check names its type, and why the default when it is not a number.
      {{"--check"},
       kPreviewOk,
       check + "51200 KB (Limit 50 MB, stored as REG_SZ" + idle,
       "",
       20,
       "50"},
      {{"--check"},
       kPreviewCheckCleans,
       check + fallback + "Limit is \"\\x09a" + nan.substr(0, nan.size() - 1) + cleans,
       "",
       20,
       "\ta"},
      {{"--check"},
       kPreviewOk,
       "Reclaimable 0 KB, threshold " + fallback + "no settings key" + idle,
       "",
       -1},
      {{}, kPreviewOk, fault + "\"4294967296" + nan, "", 20, "4294967296"},
      {{}, kPreviewOk, fault + "\"" + nan, "", 20, ""},
      {{}, kPreviewOk, fault + "a REG_SZ longer than 63 characters)", "", 20, longer.c_str()},
      {{}, kPreviewOk, limit + "7 MB (settings key, stored as REG_SZ)", "", 20, " 7 "},
      {{}, kPreviewOk, empty, "", -1},
      {{}, kPreviewOk, today + "\n" + forced, "", -2},
      {{}, kPreviewOk, today + " (and 2 more bytes after its end)", "", -3},
      {{"--check"}, kPreviewOk, check + never, "", 4194304},
      // Limit set by policy wins over the settings key's.
      {{"--check"},
       kPreviewOk,
       check + "30720 KB (Limit 30 MB, set by policy" + idle,
       "",
       20,
       nullptr,
       [](FakePlatform& f) { f.SetRegDword(kPolicyKey, kLimitValue, 30); }},
      // Each setting with its source, the record, and what the age rule keeps.
      {{},
       kPreviewOk,
       "  KeepDays         7 days (policy): files touched in the last 7 days are kept\n"
       "  SkipUndeletable  1 (settings key): a file that cannot be deleted is passed over\n"
       "  LastEstimateKB   123\n  LastCleaned      2026-12-05T03:00:00\n  LastFreedKB      100\n"
       "Estimate: 21489 KB, the sum in bytes of\n"
       "  keep    file    C:\\Windows\\a,b.tmp  (touched less than a day ago: recent, by "
       "KeepDays)\n"
       "  keep    file    C:\\Users\\Admin\\AppData\\Local\\Temp\\say \"hi\".txt" +
           recent +
           "\n"
           "  delete  folder  C:\\Users\\Admin\\AppData\\Local\\Temp\\cache  (2097152 bytes)\n"
           "A file that cannot be deleted (in use, say) is passed over, and its folder stays.",
       "",
       20,
       nullptr,
       AdministeredMachine},
      {{"--csv"},
       kPreviewOk,
       "tmp-file,keep,file,0,\"C:\\Windows\\a,b.tmp\",,\n"
       "temp-entry,keep,file,0,\"C:\\Users\\Admin\\AppData\\Local\\Temp\\say \"\"hi\"\".txt\",,",
       "",
       20,
       nullptr,
       AdministeredMachine},
      {{"--check"},
       kPreviewCheckCleans,
       "Reclaimable 21489 KB, threshold 20480 KB (Limit 20" + dword +
           "; files of the last 7 days kept" + cleans,
       "",
       20,
       nullptr,
       AdministeredMachine},
      // SYSTEM's temporary folder, as the daily task sees it.
      {{"--system"},
       kPreviewOk,
       "        3072 KB  the temporary folder of SYSTEM C:\\Windows\\TEMP\\, GUID-shaped folders "
       "at its top left out (3145728 bytes)\n"
       "  delete  file    C:\\Windows\\TEMP\\service.log  (3145728 bytes)",
       "",
       20,
       nullptr,
       SystemTemp},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    Build(fake, c.limitMB);
    if (c.limit) {
      const std::size_t size = std::strlen(c.limit) + 1;  // with its zero
      fake.SetRegValue(kSettingsKey, kLimitValue, REG_SZ, {c.limit, c.limit + size});
    }
    if (c.setup) c.setup(fake);
    fake.ClearLog();
    std::ostringstream out, err;
    EXPECT_EQ(RunPreview(fake, c.args, out, err), c.exitCode);
    std::istringstream lines(c.out);  // each the end of a line of `out`, in this order
    std::size_t at = 0;
    for (std::string line; std::getline(lines, line);) {
      at = out.str().find(line + "\n", at);
      ASSERT_NE(at, std::string::npos) << line << "\nnot in its place in\n" << out.str();
    }
    EXPECT_EQ(c.out.empty(), out.str().empty());
    EXPECT_TRUE(c.out != kText || out.str().find("(none)") == std::string::npos);
    EXPECT_EQ(err.str(), c.error.empty() ? "" : "sweepwell-preview: " + c.error + "\n" + usage);
    // A refusal or the usage reads nothing; a report silences system error
    // boxes (the mode SetErrorMode gives back, last).
    const bool report = c.out != usage && c.error.empty();
    EXPECT_EQ(fake.Calls().empty(), !report);
    EXPECT_TRUE(fake.Changes().empty());
    // Its handles ask for no delete or write access (append and generic write included).
    std::size_t opens = 0;
    for (const FakePlatform::CallRecord& call : fake.Calls()) {
      opens += call.access != 0 ? 1 : 0;
      EXPECT_EQ(call.access & (DELETE | FILE_ADD_FILE | 0x4 | FILE_WRITE_ATTRIBUTES | 0x40000000),
                0u)
          << call.call << " " << call.target;
    }
    EXPECT_EQ(opens > 0, report);
    EXPECT_EQ(fake.SetErrorMode(0), report ? SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX : 0u);
  }
}

}  // namespace
