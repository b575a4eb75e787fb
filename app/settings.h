// The settings key, HKEY_LOCAL_MACHINE\SOFTWARE\Brisca\Sweepwell: the one place
// that opens it and reads and writes its two values, ExecuteDate and Limit.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/scoped_handle.h"

extern const char kSettingsKey[];       // "SOFTWARE\Brisca\Sweepwell"
extern const char kExecuteDateValue[];  // "ExecuteDate"
extern const char kLimitValue[];        // "Limit"
constexpr DWORD kDefaultLimitMB = 20;

// The stored date is read with this limit; a longer value counts as unreadable.
constexpr DWORD kDateReadLimit = 200;

// The key opened as it is (never made), or made and opened; empty owners when
// that fails.
ScopedRegKey OpenSettingsKey(Platform& platform);
ScopedRegKey CreateSettingsKey(Platform& platform);

// Limit is read with this limit, its terminating zero counted.
constexpr DWORD kLimitReadLimit = 64;

// Limit as read. A REG_SZ or REG_EXPAND_SZ value is the decimal number its
// text holds, blanks (spaces and tabs) around it allowed: "50" is 50, as
// `reg add` stores it by default. A text that is not such a number, names one
// past 4294967295 or is longer than the read counts as missing. A value of any
// other type, of up to four bytes, fills the low-order bytes of a number that
// starts at 0; a longer one counts as missing. A missing value gives the
// default.
struct StoredLimit {
  LSTATUS status = ERROR_FILE_NOT_FOUND;  // of the read: ERROR_SUCCESS, or why it failed
  DWORD type = REG_NONE;                  // as the read reported it
  std::string text;                       // a text value as read, up to its terminating zero
  bool fromValue = false;                 // limitMB is the value's; when false, the default
  DWORD limitMB = kDefaultLimitMB;        // the threshold a pass would use
};
// Whether Limit of this type is read as the number its text holds.
bool IsTextLimitType(DWORD type);
StoredLimit ReadStoredLimit(Platform& platform, HKEY key);

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

// The whole key as it stands.
struct GateSettings {
  bool keyExists = false;  // when false, the two values hold their defaults
  StoredLimit limit;
  StoredDate date;
};

// Opens the key (never creates it), reads Limit and ExecuteDate and closes it.
GateSettings ReadGateSettings(Platform& platform);
