#include "app/run_gate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake_platform.h"

namespace {

std::vector<BYTE> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
std::vector<BYTE> Text(const std::string& text) {  // with its terminating zero
  std::vector<BYTE> bytes = Bytes(text);
  bytes.push_back(0);
  return bytes;
}

class RunGateTest : public testing::Test {
 protected:
  RunGateTest() { fake_.SetLocalTime(2026, 12, 6); }

  void StoreDate(const std::string& date) {
    fake_.SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, date);
  }
  std::optional<FakePlatform::RegValue> Stored(const char* name) const {
    return fake_.GetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, name);
  }
  std::vector<std::string> ChangedValues() const {
    std::vector<std::string> names;
    for (const auto& call : fake_.Changes()) names.push_back(call.call + " " + call.value);
    return names;
  }

  FakePlatform fake_;
  const std::string today_ = "2026/12/6";
};

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

TEST_F(RunGateTest, FirstRunCreatesTheKeyAndRuns) {
  const GateDecision gate = PassRunGate(fake_, today_, 0);
  EXPECT_TRUE(gate.run);
  EXPECT_EQ(gate.limitMB, 20u);
  auto date = Stored(kExecuteDateValue);
  ASSERT_TRUE(date) << fake_.Dump();
  EXPECT_EQ(date->type, REG_SZ);
  EXPECT_EQ(date->data, Text("2026/12/6"));
  auto limit = Stored(kLimitValue);
  ASSERT_TRUE(limit);
  EXPECT_EQ(limit->type, REG_DWORD);
  EXPECT_EQ(limit->data, (std::vector<BYTE>{20, 0, 0, 0}));
  EXPECT_EQ(fake_.OpenRegKeys(), 0u);
}

TEST_F(RunGateTest, KeyThatCannotBeCreatedStillRunsAndWritesNothing) {
  fake_.FailCall("RegCreateKeyA", ERROR_ACCESS_DENIED);
  const GateDecision gate = PassRunGate(fake_, today_, 0);
  EXPECT_TRUE(gate.run);
  EXPECT_EQ(gate.limitMB, 20u);
  EXPECT_FALSE(fake_.RegKeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
  EXPECT_EQ(ChangedValues(), std::vector<std::string>{"RegCreateKeyA "});
}

TEST_F(RunGateTest, SameDayWithoutForceChangesNothing) {
  StoreDate(today_);
  fake_.SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, 50);
  fake_.ClearLog();
  const GateDecision gate = PassRunGate(fake_, today_, 0);
  EXPECT_FALSE(gate.run);
  EXPECT_TRUE(fake_.Changes().empty()) << fake_.Dump();
  EXPECT_EQ(Stored(kExecuteDateValue)->data, Text(today_));
  EXPECT_EQ(fake_.OpenRegKeys(), 0u);
}

TEST_F(RunGateTest, AnyNonZeroForceRunsAgainAndRewritesOnlyTheDate) {
  for (int force : {1, -1, 7}) {
    StoreDate(today_);
    fake_.SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, 50);
    fake_.ClearLog();
    const GateDecision gate = PassRunGate(fake_, today_, force);
    EXPECT_TRUE(gate.run) << force;
    EXPECT_EQ(gate.limitMB, 50u);
    EXPECT_EQ(ChangedValues(), std::vector<std::string>{"RegSetValueExA ExecuteDate"});
  }
}

TEST_F(RunGateTest, OtherStoredDatesRunAndStoreToday) {
  const char* others[] = {
      "2026/12/5",   // yesterday
      "2027/1/1",    // the clock was set back
      "2026/12/06",  // leading zeros never equal the program's own text
      "2026/12/60",  // today's text is a prefix of it
      "",
  };
  for (const char* stored : others) {
    StoreDate(stored);
    fake_.ClearLog();
    EXPECT_TRUE(PassRunGate(fake_, today_, 0).run) << stored;
    EXPECT_EQ(Stored(kExecuteDateValue)->data, Text(today_)) << stored;
  }
}

TEST_F(RunGateTest, UnreadableOrMalformedDatesRunAsANewDay) {
  struct Malformed {
    const char* what;
    DWORD type;
    std::vector<BYTE> data;
  };
  std::string longText(299, '7');
  const Malformed cases[] = {
      {"no terminating zero", REG_SZ, Bytes(today_)},
      {"a number", REG_DWORD, {0x32, 0x30, 0x32, 0x36}},
      {"today's bytes as binary", REG_BINARY, Text(today_)},
      {"300 bytes", REG_SZ, Text(longText)},
      {"no bytes", REG_SZ, {}},
  };
  for (const Malformed& c : cases) {
    fake_.SetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, c.type, c.data);
    EXPECT_TRUE(PassRunGate(fake_, today_, 0).run) << c.what;
    EXPECT_EQ(Stored(kExecuteDateValue)->data, Text(today_)) << c.what;
  }
}

TEST_F(RunGateTest, TodayFollowedByItsZeroAndMoreBytesIsToday) {
  std::vector<BYTE> data = Text(today_);
  for (char c : std::string("junk")) data.push_back(static_cast<BYTE>(c));
  fake_.SetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, REG_SZ, data);
  EXPECT_FALSE(PassRunGate(fake_, today_, 0).run);
}

TEST_F(RunGateTest, LimitIsReadFromUpToFourBytesOfAnyType) {
  struct Case {
    const char* what;
    DWORD type;
    std::vector<BYTE> data;
    DWORD limit;
  };
  const Case cases[] = {
      {"a DWORD", REG_DWORD, {0x2c, 0x01, 0, 0}, 300},
      {"zero", REG_DWORD, {0, 0, 0, 0}, 0},
      {"the largest", REG_DWORD, {0xff, 0xff, 0xff, 0xff}, 0xffffffffu},
      {"two bytes", REG_BINARY, {0x10, 0x01}, 0x110},
      {"no bytes", REG_DWORD, {}, 0},
      {"the text 50", REG_SZ, Text("50"), 0x3035},
      {"a QWORD is too long", REG_QWORD, {5, 0, 0, 0, 0, 0, 0, 0}, 20},
      {"five bytes are too long", REG_BINARY, {1, 2, 3, 4, 5}, 20},
  };
  for (const Case& c : cases) {
    StoreDate("2000/1/1");
    fake_.SetRegValue(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, c.type, c.data);
    const GateDecision gate = PassRunGate(fake_, today_, 0);
    EXPECT_TRUE(gate.run) << c.what;
    EXPECT_EQ(gate.limitMB, c.limit) << c.what;
    EXPECT_EQ(Stored(kLimitValue)->data, c.data) << c.what << ": Limit is never rewritten";
  }
}

TEST_F(RunGateTest, MissingLimitCountsAsTwentyAndIsNotRecreated) {
  StoreDate("2000/1/1");
  const GateDecision gate = PassRunGate(fake_, today_, 0);
  EXPECT_TRUE(gate.run);
  EXPECT_EQ(gate.limitMB, 20u);
  EXPECT_FALSE(Stored(kLimitValue));
}

TEST_F(RunGateTest, FailingReadsRunAsANewDayWithTheDefaultLimit) {
  StoreDate(today_);
  fake_.SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, 50);
  fake_.FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED);
  const GateDecision gate = PassRunGate(fake_, today_, 0);
  EXPECT_TRUE(gate.run);
  EXPECT_EQ(gate.limitMB, 20u);
}

}  // namespace
