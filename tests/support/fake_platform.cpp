#include "support/fake_platform.h"

#include <cstring>
#include <stdexcept>

#include "support/fake_state.h"

namespace {

// Day of the week (0 = Sunday) of a Gregorian date, by Sakamoto's method.
WORD DayOfWeek(int year, int month, int day) {
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  int dow = (year + year / 4 - year / 100 + year / 400 + offsets[(month + 11) % 12] + day) % 7;
  return static_cast<WORD>(dow);
}

// Copies a well-known folder's text by the Win32 rules: the length without the
// zero when it fits, else the size needed with the zero and nothing written.
DWORD CopyOut(const std::string& text, char* buffer, DWORD size) {
  const auto length = static_cast<DWORD>(text.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return length;
}

bool IsRegistryPath(const std::string& path) {
  return path.size() >= 2 && fake::SameName(path.substr(0, 2), "HK");
}

// `target` is `path` or lies below it.
bool IsAtOrBelow(const std::string& target, const std::string& path) {
  if (target.size() < path.size() || !fake::SameName(target.substr(0, path.size()), path)) {
    return false;
  }
  return target.size() == path.size() || path.back() == '\\' || target[path.size()] == '\\';
}

}  // namespace

FakePlatform::State::State()
    : root(std::make_shared<fake::Node>()),
      localMachine(std::make_shared<fake::RegKey>()),
      currentUser(std::make_shared<fake::RegKey>()) {
  root->folder = true;
  localMachine->name = "HKLM";
  currentUser->name = "HKCU";
  currentNode = root;
}

void FakePlatform::State::Hook(const char* call) {
  // A hook that calls the machine itself does not see its own calls.
  if (!hook || inHook) return;
  inHook = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{inHook};
  hook(call, calls.size());
}

std::size_t FakePlatform::State::Begin(const char* call, std::string target, bool changing,
                                       std::string value) {
  CallRecord record;
  record.call = call;
  record.target = std::move(target);
  record.value = std::move(value);
  record.changing = changing;
  record.succeeded = true;
  calls.push_back(std::move(record));
  return calls.size() - 1;
}

std::optional<DWORD> FakePlatform::State::Injected(std::size_t index) const {
  auto nth = nthFailures.find(index);
  if (nth != nthFailures.end()) return nth->second;
  const CallRecord& record = calls[index];
  for (const fake::Failure& failure : failures) {
    if (failure.call != record.call) continue;
    if (failure.path.empty() || IsAtOrBelow(record.target, failure.path)) return failure.error;
  }
  return std::nullopt;
}

void FakePlatform::State::Succeed(std::size_t index) {
  calls[index].succeeded = true;
  calls[index].error = 0;
}

void FakePlatform::State::Fail(std::size_t index, DWORD error, bool setLastError) {
  calls[index].succeeded = false;
  calls[index].error = error;
  if (setLastError) lastError = error;
}

FakePlatform::FakePlatform() : state_(std::make_unique<State>()) {
  SetWindowsDirectory("C:\\Windows");
  SetTempPath("C:\\Users\\Admin\\AppData\\Local\\Temp\\");
  SetCommandLine("C:\\Tools\\sweepwell.exe");
  SetLocalTime(2026, 12, 6);
  AddFolder("C:\\Windows");
  AddFolder("C:\\Users\\Admin\\AppData\\Local\\Temp");
  AddRegKey(HKEY_LOCAL_MACHINE, "SOFTWARE");
}

FakePlatform::~FakePlatform() = default;

void FakePlatform::SetWindowsDirectory(const std::string& text) { state_->windowsDirectory = text; }
void FakePlatform::SetTempPath(const std::string& text) { state_->tempPath = text; }

void FakePlatform::SetLocalTime(WORD year, WORD month, WORD day) {
  SYSTEMTIME& time = state_->time;
  time = SYSTEMTIME{};
  time.wYear = year;
  time.wMonth = month;
  time.wDay = day;
  time.wDayOfWeek = DayOfWeek(year, month, day);
  time.wHour = 9;
}

void FakePlatform::SetCommandLine(const std::string& text) {
  state_->commandLine.assign(text.begin(), text.end());
  state_->commandLine.push_back('\0');
}

void FakePlatform::FailCall(const std::string& call, DWORD error, const std::string& path) {
  fake::Failure failure;
  failure.call = call;
  failure.error = error;
  if (!path.empty()) {
    if (IsRegistryPath(path)) {
      // Targets name the roots by their short names.
      for (std::string part : fake::SplitKeyPath(path)) {
        if (failure.path.empty() && fake::SameName(part, "HKEY_LOCAL_MACHINE")) part = "HKLM";
        if (failure.path.empty() && fake::SameName(part, "HKEY_CURRENT_USER")) part = "HKCU";
        failure.path += (failure.path.empty() ? "" : "\\") + part;
      }
    } else {
      fake::ParsedPath parsed = state_->Parse(path);
      failure.path = parsed.error != 0 ? path : fake::JoinParts(parsed.drive, parsed.parts);
    }
  }
  state_->failures.push_back(failure);
}

void FakePlatform::FailNthCall(std::size_t index, DWORD error) {
  state_->nthFailures[index] = error;
}

void FakePlatform::SetCallHook(CallHook hook) { state_->hook = std::move(hook); }

void FakePlatform::ClearFailures() {
  state_->failures.clear();
  state_->nthFailures.clear();
}

const std::vector<FakePlatform::CallRecord>& FakePlatform::Calls() const { return state_->calls; }

std::vector<FakePlatform::CallRecord> FakePlatform::Changes() const {
  std::vector<CallRecord> changes;
  for (const CallRecord& record : state_->calls) {
    if (record.changing) changes.push_back(record);
  }
  return changes;
}

// Call indices of FailNthCall count from here on, as Calls() does.
void FakePlatform::ClearLog() { state_->calls.clear(); }

std::size_t FakePlatform::OpenFindHandles() const { return state_->listings.size(); }
std::size_t FakePlatform::OpenRegKeys() const { return state_->keys.size(); }
UINT FakePlatform::ErrorMode() const { return state_->errorMode; }

UINT FakePlatform::SetErrorMode(UINT uMode) {
  state_->Hook("SetErrorMode");
  state_->Begin("SetErrorMode", "", false);
  UINT previous = state_->errorMode;
  state_->errorMode = uMode;
  return previous;
}

LPSTR FakePlatform::GetCommandLineA() {
  state_->Hook("GetCommandLineA");
  state_->Begin("GetCommandLineA", "", false);
  return state_->commandLine.data();
}

void FakePlatform::GetLocalTime(SYSTEMTIME* lpSystemTime) {
  state_->Hook("GetLocalTime");
  state_->Begin("GetLocalTime", "", false);
  *lpSystemTime = state_->time;
}

DWORD FakePlatform::GetLastError() {
  state_->Hook("GetLastError");
  state_->Begin("GetLastError", "", false);
  return state_->lastError;
}

UINT FakePlatform::GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  state_->Hook("GetWindowsDirectoryA");
  std::size_t call = state_->Begin("GetWindowsDirectoryA", "", false);
  if (auto error = state_->Injected(call)) {
    state_->Fail(call, *error);
    return 0;
  }
  return CopyOut(state_->windowsDirectory, lpBuffer, uSize);
}

DWORD FakePlatform::GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  state_->Hook("GetTempPathA");
  std::size_t call = state_->Begin("GetTempPathA", "", false);
  if (auto error = state_->Injected(call)) {
    state_->Fail(call, *error);
    return 0;
  }
  return CopyOut(state_->tempPath, lpBuffer, nBufferLength);
}
