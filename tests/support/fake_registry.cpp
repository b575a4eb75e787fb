// The fake's registry: keys under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER
// with raw-byte values, and the registry calls with their LSTATUS results.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "support/fake_state.h"

using fake::RegKey;

namespace {

constexpr LSTATUS kNoAccess = 998;     // ERROR_NOACCESS: a buffer that cannot be read
constexpr LSTATUS kBadPathname = 161;  // ERROR_BAD_PATHNAME: a subkey starting with "\"

bool StartsWithSeparator(LPCSTR subkey) { return subkey != nullptr && subkey[0] == '\\'; }

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::string JoinKey(std::string path, const std::vector<std::string>& parts) {
  for (const std::string& part : parts) path += "\\" + part;
  return path;
}

std::uintptr_t Key(HKEY handle) { return reinterpret_cast<std::uintptr_t>(handle); }

}  // namespace

namespace fake {

std::vector<std::string> SplitKeyPath(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = std::min(text.find('\\', start), text.size());
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::shared_ptr<RegKey> RegKey::Subkey(const std::string& keyName) const {
  for (const auto& subkey : subkeys) {
    if (SameName(subkey->name, keyName)) return subkey;
  }
  return nullptr;
}

FakePlatform::RegValue* RegKey::Value(const std::string& valueName) {
  for (auto& value : values) {
    if (SameName(value.first, valueName)) return &value.second;
  }
  return nullptr;
}

}  // namespace fake

std::shared_ptr<RegKey> FakePlatform::State::Root(HKEY key) const {
  if (key == HKEY_LOCAL_MACHINE) return localMachine;
  if (key == HKEY_CURRENT_USER) return currentUser;
  return nullptr;
}

LSTATUS FakePlatform::State::KeyOf(HKEY key, std::shared_ptr<RegKey>& found,
                                   std::string& path) const {
  found = Root(key);
  if (found) {
    path = found->name;
    return ERROR_SUCCESS;
  }
  auto it = keys.find(Key(key));
  if (it == keys.end()) return ERROR_INVALID_HANDLE;
  found = it->second.key;
  path = it->second.path;
  return found->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

std::shared_ptr<RegKey> FakePlatform::State::FindKey(const std::shared_ptr<RegKey>& from,
                                                     const std::vector<std::string>& parts) const {
  std::shared_ptr<RegKey> key = from;
  for (const std::string& part : parts) {
    if (!key) break;
    key = key->Subkey(part);
  }
  return key;
}

std::shared_ptr<RegKey> FakePlatform::State::MakeKey(const std::shared_ptr<RegKey>& from,
                                                     const std::vector<std::string>& parts) {
  std::shared_ptr<RegKey> key = from;
  for (const std::string& part : parts) {
    std::shared_ptr<RegKey> subkey = key->Subkey(part);
    if (!subkey) {
      subkey = std::make_shared<RegKey>();
      subkey->name = part;
      subkey->parent = key.get();
      key->subkeys.push_back(subkey);
    }
    key = subkey;
  }
  return key;
}

HKEY FakePlatform::State::OpenHandle(std::shared_ptr<RegKey> key, std::string path) {
  HKEY handle = reinterpret_cast<HKEY>(nextHandle);
  nextHandle += 4;
  keys[Key(handle)] = fake::OpenKey{std::move(key), std::move(path)};
  return handle;
}

// ---- Builders and inspectors ----------------------------------------------

std::shared_ptr<RegKey> FakePlatform::State::RootOrThrow(HKEY key) const {
  std::shared_ptr<RegKey> found = Root(key);
  if (!found) throw std::invalid_argument("registry root must be HKLM or HKCU");
  return found;
}

void FakePlatform::AddRegKey(HKEY root, const std::string& key) {
  state_->MakeKey(state_->RootOrThrow(root), fake::SplitKeyPath(key));
}

void FakePlatform::SetRegValue(HKEY root, const std::string& key, const std::string& name,
                               DWORD type, const std::vector<BYTE>& data) {
  std::shared_ptr<RegKey> at = state_->MakeKey(state_->RootOrThrow(root), fake::SplitKeyPath(key));
  if (RegValue* value = at->Value(name)) {
    *value = RegValue{type, data};
  } else {
    at->values.emplace_back(name, RegValue{type, data});
  }
}

void FakePlatform::SetRegString(HKEY root, const std::string& key, const std::string& name,
                                const std::string& text) {
  std::vector<BYTE> data(text.begin(), text.end());
  data.push_back(0);
  SetRegValue(root, key, name, REG_SZ, data);
}

void FakePlatform::SetRegDword(HKEY root, const std::string& key, const std::string& name,
                               DWORD value) {
  std::vector<BYTE> data(4);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(value >> (8 * i));
  SetRegValue(root, key, name, REG_DWORD, data);
}

bool FakePlatform::RegKeyExists(HKEY root, const std::string& key) const {
  return state_->FindKey(state_->RootOrThrow(root), fake::SplitKeyPath(key)) != nullptr;
}

std::optional<FakePlatform::RegValue> FakePlatform::GetRegValue(HKEY root, const std::string& key,
                                                                const std::string& name) const {
  std::shared_ptr<RegKey> at = state_->FindKey(state_->RootOrThrow(root), fake::SplitKeyPath(key));
  if (!at) return std::nullopt;
  if (RegValue* value = at->Value(name)) return *value;
  return std::nullopt;
}

// ---- Registry calls ---------------------------------------------------------

LSTATUS FakePlatform::RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) {
  state_->Hook("RegOpenKeyA");
  State& s = *state_;
  std::shared_ptr<RegKey> key;
  std::string path;
  LSTATUS status = s.KeyOf(hKey, key, path);
  const std::vector<std::string> parts = fake::SplitKeyPath(lpSubKey ? lpSubKey : "");
  std::size_t call = s.Begin("RegOpenKeyA", JoinKey(path, parts), false);
  if (auto error = s.Injected(call)) {
    s.Fail(call, *error, false);
    if (phkResult != nullptr) *phkResult = nullptr;
    return static_cast<LSTATUS>(*error);
  }
  if (phkResult == nullptr) {
    s.Fail(call, ERROR_INVALID_PARAMETER, false);
    return ERROR_INVALID_PARAMETER;
  }
  // Without a subkey the call hands back the very handle it was given, unchecked:
  // no new handle is opened, and the caller must not close it twice.
  if (lpSubKey == nullptr || *lpSubKey == '\0') {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  if (status == ERROR_SUCCESS && StartsWithSeparator(lpSubKey)) status = kBadPathname;
  if (status == ERROR_SUCCESS) {
    key = s.FindKey(key, parts);
    if (!key) status = ERROR_FILE_NOT_FOUND;
  }
  if (status != ERROR_SUCCESS) {
    s.Fail(call, static_cast<DWORD>(status), false);
    if (phkResult != nullptr) *phkResult = nullptr;
    return status;
  }
  *phkResult = s.OpenHandle(key, s.calls[call].target);
  return ERROR_SUCCESS;
}

LSTATUS FakePlatform::RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) {
  state_->Hook("RegCreateKeyA");
  State& s = *state_;
  std::shared_ptr<RegKey> key;
  std::string path;
  LSTATUS status = s.KeyOf(hKey, key, path);
  const std::vector<std::string> parts = fake::SplitKeyPath(lpSubKey ? lpSubKey : "");
  std::size_t call = s.Begin("RegCreateKeyA", JoinKey(path, parts), true);
  if (auto error = s.Injected(call)) status = static_cast<LSTATUS>(*error);
  if (status == ERROR_SUCCESS && phkResult == nullptr) status = ERROR_INVALID_PARAMETER;
  if (status == ERROR_SUCCESS && StartsWithSeparator(lpSubKey)) status = kBadPathname;
  if (status != ERROR_SUCCESS) {
    s.Fail(call, static_cast<DWORD>(status), false);
    if (phkResult != nullptr) *phkResult = nullptr;
    return status;
  }
  *phkResult = s.OpenHandle(s.MakeKey(key, parts), s.calls[call].target);
  return ERROR_SUCCESS;
}

LSTATUS FakePlatform::RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, DWORD* lpReserved,
                                       DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  state_->Hook("RegQueryValueExA");
  State& s = *state_;
  std::shared_ptr<RegKey> key;
  std::string path;
  LSTATUS status = s.KeyOf(hKey, key, path);
  const std::string name = lpValueName ? lpValueName : "";
  std::size_t call = s.Begin("RegQueryValueExA", path, false, name);
  if (auto error = s.Injected(call)) status = static_cast<LSTATUS>(*error);
  if (status == ERROR_SUCCESS && (lpReserved != nullptr || (lpData && !lpcbData))) {
    status = ERROR_INVALID_PARAMETER;
  }
  RegValue* value = status == ERROR_SUCCESS ? key->Value(name) : nullptr;
  if (status == ERROR_SUCCESS && value == nullptr) {
    status = ERROR_FILE_NOT_FOUND;
    if (lpType != nullptr) *lpType = REG_NONE;
  }
  if (status == ERROR_SUCCESS) {
    const auto size = static_cast<DWORD>(value->data.size());
    if (lpType != nullptr) *lpType = value->type;
    if (lpData != nullptr && *lpcbData < size) status = ERROR_MORE_DATA;
    if (lpData != nullptr && status == ERROR_SUCCESS && size > 0) {
      std::memcpy(lpData, value->data.data(), size);
    }
    if (lpcbData != nullptr) *lpcbData = size;
  }
  if (status != ERROR_SUCCESS) s.Fail(call, static_cast<DWORD>(status), false);
  return status;
}

