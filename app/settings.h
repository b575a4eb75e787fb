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

// Limit as read. A value of up to four bytes, of whatever type, fills the
// low-order bytes of a number that starts at 0; a missing or longer value
// gives the default.
struct StoredLimit {
  LSTATUS status = ERROR_FILE_NOT_FOUND;  // of the read: ERROR_SUCCESS, or why it failed
  DWORD type = REG_NONE;                  // as the read reported it
  DWORD limitMB = kDefaultLimitMB;        // the threshold a pass would use
};
StoredLimit ReadStoredLimit(Platform& platform, HKEY key);

// ExecuteDate as read, up to kDateReadLimit bytes.
struct StoredDate {
  LSTATUS status = ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::string bytes;  // every byte read, zeros included; empty when the read failed
};
StoredDate ReadStoredDate(Platform& platform, HKEY key);

// True only when the stored value is a string whose bytes, as read, are
// `today` and its terminating zero. Nothing past the bytes read is looked at,
// so a value without a zero, of another type or too long reads as another day.
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
