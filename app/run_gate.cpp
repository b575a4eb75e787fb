#include "app/run_gate.h"

#include <cstdio>

#include "platform/scoped_handle.h"

namespace {

void WriteDate(Platform& platform, HKEY key, const std::string& today) {
  platform.RegSetValueExA(key, kExecuteDateValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(today.c_str()),
                          static_cast<DWORD>(today.size() + 1));
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
    if (platform.RegCreateKeyA(HKEY_LOCAL_MACHINE, kSettingsKey, key.receive()) == ERROR_SUCCESS) {
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

  decision.limitMB = ReadStoredLimit(platform, key.get()).limitMB;
  if (force == 0 && IsStoredDate(ReadStoredDate(platform, key.get()), today)) {
    decision.run = false;
    return decision;
  }
  WriteDate(platform, key.get(), today);
  decision.run = true;
  return decision;
}

GateDecision PeekRunGate(const GateSettings& settings, const std::string& today, int force) {
  GateDecision decision;
  decision.run = true;  // a first run makes the key and goes on
  if (!settings.keyExists) return decision;
  decision.limitMB = settings.limit.limitMB;
  decision.run = force != 0 || !IsStoredDate(settings.date, today);
  return decision;
}
