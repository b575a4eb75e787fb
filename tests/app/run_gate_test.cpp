// The once-a-day gate over the settings key: its four outcomes, how Limit and
// ExecuteDate are read, and that the preview's peek decides as the gate does.
// Then whole starts on a day the program already ran: the error mode first,
// then the gate on today's date (formatted without leading zeros), which a
// non-zero number read as "%d" after the program's path forces open. The fuzz
// target holds the command-line parser to a model on any text.
#include "app/run_gate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/cleanup_app.h"
#include "app/settings.h"
#include "support/fake_platform.h"

namespace {

const std::string kToday = "2026/12/6";
const char kDate[] = "ExecuteDate";
const char kLimit[] = "Limit";

std::vector<BYTE> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
std::vector<BYTE> Text(const std::string& text) { return Bytes(text + '\0'); }

TEST(RunGate, DecidesFromTheKeyAndWritesOnlyTheDateOfARun) {
  struct Value {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
  };
  const Value today{kDate, REG_SZ, Text(kToday)};
  const Value fifty{kLimit, REG_DWORD, {50, 0, 0, 0}};
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
      {"leading zeros", {{kDate, REG_SZ, Text("2026/12/06")}}, 0, true, 20},
      {"today is a prefix of it", {{kDate, REG_SZ, Text("2026/12/60")}}, 0, true, 20},
      {"no terminating zero", {{kDate, REG_SZ, Bytes(kToday)}}, 0, true, 20},
      {"today's bytes as binary", {{kDate, REG_BINARY, Text(kToday)}}, 0, true, 20},
      {"longer than the read", {{kDate, REG_SZ, Text(std::string(299, '7'))}}, 0, true, 20},
      {"no values", {{}}, 0, true, 20},
      {"the largest Limit", {{kLimit, REG_DWORD, {0xff, 0xff, 0xff, 0xff}}}, 0, true, 0xffffffffu},
      {"Limit of two bytes", {{kLimit, REG_BINARY, {0x10, 0x01}}}, 0, true, 0x110},
      {"Limit of no bytes", {{kLimit, REG_DWORD, {}}}, 0, true, 0},
      {"Limit of five bytes", {{kLimit, REG_BINARY, {1, 2, 3, 4, 5}}}, 0, true, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    for (const Value& v : c.key) {
      fake.AddRegKey(HKEY_LOCAL_MACHINE, kSettingsKey);
      if (v.name) fake.SetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, v.name, v.type, v.data);
    }
    if (*c.failing != 0) fake.FailCall(c.failing, ERROR_ACCESS_DENIED);
    const GateDecision peek = PeekRunGate(ReadGateSettings(fake), kToday, c.force);
    EXPECT_TRUE(fake.Changes().empty());
    const GateDecision gate = PassRunGate(fake, kToday, c.force);
    for (const GateDecision& d : {peek, gate})
      EXPECT_TRUE(d.run == c.run && d.limitMB == c.limitMB);
    std::string writes;
    for (const auto& call : fake.Changes()) {
      writes += (call.value.empty() ? call.call : call.value) + " ";
    }
    EXPECT_EQ(writes, c.writes ? c.writes : c.run ? "ExecuteDate " : "");
    EXPECT_EQ(fake.OpenRegKeys(), 0u);
  }
  FakePlatform fresh;
  PassRunGate(fresh, kToday, 0);
  // A run writes today's date as a string; the first one Limit 20 too.
  const auto date = fresh.GetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kDate);
  EXPECT_TRUE(date && date->type == REG_SZ && date->data == Text(kToday));
  const auto limit = fresh.GetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kLimit);
  EXPECT_TRUE(limit && limit->type == REG_DWORD && limit->data == Bytes({20, 0, 0, 0}));
}

TEST(ApplicationMain, SameDayStartCleansOnlyWhenForced) {
  const struct {
    std::string commandLine;
    bool forced;
  } cases[] = {
      {"C:\\Tools\\sweepwell.exe", false},
      {" \tC:\\x.exe\t7", true},
      {"x.exe 0x10", false},
      // Beyond int the value saturates: a wrap could turn a forcing argument into 0.
      {"x.exe 4294967296", true},
      {"x.exe -99999999999999999999", true},
      // A quoted path keeps its blanks; unquoted, the path ends at its first blank.
      {"\"C:\\Program Files 2\\s.exe\"", false},
      {"\"unterminated 5", false},
      {"C:\\Tools 2\\x.exe", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.commandLine);
    FakePlatform fake;
    fake.SetLocalTime(2026, 2, 7);
    fake.SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, "2026/2/7");
    fake.SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, 0);
    fake.AddFile("C:\\Windows\\old.tmp");
    fake.SetErrorMode(SEM_NOGPFAULTERRORBOX);
    fake.SetCommandLine(c.commandLine);
    fake.ClearLog();
    EXPECT_EQ(ApplicationMain(fake), 0);
    EXPECT_EQ(fake.ErrorMode(),
              SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    EXPECT_EQ(fake.Exists("C:\\Windows\\old.tmp"), !c.forced);
    // The error mode first; unforced, the gate's key is the last thing read.
    EXPECT_EQ(fake.Calls().front().call, "SetErrorMode");
    EXPECT_EQ(fake.Calls().back().call == "RegCloseKey", !c.forced) << fake.Dump();
  }
}

}  // namespace
