#include "app/settings.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

const char kSettingsKey[] = "SOFTWARE\\Brisca\\Sweepwell";
const char kPolicyKey[] = "SOFTWARE\\Policies\\Brisca\\Sweepwell";
const char kExecuteDateValue[] = "ExecuteDate";
const char kLimitValue[] = "Limit";
const char kKeepDaysValue[] = "KeepDays";
const char kSkipUndeletableValue[] = "SkipUndeletable";
const char kLastEstimateValue[] = "LastEstimateKB";
const char kLastCleanedValue[] = "LastCleaned";
const char kLastFreedValue[] = "LastFreedKB";

namespace {

// Limit's four bytes, least significant first, as REG_DWORD stores them.
using LimitBytes = BYTE[4];

DWORD DecodeLimit(const BYTE* bytes) {
  return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
         static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
}

// The number a text holds: decimal digits, with spaces and tabs around them,
// up to 4294967295. False for anything else.
bool ParseLimitText(std::string_view text, DWORD& limit) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty()) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  limit = static_cast<DWORD>(value);
  return true;
}

void EncodeLimit(DWORD limit, LimitBytes& bytes) {
  for (BYTE& byte : bytes) {
    byte = static_cast<BYTE>(limit & 0xFF);
    limit >>= 8;
  }
}

}  // namespace

ScopedRegKey OpenSettingsKey(Platform& platform) {
  return OpenRegKey(platform, HKEY_LOCAL_MACHINE, kSettingsKey);
}

ScopedRegKey CreateSettingsKey(Platform& platform) {
  return CreateRegKey(platform, HKEY_LOCAL_MACHINE, kSettingsKey);
}

bool IsTextLimitType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

StoredNumber ReadStoredNumber(Platform& platform, HKEY key, const char* name) {
  StoredNumber stored;
  BYTE bytes[kLimitReadLimit] = {};
  DWORD size = sizeof bytes;
  stored.status = platform.RegQueryValueExA(key, name, nullptr, &stored.type, bytes, &size);
  if (stored.status != ERROR_SUCCESS) return stored;
  // Never past the buffer, whatever size the call reports.
  size = std::min<DWORD>(size, sizeof bytes);
  if (IsTextLimitType(stored.type)) {
    const char* text = reinterpret_cast<const char*>(bytes);
    stored.text.assign(text, std::find(text, text + size, '\0'));
    stored.fromValue = ParseLimitText(stored.text, stored.value);
  } else if (size <= sizeof(LimitBytes)) {
    // The bytes past `size` are still the zeros the buffer started with.
    stored.value = DecodeLimit(bytes);
    stored.fromValue = true;
  }
  return stored;
}

namespace {

Setting Resolve(Platform& platform, HKEY policyKey, HKEY settingsKey, const char* name,
                DWORD defaultValue) {
  Setting setting;
  setting.value = defaultValue;
  if (policyKey != nullptr) setting.policy = ReadStoredNumber(platform, policyKey, name);
  if (settingsKey != nullptr) setting.settings = ReadStoredNumber(platform, settingsKey, name);
  if (setting.policy.fromValue) {
    setting.value = setting.policy.value;
    setting.source = SettingSource::kPolicy;
  } else if (setting.settings.fromValue) {
    setting.value = setting.settings.value;
    setting.source = SettingSource::kSettings;
  }
  return setting;
}

}  // namespace

RunSettings ReadRunSettings(Platform& platform, HKEY settingsKey) {
  const ScopedRegKey policy = OpenRegKey(platform, HKEY_LOCAL_MACHINE, kPolicyKey);
  RunSettings settings;
  settings.limitMB = Resolve(platform, policy.get(), settingsKey, kLimitValue, kDefaultLimitMB);
  settings.keepDays = Resolve(platform, policy.get(), settingsKey, kKeepDaysValue, 0);
  settings.keepDays.value = std::min(settings.keepDays.value, kMaxKeepDays);
  settings.skipUndeletable = Resolve(platform, policy.get(), settingsKey, kSkipUndeletableValue, 0);
  return settings;
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
  if (stored.status != ERROR_SUCCESS) return false;
  if (stored.bytes.size() < today.size() + 1) return false;
  return std::memcmp(stored.bytes.data(), today.c_str(), today.size() + 1) == 0;
}

void WriteExecuteDate(Platform& platform, HKEY key, const std::string& today) {
  platform.RegSetValueExA(key, kExecuteDateValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(today.c_str()),
                          static_cast<DWORD>(today.size() + 1));
}

void WriteLimit(Platform& platform, HKEY key, DWORD limitMB) {
  LimitBytes bytes;
  EncodeLimit(limitMB, bytes);
  platform.RegSetValueExA(key, kLimitValue, 0, REG_DWORD, bytes, sizeof bytes);
}


namespace {

// "2026-12-07T03:12:44": the local time, as LastCleaned holds it.
std::string FormatCleanedTime(const SYSTEMTIME& time) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", time.wYear, time.wMonth,
                time.wDay, time.wHour, time.wMinute, time.wSecond);
  return text;
}

}  // namespace

void WriteRunRecord(Platform& platform, const RunRecord& record) {
  const ScopedRegKey key = OpenSettingsKey(platform);
  if (!key) return;
  auto writeNumber = [&](const char* name, DWORD value) {
    LimitBytes bytes;
    EncodeLimit(value, bytes);
    platform.RegSetValueExA(key.get(), name, 0, REG_DWORD, bytes, sizeof bytes);
  };
  writeNumber(kLastEstimateValue, record.estimateKB);
  if (!record.cleaned) return;
  const std::string cleaned = FormatCleanedTime(record.cleanedAt);
  platform.RegSetValueExA(key.get(), kLastCleanedValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(cleaned.c_str()),
                          static_cast<DWORD>(cleaned.size() + 1));
  writeNumber(kLastFreedValue, record.freedKB);
}

GateSettings ReadGateSettings(Platform& platform) {
  GateSettings settings;
  const ScopedRegKey key = OpenSettingsKey(platform);
  settings.keyExists = static_cast<bool>(key);
  settings.run = ReadRunSettings(platform, key.get());
  if (!key) return settings;
  settings.date = ReadStoredDate(platform, key.get());
  settings.record.estimateKB = ReadStoredNumber(platform, key.get(), kLastEstimateValue);
  settings.record.freedKB = ReadStoredNumber(platform, key.get(), kLastFreedValue);
  char text[kLimitReadLimit] = {};
  DWORD type = REG_NONE, size = sizeof text - 1;
  settings.record.cleanedStatus = platform.RegQueryValueExA(
      key.get(), kLastCleanedValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  if (settings.record.cleanedStatus == ERROR_SUCCESS && IsTextLimitType(type)) {
    settings.record.cleaned = text;
  }
  return settings;
}
