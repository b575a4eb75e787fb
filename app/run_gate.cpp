#include "app/run_gate.h"

#include <cstdio>
#include <cstring>

#include "platform/scoped_handle.h"

const char kSettingsKey[] = "SOFTWARE\\Brisca\\Sweepwell";
const char kExecuteDateValue[] = "ExecuteDate";
const char kLimitValue[] = "Limit";

namespace {

// The stored date is read with this limit; a longer value counts as unreadable.
constexpr DWORD kDateReadLimit = 200;

void WriteDate(Platform& platform, HKEY key, const std::string& today) {
  platform.RegSetValueExA(key, kExecuteDateValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(today.c_str()),
                          static_cast<DWORD>(today.size() + 1));
}

// A value of up to four bytes, of whatever type, fills the low-order bytes of
// a number that starts at 0; a missing or longer value gives the default.
DWORD ReadLimit(Platform& platform, HKEY key) {
  BYTE bytes[4] = {0, 0, 0, 0};
  DWORD size = sizeof bytes;
  DWORD type = REG_NONE;
  if (platform.RegQueryValueExA(key, kLimitValue, nullptr, &type, bytes, &size) != ERROR_SUCCESS) {
    return kDefaultLimitMB;
  }
  return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
         static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
}

// True only when the stored value is a string whose bytes, as read, are
// today's text and its terminating zero. Nothing past the bytes read is looked
// at, so a value without a zero, of another type or too long reads as another
// day.
bool StoredDateIs(Platform& platform, HKEY key, const std::string& today) {
  char stored[kDateReadLimit];
  DWORD size = sizeof stored;
  DWORD type = REG_NONE;
  if (platform.RegQueryValueExA(key, kExecuteDateValue, nullptr, &type,
                                reinterpret_cast<BYTE*>(stored), &size) != ERROR_SUCCESS) {
    return false;
  }
  if (type != REG_SZ || size < today.size() + 1) return false;
  return std::memcmp(stored, today.c_str(), today.size() + 1) == 0;
}

}  // namespace

std::string FormatRunDate(const SYSTEMTIME& date) {
  char text[20];
  std::snprintf(text, sizeof text, "%d/%d/%d", static_cast<int>(date.wYear),
                static_cast<int>(date.wMonth), static_cast<int>(date.wDay));
  return text;
}

GateDecision PassRunGate(Platform& platform, const std::string& today, int force) {
  GateDecision decision;
  ScopedRegKey key(platform);
  if (platform.RegOpenKeyA(HKEY_LOCAL_MACHINE, kSettingsKey, key.receive()) != ERROR_SUCCESS) {
    // First run: make the key with today's date and the default threshold. A
    // key that cannot be made leaves the next start a first run again.
    key.release();  // a failed open leaves no handle to close
    if (platform.RegCreateKeyA(HKEY_LOCAL_MACHINE, kSettingsKey, key.receive()) ==
        ERROR_SUCCESS) {
      WriteDate(platform, key.get(), today);
      const DWORD limit = decision.limitMB;
      const BYTE bytes[4] = {static_cast<BYTE>(limit), static_cast<BYTE>(limit >> 8),
                             static_cast<BYTE>(limit >> 16), static_cast<BYTE>(limit >> 24)};
      platform.RegSetValueExA(key.get(), kLimitValue, 0, REG_DWORD, bytes, sizeof bytes);
    } else {
      key.release();
    }
    decision.run = true;
    return decision;
  }

  decision.limitMB = ReadLimit(platform, key.get());
  if (force == 0 && StoredDateIs(platform, key.get(), today)) {
    decision.run = false;
    return decision;
  }
  WriteDate(platform, key.get(), today);
  decision.run = true;
  return decision;
}
