// The program's start over the in-memory machine. The once-a-day gate over the
// settings key: its four outcomes, how Limit and ExecuteDate are read, and that
// the preview's peek decides as the gate does. The cleaning pass: its three
// steps in their order whatever each achieves and the hotfix entries it
// deletes (the preview's tests run it over their sample machine too, and pin
// its threshold; the hardening tests fail each call it makes). Then whole
// starts on a day the program already ran: the error mode first, then the gate
// on today's date (formatted without leading zeros), which a non-zero number
// read as "%d" after the program's path forces open. The fuzz target holds the
// command-line parser to a model on any text.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/cleanup_app.h"
#include "app/run_cleanup.h"
#include "app/run_gate.h"
#include "app/settings.h"
#include "folders/machine_text.h"
#include "support/fake_platform.h"

namespace {

using Names = std::vector<std::string>;
const std::string kWin = "C:\\Windows\\";
const std::string kTemp = "C:\\Users\\Admin\\AppData\\Local\\Temp\\";
const std::string kToday = "2026/12/6";
const char kDate[] = "ExecuteDate";
const char kLimit[] = "Limit";

std::vector<BYTE> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
std::vector<BYTE> Text(const std::string& text) { return Bytes(text + '\0'); }

TEST(RunGate, DecidesFromTheKeyAndWritesOnlyTheDateOfARun) {
  using Value = std::tuple<const char*, DWORD, std::vector<BYTE>>;  // name, type, data
  const Value today{kDate, REG_SZ, Text(kToday)};
  const Value fifty{kLimit, REG_DWORD, {50, 0, 0, 0}};
  const std::string pad(kLimitReadLimit - 2, ' ');  // with a digit and a zero, all that is read
  const struct {
    const char* what;
    std::vector<Value> key;  // none: no key; {{}}: the key without values
    int force;
    bool run;
    DWORD limitMB;
    const char* writes = nullptr;  // the values written; nullptr: ExecuteDate on a run
    const char* failing = "";      // a call that fails
  } cases[] = {
      {"first run", {}, 0, true, 20, "RegCreateKeyA ExecuteDate Limit "},
      {"first run, the key cannot be made", {}, 0, true, 20, "RegCreateKeyA ", "RegCreateKeyA"},
      {"same day", {today}, 0, false, 20},
      {"same day, forced", {today, fifty}, -1, true, 50},
      {"same day, unreadable", {today, fifty}, 0, true, 20, nullptr, "RegQueryValueExA"},
      {"same day, then more bytes", {{kDate, REG_SZ, Bytes(kToday + '\0' + "x")}}, 0, false, 20},
      {"today is a prefix of it", {{kDate, REG_SZ, Text("2026/12/60")}}, 0, true, 20},
      {"no terminating zero", {{kDate, REG_SZ, Bytes(kToday)}}, 0, true, 20},
      // Only the bytes decide, whatever the type.
      {"today's bytes as binary", {{kDate, REG_BINARY, Text(kToday)}}, 0, false, 20},
      {"today expandable", {{kDate, REG_EXPAND_SZ, Text(kToday)}}, 0, false, 20},
      {"today in a list", {{kDate, REG_MULTI_SZ, Bytes(kToday + '\0' + '\0')}}, 0, false, 20},
      {"longer than the read", {{kDate, REG_SZ, Text(std::string(299, '7'))}}, 0, true, 20},
      {"no values", {{}}, 0, true, 20},
      {"the largest Limit", {{kLimit, REG_DWORD, {0xff, 0xff, 0xff, 0xff}}}, 0, true, 0xffffffffu},
      {"Limit of two bytes", {{kLimit, REG_BINARY, {0x10, 0x01}}}, 0, true, 0x110},
      {"Limit of no bytes", {{kLimit, REG_DWORD, {}}}, 0, true, 0},
      {"Limit of five bytes", {{kLimit, REG_BINARY, {1, 2, 3, 4, 5}}}, 0, true, 20},
      {"Limit in a list", {{kLimit, REG_MULTI_SZ, {'5', '0', 0, 0}}}, 0, true, 0x3035},
      // A text is the decimal number it holds, between blanks; else it counts as missing.
      {"Limit as text", {{kLimit, REG_SZ, Text("50")}}, 0, true, 50},
      {"Limit as text in blanks", {{kLimit, REG_SZ, Text(" \t7 ")}}, 0, true, 7},
      {"Limit as expandable text", {{kLimit, REG_EXPAND_SZ, Text("0")}}, 0, true, 0},
      {"Limit as the largest text", {{kLimit, REG_SZ, Text("004294967295")}}, 0, true, 0xffffffffu},
      {"Limit as text past it", {{kLimit, REG_SZ, Text("4294967296")}}, 0, true, 20},
      {"Limit as text far past it", {{kLimit, REG_SZ, Text("99999999999")}}, 0, true, 20},
      {"Limit as letters", {{kLimit, REG_SZ, Text("abc")}}, 0, true, 20},
      {"Limit as two numbers", {{kLimit, REG_SZ, Text("5 0")}}, 0, true, 20},
      {"Limit as empty text", {{kLimit, REG_SZ, Text("")}}, 0, true, 20},
      {"Limit as text filling the read", {{kLimit, REG_SZ, Text(pad + "5")}}, 0, true, 5},
      {"Limit as text past the read", {{kLimit, REG_SZ, Text(pad + " 5")}}, 0, true, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    for (const auto& [name, type, data] : c.key) {
      fake.AddRegKey(kSettingsKey);
      if (name) fake.SetRegValue(kSettingsKey, name, type, data);
    }
    if (*c.failing != 0) fake.FailCall(c.failing, ERROR_ACCESS_DENIED);
    // Reading for the peek writes nothing: `writes` below holds every change.
    const GateDecision peek = PeekRunGate(ReadGateSettings(fake), kToday, c.force);
    const GateDecision gate = PassRunGate(fake, kToday, c.force);
    for (const auto& d : {peek, gate}) EXPECT_TRUE(d.run == c.run && d.limitMB == c.limitMB);
    std::string writes;
    for (const auto& w : fake.Changes()) writes += (w.value.empty() ? w.call : w.value) + " ";
    EXPECT_EQ(writes, c.writes ? c.writes : c.run ? "ExecuteDate " : "");
    EXPECT_EQ(fake.OpenHandles(), 0u);
  }
  FakePlatform fresh;
  PassRunGate(fresh, kToday, 0);
  // A run writes today's date as a string; the first one Limit 20 too.
  for (const auto& [name, type, data] : {today, Value{kLimit, REG_DWORD, {20, 0, 0, 0}}}) {
    const auto got = fresh.GetRegValue(kSettingsKey, name);
    EXPECT_TRUE(got && got->type == type && got->data == data) << name;
  }
}

// The *.tmp files directly in the Windows directory (read-only ones made
// writable first), the temporary folder's contents up to a file in use, then
// each hotfix folder and the entry HotfixKeyName names, whether or not the
// folder went: each step whatever the one before achieved. The preview's tests
// pin the rest: links, hotfix folders without an entry or a number.
TEST(RunCleanup, TakesItsStepsInOrder) {
  const std::string list = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  const std::string longest = "KB" + std::string(kMaxHotfixKeyName - 2, '7');
  FakePlatform fake;
  const Names kept = {kWin + "a.tmp.bak", kWin + "y.tmp\\in.tmp", kWin + "a.tmp",   kTemp + "busy",
                      kTemp + "after",    kWin + "$KB1$\\a",      kWin + "$KB1$\\b"};
  fake.AddFile(kTemp + "gone");  // listed first
  for (const std::string& path : kept) fake.AddFile(path);
  fake.AddFile(kWin + "ro.tmp", 1, FILE_ATTRIBUTE_READONLY);
  // No hotfix's entry is named "K" or "KB", "k" and "b" alone fold, and only
  // a closing "$" is dropped: a folder without one costs no entry.
  for (const std::string& folder : Names{
           "$NtUninstallkb654321$", "$NtUninstallKB1234567", "$NtUninstallKB123456$", "$", "$KB$",
           "$xkKb1$", "$K B$", "$\xc3\x8b\xc3\x82X$", "$" + longest + "$", "$" + longest + "7$"}) {
    fake.AddFile(kWin + folder + "\\a");
  }
  for (const std::string& entry : Names{"kb654321", "KB123456", "KB1234567", "K", "KB", "Kb1",
                                        longest, longest + "7", "KB1"}) {
    fake.AddRegKey(list + "\\" + entry);
  }
  for (const std::string& p : {kWin + "a.tmp", kWin + "$KB1$\\a", kTemp + "busy"}) fake.SetInUse(p);
  fake.ClearLog();
  RunCleanup(fake, 0);
  std::string steps, windows, entries;
  for (const auto& c : fake.Changes()) {
    const bool entry = c.call == "RegDeleteKeyA";
    const bool hotfix = entry || c.target.rfind(kWin + "$", 0) == 0;
    const char step = c.target.rfind(kTemp, 0) == 0 ? '2' : hotfix ? '3' : '1';
    if (steps.empty() || steps.back() != step) steps += step;
    if (step == '1') {
      windows += c.call + " " + c.target.substr(kWin.size()) + (c.value.empty() ? "" : " ") +
                 c.value + (c.succeeded ? ", " : " failed, ");
    }
    if (entry) entries += c.target.substr(list.size() + 6) + " ";
  }
  EXPECT_EQ(steps, "123");
  // Each through its own handle: the one in use stays, the read-only one is
  // made writable first.
  EXPECT_EQ(
      windows,
      "NtOpenFile a.tmp FILE_DELETE_ON_CLOSE failed, NtOpenFile ro.tmp, NtSetInformationFile "
      "ro.tmp FileBasicInformation, NtSetInformationFile ro.tmp FileDispositionInformation, ");
  EXPECT_EQ(entries, "KB1 kb654321 KB123456 Kb1 " + longest + " ");
  for (const std::string& path : kept) EXPECT_TRUE(fake.Exists(path)) << path;
  EXPECT_EQ(fake.List(kTemp), (Names{"busy", "after"}));
  EXPECT_EQ(fake.List(kWin), (Names{"a.tmp.bak", "y.tmp", "a.tmp", "$KB1$"}));
}

// Limit, KeepDays and SkipUndeletable, each from the policy key when it is
// there and reads as a number, else from the settings key, else the default.
TEST(RunSettings, PolicyOverSettingsKeyOverDefault) {
  using Value = std::tuple<const char*, DWORD, std::vector<BYTE>>;  // name, type, data
  const auto dword = [](DWORD v) { return std::vector<BYTE>{BYTE(v), BYTE(v >> 8), 0, 0}; };
  const struct {
    const char* what;
    std::vector<Value> policy, settings;
    DWORD limit, keepDays, skip;
    SettingSource limitFrom, keepFrom;
  } cases[] = {
      {"none", {}, {}, 20, 0, 0, SettingSource::kDefault, SettingSource::kDefault},
      {"the settings key's",
       {},
       {{kLimit, REG_DWORD, dword(50)},
        {kKeepDaysValue, REG_DWORD, dword(7)},
        {kSkipUndeletableValue, REG_DWORD, dword(1)}},
       50,
       7,
       1,
       SettingSource::kSettings,
       SettingSource::kSettings},
      {"policy over the settings key, value by value",
       {{kKeepDaysValue, REG_DWORD, dword(3)}, {kSkipUndeletableValue, REG_DWORD, dword(0)}},
       {{kLimit, REG_DWORD, dword(50)},
        {kKeepDaysValue, REG_DWORD, dword(7)},
        {kSkipUndeletableValue, REG_DWORD, dword(1)}},
       50,
       3,
       0,
       SettingSource::kSettings,
       SettingSource::kPolicy},
      {"policy as text, as a preference writes it",
       {{kLimit, REG_SZ, Text("0")}},
       {{kLimit, REG_DWORD, dword(50)}},
       0,
       0,
       0,
       SettingSource::kPolicy,
       SettingSource::kDefault},
      // A policy value of the wrong type does not count: the next source does.
      {"policy of the wrong type",
       {{kLimit, REG_BINARY, {1, 2, 3, 4, 5}}, {kKeepDaysValue, REG_SZ, Text("week")}},
       {{kKeepDaysValue, REG_DWORD, dword(7)}},
       20,
       7,
       0,
       SettingSource::kDefault,
       SettingSource::kSettings},
      {"KeepDays past its cap",
       {{kKeepDaysValue, REG_DWORD, {0xff, 0xff, 0xff, 0xff}}},
       {},
       20,
       kMaxKeepDays,
       0,
       SettingSource::kDefault,
       SettingSource::kPolicy},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    fake.AddRegKey(kSettingsKey);
    for (const auto& [name, type, data] : c.policy) fake.SetRegValue(kPolicyKey, name, type, data);
    for (const auto& [name, type, data] : c.settings) {
      fake.SetRegValue(kSettingsKey, name, type, data);
    }
    const RunSettings run = ReadGateSettings(fake).run;
    EXPECT_EQ(run.limitMB.value, c.limit);
    EXPECT_EQ(run.keepDays.value, c.keepDays);
    EXPECT_EQ(run.skipUndeletable.value, c.skip);
    EXPECT_EQ(run.limitMB.source, c.limitFrom);
    EXPECT_EQ(run.keepDays.source, c.keepFrom);
    // The gate that lets a run go on hands it the same.
    const GateDecision gate = PassRunGate(fake, kToday, 1);
    EXPECT_EQ(gate.limitMB, c.limit);
    EXPECT_EQ(gate.settings.keepDays.value, c.keepDays);
    EXPECT_TRUE(fake.Changes().size() == 1 && fake.Changes()[0].value == kDate);
  }
}

// The age rule (KeepDays) and SkipUndeletable over whole forced starts, with
// the record they leave: what stays, the estimate and what the deletions
// freed, in kilobytes. Entries are touched now unless their flags say how many
// days ago (machine_text.h). Without held files the estimate is exactly what
// is freed.
TEST(CleaningRules, KeepRecentAndGoOnPastWhatStays) {
  const struct {
    const char* what;
    const char* machine;
    DWORD keepDays, skip;
    const char* left;  // what stays in the temporary folder and the Windows directory
    DWORD estimateKB, freedKB;
    bool clock = true;  // false: the clock gives nothing
  } cases[] = {
      {"neither: a held file ends its folder", "%T\\a=1k %T\\b=2k+u %T\\c=4k %T\\s\\d=8k", 0, 0,
       "b c s s\\d", 15, 1},
      {"go on past it", "%T\\a=1k %T\\b=2k+u %T\\c=4k %T\\s\\d=8k+d30", 0, 1, "b", 15, 13},
      {"old and recent, at the top and deeper",
       "%T\\old=1k+d30 %T\\new=2k %T\\s\\old=4k+d8 %T\\s\\new=8k+d6", 7, 0, "new s s\\new", 5, 5},
      {"a recent file in front of old ones", "%T\\new=1k+d1 %T\\old=2k+d30", 7, 0, "new", 2, 2},
      {"a recent file in an old folder", "%T\\s\\+d30 %T\\s\\new=1k %T\\s\\old=2k+d30", 7, 0,
       "s s\\new", 2, 2},
      {"an emptied folder goes only when old", "%T\\s\\old=1k+d30 %T\\t\\+d30 %T\\t\\old=2k+d30", 7,
       0, "s", 3, 3},
      {"future times and a late write are recent", "%T\\f=1k+d-2 %T\\g=2k+c30", 7, 0, "f g", 0, 0},
      {"KeepDays past its cap counts as 36,500", "%T\\ancient=1k+d36501 %T\\old=2k+d36499", 99999,
       0, "old", 1, 1},
      {"the Windows directory's *.tmp files too, not the hotfix folders",
       "Windows\\old.tmp=1k+d30 Windows\\new.tmp=2k Windows\\$hf\\new=4k", 7, 0, "new.tmp", 5, 5},
      {"a clock that cannot be read: nothing is old enough", "%T\\old=1k+d30", 7, 0, "old", 0, 0,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    fake.SetCommandLine("C:\\Tools\\sweepwell.exe 1");
    fake.SetRegDword(kSettingsKey, kLimit, 0);
    fake.SetRegDword(kSettingsKey, kKeepDaysValue, c.keepDays);
    fake.SetRegDword(kSettingsKey, kSkipUndeletableValue, c.skip);
    Build(fake, c.machine);
    if (!c.clock) fake.FailCall("GetSystemTimeAsFileTime", 1);
    EXPECT_EQ(ApplicationMain(fake), 0);
    std::string left;
    std::function<void(const std::string&, const std::string&)> walk = [&](auto& folder, auto& as) {
      for (const std::string& name : fake.List(folder)) {
        left += (left.empty() ? "" : " ") + as + name;
        walk(folder + "\\" + name, as + name + "\\");
      }
    };
    walk(Expand("C:\\%T"), "");
    walk("C:\\Windows", "");
    EXPECT_EQ(left, c.left);
    const auto record = [&](const char* name) {
      const auto value = fake.GetRegValue(kSettingsKey, name);
      return value && value->data.size() == 4 ? value->data[0] | value->data[1] << 8 : -1;
    };
    EXPECT_EQ(record(kLastEstimateValue), static_cast<int>(c.estimateKB));
    EXPECT_EQ(record(kLastFreedValue), static_cast<int>(c.freedKB));
  }
}

// The record: written by every run that passes the gate, LastCleaned and
// LastFreedKB only by one that cleans; a file in use is not freed.
TEST(RunRecord, TellsWhatEachRunDid) {
  FakePlatform fake;
  fake.SetCommandLine("C:\\Tools\\sweepwell.exe 1");
  Build(fake, "%T\\a=3m %T\\b=2m+u %T\\c=15m+d30 Windows\\x.tmp=1m");
  const auto stored = [&](const char* name) {
    const auto value = fake.GetRegValue(kSettingsKey, name);
    return value ? std::string(value->data.begin(), value->data.end()) : std::string("none");
  };
  const auto number = [](DWORD v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  };
  EXPECT_EQ(ApplicationMain(fake), 0);  // a first run: 21 MB reach 20
  EXPECT_EQ(stored(kLastEstimateValue), number(21 << 10));
  EXPECT_EQ(stored(kLastCleanedValue), std::string("2026-12-06T09:00:00") + '\0');
  EXPECT_EQ(stored(kLastFreedValue), number(4 << 10));  // b stays, and c after it
  // A day later, forced, below the threshold: the estimate alone is rewritten.
  fake.SetLocalTime(2026, 12, 7);
  EXPECT_EQ(ApplicationMain(fake), 0);
  EXPECT_EQ(stored(kLastEstimateValue), number(17 << 10));
  EXPECT_EQ(stored(kLastCleanedValue), std::string("2026-12-06T09:00:00") + '\0');
  EXPECT_EQ(stored(kLastFreedValue), number(4 << 10));
  // Unforced on the same day, the gate stops the start: nothing is written.
  fake.SetCommandLine("C:\\Tools\\sweepwell.exe");
  fake.ClearLog();
  EXPECT_EQ(ApplicationMain(fake), 0);
  EXPECT_TRUE(fake.Changes().empty());
}

TEST(ApplicationMain, SameDayStartCleansOnlyWhenForced) {
  // The command line, and whether it forces a run.
  const std::pair<std::string, bool> cases[] = {
      {"C:\\Tools\\sweepwell.exe", false},
      {" \tC:\\x.exe\t007", true},
      {"x.exe 0x10", false},
      // Beyond int the value saturates: a wrap could turn a forcing argument into 0.
      {"x.exe 4294967296", true},
      {"x.exe -99999999999999999999", true},
      // A quoted path keeps its blanks; unquoted, the path ends at its first blank.
      {"\"C:\\Program Files 2\\s.exe\"", false},
      {"\"unterminated 5", false},
      {"C:\\Tools 2\\x.exe", true},
  };
  for (const auto& [commandLine, forced] : cases) {
    SCOPED_TRACE(commandLine);
    FakePlatform fake;
    fake.SetLocalTime(2026, 2, 7);
    fake.SetRegValue(kSettingsKey, kDate, REG_SZ, Text("2026/2/7"));
    fake.SetRegDword(kSettingsKey, kLimit, 0);
    fake.AddFile(kWin + "old.tmp");
    fake.SetErrorMode(SEM_NOGPFAULTERRORBOX);
    fake.SetCommandLine(commandLine);
    fake.ClearLog();
    EXPECT_EQ(ApplicationMain(fake), 0);
    EXPECT_EQ(fake.Exists(kWin + "old.tmp"), !forced);
    // The error mode first.
    EXPECT_EQ(fake.Calls().front().call, "SetErrorMode");
    std::size_t opens = 0;
    for (const auto& call : fake.Calls()) opens += call.call == "RegOpenKeyA" ? 1u : 0u;
    EXPECT_EQ(opens == 1, !forced);  // unforced, the gate's key is all it opens
    EXPECT_EQ(fake.SetErrorMode(0),  // gives the mode it replaces
              SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  }
}

}  // namespace