LSTATUS FakePlatform::RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/,
                                     DWORD dwType, const BYTE* lpData, DWORD cbData) {
  state_->Hook("RegSetValueExA");
  State& s = *state_;
  std::shared_ptr<RegKey> key;
  std::string path;
  LSTATUS status = s.KeyOf(hKey, key, path);
  const std::string name = lpValueName ? lpValueName : "";
  std::size_t call = s.Begin("RegSetValueExA", path, true, name);
  if (auto error = s.Injected(call)) status = static_cast<LSTATUS>(*error);
  if (status == ERROR_SUCCESS && lpData == nullptr && cbData > 0) status = kNoAccess;
  if (status != ERROR_SUCCESS) {
    s.Fail(call, static_cast<DWORD>(status), false);
    return status;
  }
  // A string whose count leaves out its terminating zero gets it counted, as
  // Windows does; like Windows this reads the byte just past the count.
  if (cbData > 0 && IsStringType(dwType) && lpData[cbData - 1] != 0 && lpData[cbData] == 0) {
    ++cbData;
  }
  RegValue stored{dwType, std::vector<BYTE>(lpData, lpData + cbData)};
  if (RegValue* value = key->Value(name)) {
    *value = std::move(stored);
  } else {
    key->values.emplace_back(name, std::move(stored));
  }
  return ERROR_SUCCESS;
}

