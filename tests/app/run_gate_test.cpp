#include "app/run_gate.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/settings.h"
#include "support/fake_platform.h"

namespace {

const std::string kToday = "2026/12/6";

std::vector<BYTE> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
std::vector<BYTE> Text(const std::string& text) {  // with its terminating zero
  std::vector<BYTE> bytes = Bytes(text);
  bytes.push_back(0);
  return bytes;
}

std::vector<std::string> ChangedValues(const FakePlatform& fake) {
  std::vector<std::string> names;
  for (const auto& call : fake.Changes()) names.push_back(call.call + " " + call.value);
  return names;
}

// Passes the gate, after checking that a preview's read of the key, which
// must change nothing, foresees the same decision.
GateDecision PassAndPeek(FakePlatform& fake, int force) {
  fake.ClearLog();
  const GateSettings settings = ReadGateSettings(fake);
  EXPECT_TRUE(fake.Changes().empty()) << "the peek changed something";
  if (settings.date.status != ERROR_SUCCESS) {
    EXPECT_EQ(settings.date.bytes, "");  // a failed read shows nothing of the value
  }
  const GateDecision peek = PeekRunGate(settings, kToday, force);
  const GateDecision pass = PassRunGate(fake, kToday, force);
  EXPECT_EQ(peek.run, pass.run);
  EXPECT_EQ(peek.limitMB, pass.limitMB);
  EXPECT_EQ(fake.OpenRegKeys(), 0u);
  return pass;
}

TEST(FormatRunDate, HasNoLeadingZeros) {
  SYSTEMTIME date{};
  date.wYear = 2008;
  date.wMonth = 2;
  date.wDay = 7;
  EXPECT_EQ(FormatRunDate(date), "2008/2/7");
  date.wMonth = 12;
  date.wDay = 31;
  EXPECT_EQ(FormatRunDate(date), "2008/12/31");
  date.wYear = 30827;  // the largest year SYSTEMTIME can hold fits the text
  EXPECT_EQ(FormatRunDate(date), "30827/12/31");
}

TEST(RunGate, FirstRunCreatesTheKeyAndRuns) {
  FakePlatform fake;
  const GateDecision gate = PassAndPeek(fake, 0);
  EXPECT_TRUE(gate.run);
  EXPECT_EQ(gate.limitMB, 20u);
  auto date = fake.GetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue);
  ASSERT_TRUE(date) << fake.Dump();
  EXPECT_EQ(date->type, REG_SZ);
  EXPECT_EQ(date->data, Text(kToday));
  auto limit = fake.GetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue);
  ASSERT_TRUE(limit);
  EXPECT_EQ(limit->type, REG_DWORD);
  EXPECT_EQ(limit->data, (std::vector<BYTE>{20, 0, 0, 0}));
}

TEST(RunGate, KeyThatCannotBeCreatedStillRunsAndWritesNothing) {
  FakePlatform fake;
  fake.FailCall("RegCreateKeyA", ERROR_ACCESS_DENIED);
  const GateDecision gate = PassAndPeek(fake, 0);
  EXPECT_TRUE(gate.run);
  EXPECT_EQ(gate.limitMB, 20u);
  EXPECT_EQ(ChangedValues(fake), std::vector<std::string>{"RegCreateKeyA "});
}

// With the key in place: a run rewrites the date alone, no run changes
// nothing, and Limit is never rewritten.
TEST(RunGate, DecidesFromTheStoredDateAndLimit) {
  const auto date = [](DWORD type, std::vector<BYTE> data) {
    return [=](FakePlatform& f) {
      f.SetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, type, data);
    };
  };
  // A new day with this Limit.
  const auto limit = [](DWORD type, std::vector<BYTE> data) {
    return [=](FakePlatform& f) {
      f.SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, "2000/1/1");
      f.SetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, type, data);
    };
  };
  struct Case {
    const char* what;
    std::function<void(FakePlatform&)> arrange;
    int force;
    bool run;
    DWORD limitMB;
  };
  const Case cases[] = {
      {"same day", date(REG_SZ, Text(kToday)), 0, false, 20},
      {"same day, forced", date(REG_SZ, Text(kToday)), 1, true, 20},
      {"same day, forced with -1", date(REG_SZ, Text(kToday)), -1, true, 20},
      {"same day, then its zero and more bytes", date(REG_SZ, Bytes(kToday + '\0' + "junk")), 0,
       false, 20},
      {"yesterday", date(REG_SZ, Text("2026/12/5")), 0, true, 20},
      {"clock set back", date(REG_SZ, Text("2027/1/1")), 0, true, 20},
      {"leading zeros", date(REG_SZ, Text("2026/12/06")), 0, true, 20},
      {"today is a prefix of it", date(REG_SZ, Text("2026/12/60")), 0, true, 20},
      {"empty text", date(REG_SZ, Text("")), 0, true, 20},
      {"no bytes", date(REG_SZ, {}), 0, true, 20},
      {"no terminating zero", date(REG_SZ, Bytes(kToday)), 0, true, 20},
      {"a number", date(REG_DWORD, {0x32, 0x30, 0x32, 0x36}), 0, true, 20},
      {"today's bytes as binary", date(REG_BINARY, Text(kToday)), 0, true, 20},
      {"300 bytes", date(REG_SZ, Text(std::string(299, '7'))), 0, true, 20},
      {"no date", [](FakePlatform& f) { f.AddRegKey(HKEY_LOCAL_MACHINE, kSettingsKey); }, 0, true,
       20},
      {"Limit 300", limit(REG_DWORD, {0x2c, 0x01, 0, 0}), 0, true, 300},
      {"Limit 0", limit(REG_DWORD, {0, 0, 0, 0}), 0, true, 0},
      {"the largest Limit", limit(REG_DWORD, {0xff, 0xff, 0xff, 0xff}), 0, true, 0xffffffffu},
      {"Limit of two bytes", limit(REG_BINARY, {0x10, 0x01}), 0, true, 0x110},
      {"Limit of no bytes", limit(REG_DWORD, {}), 0, true, 0},
      {"Limit as the text 50", limit(REG_SZ, Text("50")), 0, true, 0x3035},
      {"Limit as a QWORD is too long", limit(REG_QWORD, {5, 0, 0, 0, 0, 0, 0, 0}), 0, true, 20},
      {"Limit of five bytes is too long", limit(REG_BINARY, {1, 2, 3, 4, 5}), 0, true, 20},
      {"same day, Limit 50, forced",
       [](FakePlatform& f) {
         f.SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, kToday);
         f.SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, 50);
       },
       7, true, 50},
      {"reads fail: a new day with the default Limit",
       [](FakePlatform& f) {
         f.SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, kToday);
         f.SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, 50);
         f.FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED);
       },
       0, true, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    c.arrange(fake);
    const auto limitBefore = fake.GetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue);
    const GateDecision gate = PassAndPeek(fake, c.force);
    EXPECT_EQ(gate.run, c.run);
    EXPECT_EQ(gate.limitMB, c.limitMB);
    if (c.run) {
      EXPECT_EQ(ChangedValues(fake), std::vector<std::string>{"RegSetValueExA ExecuteDate"});
      EXPECT_EQ(fake.GetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue)->data,
                Text(kToday));
    } else {
      EXPECT_TRUE(fake.Changes().empty()) << fake.Dump();
    }
    const auto limitAfter = fake.GetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue);
    ASSERT_EQ(limitAfter.has_value(), limitBefore.has_value());
    if (limitBefore) {
      EXPECT_EQ(limitAfter->data, limitBefore->data);
    }
  }
}

}  // namespace
