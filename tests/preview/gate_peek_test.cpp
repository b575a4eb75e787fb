// The gate as a preview sees it: the settings key read as it stands, and the
// decision PassRunGate would take over it, taken without writing anything.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/gate_settings.h"
#include "app/run_gate.h"
#include "platform/fake_platform.h"

namespace {

const std::string kToday = "2026/12/6";

std::vector<BYTE> Text(const std::string& text) {  // with its terminating zero
  std::vector<BYTE> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

void Date(FakePlatform& fake, DWORD type, const std::vector<BYTE>& data) {
  fake.SetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, type, data);
}
void Limit(FakePlatform& fake, DWORD type, const std::vector<BYTE>& data) {
  fake.SetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, type, data);
}

struct GateCase {
  const char* what;
  std::function<void(FakePlatform&)> arrange;
  int force;
};

// Each machine is built twice: one is peeked at, the other passes the gate.
TEST(GatePeek, DecidesAsThePassingGateWithoutWriting) {
  const GateCase cases[] = {
      {"no key", [](FakePlatform&) {}, 0},
      {"today", [](FakePlatform& f) { Date(f, REG_SZ, Text(kToday)); }, 0},
      {"today, forced", [](FakePlatform& f) { Date(f, REG_SZ, Text(kToday)); }, 1},
      {"today, then more bytes",
       [](FakePlatform& f) { Date(f, REG_SZ, Text(kToday + std::string(1, '\0') + "x")); }, 0},
      {"yesterday", [](FakePlatform& f) { Date(f, REG_SZ, Text("2026/12/5")); }, 0},
      {"leading zeros", [](FakePlatform& f) { Date(f, REG_SZ, Text("2026/12/06")); }, 0},
      {"no terminating zero",
       [](FakePlatform& f) { Date(f, REG_SZ, std::vector<BYTE>(kToday.begin(), kToday.end())); },
       0},
      {"today as binary", [](FakePlatform& f) { Date(f, REG_BINARY, Text(kToday)); }, 0},
      {"300 bytes", [](FakePlatform& f) { Date(f, REG_SZ, Text(std::string(299, '7'))); }, 0},
      {"Limit only, 50",
       [](FakePlatform& f) {
         Limit(f, REG_DWORD, {50, 0, 0, 0});
       },
       0},
      {"today, Limit 0",
       [](FakePlatform& f) {
         Date(f, REG_SZ, Text(kToday));
         Limit(f, REG_DWORD, {0, 0, 0, 0});
       },
       -1},
      {"Limit as text", [](FakePlatform& f) { Limit(f, REG_SZ, Text("50")); }, 0},
      {"Limit of five bytes",
       [](FakePlatform& f) {
         Limit(f, REG_BINARY, {1, 2, 3, 4, 5});
       },
       0},
      {"reads fail",
       [](FakePlatform& f) {
         Date(f, REG_SZ, Text(kToday));
         Limit(f, REG_DWORD, {50, 0, 0, 0});
         f.FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED);
       },
       0},
  };
  for (const GateCase& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform peeked;
    FakePlatform passed;
    c.arrange(peeked);
    c.arrange(passed);
    peeked.ClearLog();

    const GateSettings settings = ReadGateSettings(peeked);
    const GateDecision peek = PeekRunGate(settings, kToday, c.force);
    EXPECT_TRUE(peeked.Changes().empty()) << peeked.Dump();
    EXPECT_EQ(peeked.OpenRegKeys(), 0u);

    const GateDecision pass = PassRunGate(passed, kToday, c.force);
    EXPECT_EQ(peek.run, pass.run);
    EXPECT_EQ(peek.limitMB, pass.limitMB);
  }
}

TEST(GateSettingsRead, ShowsTheValuesAsStored) {
  FakePlatform fake;
  EXPECT_FALSE(ReadGateSettings(fake).keyExists);
  EXPECT_FALSE(fake.RegKeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));

  fake.AddRegKey(HKEY_LOCAL_MACHINE, kSettingsKey);
  GateSettings settings = ReadGateSettings(fake);
  EXPECT_TRUE(settings.keyExists);
  EXPECT_EQ(settings.limit.status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(settings.limit.limitMB, kDefaultLimitMB);
  EXPECT_EQ(settings.date.status, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(settings.date.bytes.empty());

  Date(fake, REG_SZ, Text("2026/12/5"));
  Limit(fake, REG_BINARY, {1, 2, 3, 4, 5});
  settings = ReadGateSettings(fake);
  EXPECT_EQ(settings.date.status, ERROR_SUCCESS);
  EXPECT_EQ(settings.date.type, REG_SZ);
  EXPECT_EQ(settings.date.bytes, std::string("2026/12/5", 10));  // its zero included
  EXPECT_EQ(settings.limit.status, ERROR_MORE_DATA);
  EXPECT_EQ(settings.limit.limitMB, kDefaultLimitMB);

  Limit(fake, REG_DWORD, {0x2c, 0x01, 0, 0});
  Date(fake, REG_SZ, Text(std::string(299, '7')));
  settings = ReadGateSettings(fake);
  EXPECT_EQ(settings.limit.status, ERROR_SUCCESS);
  EXPECT_EQ(settings.limit.type, REG_DWORD);
  EXPECT_EQ(settings.limit.limitMB, 300u);
  EXPECT_EQ(settings.date.status, ERROR_MORE_DATA);
  EXPECT_TRUE(settings.date.bytes.empty());
  EXPECT_EQ(fake.OpenRegKeys(), 0u);
}

}  // namespace