LSTATUS FakePlatform::RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  state_->Hook("RegDeleteKeyA");
  State& s = *state_;
  std::shared_ptr<RegKey> key;
  std::string path;
  LSTATUS status = s.KeyOf(hKey, key, path);
  const std::vector<std::string> parts = fake::SplitKeyPath(lpSubKey ? lpSubKey : "");
  std::size_t call = s.Begin("RegDeleteKeyA", JoinKey(path, parts), true);
  if (auto error = s.Injected(call)) status = static_cast<LSTATUS>(*error);
  if (status == ERROR_SUCCESS && lpSubKey == nullptr) status = ERROR_INVALID_PARAMETER;
  if (status == ERROR_SUCCESS && StartsWithSeparator(lpSubKey)) status = kBadPathname;
  std::shared_ptr<RegKey> doomed = status == ERROR_SUCCESS ? s.FindKey(key, parts) : nullptr;
  if (status == ERROR_SUCCESS && !doomed) status = ERROR_FILE_NOT_FOUND;
  if (status == ERROR_SUCCESS && (!doomed->subkeys.empty() || doomed->parent == nullptr)) {
    status = ERROR_ACCESS_DENIED;
  }
  if (status != ERROR_SUCCESS) {
    s.Fail(call, static_cast<DWORD>(status), false);
    return status;
  }
  doomed->deleted = true;
  RegKey* parent = doomed->parent;
  parent->subkeys.erase(std::find(parent->subkeys.begin(), parent->subkeys.end(), doomed));
  return ERROR_SUCCESS;
}

LSTATUS FakePlatform::RegCloseKey(HKEY hKey) {
  state_->Hook("RegCloseKey");
  State& s = *state_;
  std::shared_ptr<RegKey> key;
  std::string path;
  LSTATUS status = s.KeyOf(hKey, key, path);
  if (status == ERROR_KEY_DELETED) status = ERROR_SUCCESS;  // a handle outlives its key
  std::size_t call = s.Begin("RegCloseKey", path, false);
  if (auto error = s.Injected(call)) status = static_cast<LSTATUS>(*error);
  if (status != ERROR_SUCCESS) {
    s.Fail(call, static_cast<DWORD>(status), false);
    return status;
  }
  s.keys.erase(Key(hKey));
  return ERROR_SUCCESS;
}
