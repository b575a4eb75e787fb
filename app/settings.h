// The settings: the one place that opens the settings key,
// HKEY_LOCAL_MACHINE\SOFTWARE\Brisca\Sweepwell, and the policy key,
// HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Brisca\Sweepwell. The settings key holds
// the gate's ExecuteDate, Limit, and the record of the last run; Limit,
// KeepDays and SkipUndeletable are each read from the policy key first.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/scoped_handle.h"

extern const char kSettingsKey[];           // "SOFTWARE\Brisca\Sweepwell"
extern const char kPolicyKey[];             // "SOFTWARE\Policies\Brisca\Sweepwell"
extern const char kExecuteDateValue[];      // "ExecuteDate"
extern const char kLimitValue[];            // "Limit"
extern const char kKeepDaysValue[];         // "KeepDays"
extern const char kSkipUndeletableValue[];  // "SkipUndeletable"
extern const char kLastEstimateValue[];     // "LastEstimateKB"
extern const char kLastCleanedValue[];      // "LastCleaned"
extern const char kLastFreedValue[];        // "LastFreedKB"
constexpr DWORD kDefaultLimitMB = 20;

// The stored date is read with this limit; a longer value counts as unreadable.
constexpr DWORD kDateReadLimit = 200;

// The key opened as it is (never made), or made and opened; empty owners when
// that fails.
ScopedRegKey OpenSettingsKey(Platform& platform);
ScopedRegKey CreateSettingsKey(Platform& platform);

// A number is read with this limit, its terminating zero counted.
constexpr DWORD kLimitReadLimit = 64;

// A number (Limit, KeepDays, SkipUndeletable) as read from one key. A REG_SZ
// or REG_EXPAND_SZ value is the decimal number its text holds, blanks (spaces
// and tabs) around it allowed: "50" is 50, as `reg add` stores it by default.
// A text that is not such a number, names one past 4294967295 or is longer
// than the read counts as missing. A value of any other type, of up to four
// bytes, fills the low-order bytes of a number that starts at 0; a longer one
// counts as missing.
struct StoredNumber {
  LSTATUS status = ERROR_FILE_NOT_FOUND;  // of the read: ERROR_SUCCESS, or why it failed
  DWORD type = REG_NONE;                  // as the read reported it
  std::string text;                       // a text value as read, up to its terminating zero
  bool fromValue = false;  // value is the stored one; when false, it counts as missing
  DWORD value = 0;
};
// Whether a number of this type is read as the number its text holds.
bool IsTextLimitType(DWORD type);
StoredNumber ReadStoredNumber(Platform& platform, HKEY key, const char* name);

// Where a setting a run uses came from.
enum class SettingSource { kPolicy, kSettings, kDefault };

// A setting: the policy key's value when it is there and reads as a number,
// else the settings key's when it does, else the default.
struct Setting {
  DWORD value = 0;
  SettingSource source = SettingSource::kDefault;
  StoredNumber policy;    // as read from the policy key
  StoredNumber settings;  // as read from the settings key
};

constexpr DWORD kMaxKeepDays = 36500;  // a KeepDays past it counts as it

// The three settings of a run. KeepDays: a file touched fewer days ago is kept
// (0: no age rule). SkipUndeletable: non-zero, a file that cannot be deleted
// is passed over rather than ending its folder's walk.
struct RunSettings {
  Setting limitMB, keepDays, skipUndeletable;
};

// Reads the three from the policy key (opened here as it is, never made) and
// from `settingsKey` (none when null).
RunSettings ReadRunSettings(Platform& platform, HKEY settingsKey);

// ExecuteDate as read, up to kDateReadLimit bytes.
struct StoredDate {
  LSTATUS status = ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::string bytes;  // every byte read, zeros included; empty when the read failed
};
StoredDate ReadStoredDate(Platform& platform, HKEY key);

// True only when the bytes read are `today` and its terminating zero, whatever
// the value's type (a tool or a policy may store the date as REG_EXPAND_SZ).
// Nothing past the bytes read is looked at, so a value without a zero or too
// long to read reads as another day, as does one that could not be read.
bool IsStoredDate(const StoredDate& stored, const std::string& today);

// ExecuteDate as REG_SZ, its terminating zero counted; Limit as REG_DWORD.
// Results are not looked at: a value that cannot be written leaves the next
// start to decide as if it were missing.
void WriteExecuteDate(Platform& platform, HKEY key, const std::string& today);
void WriteLimit(Platform& platform, HKEY key, DWORD limitMB);

// The record of the last run that passed the gate, in the settings key: the
// estimate it compared with the threshold (LastEstimateKB, REG_DWORD); and
// when it cleaned, the local date and time (LastCleaned, REG_SZ,
// "2026-12-07T03:12:44") and what the files it deleted held (LastFreedKB,
// REG_DWORD). A value that cannot be written leaves the others as they are.
struct RunRecord {
  DWORD estimateKB = 0;
  bool cleaned = false;
  SYSTEMTIME cleanedAt{};
  DWORD freedKB = 0;
};
void WriteRunRecord(Platform& platform, const RunRecord& record);

// The record as stored, for a reader.
struct StoredRecord {
  StoredNumber estimateKB, freedKB;
  LSTATUS cleanedStatus = ERROR_FILE_NOT_FOUND;
  std::string cleaned;  // LastCleaned's text, when it reads as one
};

// The whole key as it stands, with the policy key's values.
struct GateSettings {
  bool keyExists = false;  // when false, the values hold their defaults
  RunSettings run;
  StoredDate date;
  StoredRecord record;
};

// Opens the keys (never creates them), reads every value and closes them.
GateSettings ReadGateSettings(Platform& platform);
