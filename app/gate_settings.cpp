#include "app/gate_settings.h"

#include <algorithm>
#include <cstring>

#include "platform/scoped_handle.h"

const char kSettingsKey[] = "SOFTWARE\\Brisca\\Sweepwell";
const char kExecuteDateValue[] = "ExecuteDate";
const char kLimitValue[] = "Limit";

StoredLimit ReadStoredLimit(Platform& platform, HKEY key) {
  StoredLimit stored;
  BYTE bytes[4] = {0, 0, 0, 0};
  DWORD size = sizeof bytes;
  stored.status = platform.RegQueryValueExA(key, kLimitValue, nullptr, &stored.type, bytes, &size);
  if (stored.status == ERROR_SUCCESS) {
    stored.limitMB = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
                     static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
  }
  return stored;
}

StoredDate ReadStoredDate(Platform& platform, HKEY key) {
  StoredDate stored;
  char text[kDateReadLimit];
  DWORD size = sizeof text;
  stored.status = platform.RegQueryValueExA(key, kExecuteDateValue, nullptr, &stored.type,
                                            reinterpret_cast<BYTE*>(text), &size);
  // Never past the buffer, whatever size the call reports.
  if (stored.status == ERROR_SUCCESS) stored.bytes.assign(text, std::min<DWORD>(size, sizeof text));
  return stored;
}

bool IsStoredDate(const StoredDate& stored, const std::string& today) {
  if (stored.status != ERROR_SUCCESS || stored.type != REG_SZ) return false;
  if (stored.bytes.size() < today.size() + 1) return false;
  return std::memcmp(stored.bytes.data(), today.c_str(), today.size() + 1) == 0;
}

GateSettings ReadGateSettings(Platform& platform) {
  GateSettings settings;
  ScopedRegKey key(platform);
  if (platform.RegOpenKeyA(HKEY_LOCAL_MACHINE, kSettingsKey, key.receive()) != ERROR_SUCCESS) {
    key.release();  // a failed open leaves no handle to close
    return settings;
  }
  settings.keyExists = true;
  settings.limit = ReadStoredLimit(platform, key.get());
  settings.date = ReadStoredDate(platform, key.get());
  return settings;
}
