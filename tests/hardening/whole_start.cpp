#include "hardening/whole_start.h"

#include <exception>
#include <stdexcept>

#include "app/cleanup_app.h"
#include "folders/folder_fixture.h"

namespace {

struct CallBudgetExceeded : std::runtime_error {
  CallBudgetExceeded() : std::runtime_error("call budget exceeded") {}
};

// Passes every call to the fake. Once the log reaches the budget, the next
// call throws, once; closing calls never throw, as they run in destructors.
class BoundedPlatform : public Platform {
 public:
  BoundedPlatform(FakePlatform& fake, std::size_t budget) : fake_(fake), budget_(budget) {}

  bool Exceeded() const { return exceeded_; }

  UINT SetErrorMode(UINT uMode) override {
    Check();
    return fake_.SetErrorMode(uMode);
  }
  LPSTR GetCommandLineA() override {
    Check();
    return fake_.GetCommandLineA();
  }
  void GetLocalTime(SYSTEMTIME* lpSystemTime) override {
    Check();
    fake_.GetLocalTime(lpSystemTime);
  }
  DWORD GetLastError() override {
    Check();
    return fake_.GetLastError();
  }
  LSTATUS RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) override {
    Check();
    return fake_.RegOpenKeyA(hKey, lpSubKey, phkResult);
  }
  LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, HKEY* phkResult) override {
    Check();
    return fake_.RegCreateKeyA(hKey, lpSubKey, phkResult);
  }
  LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, DWORD* lpReserved, DWORD* lpType,
                           BYTE* lpData, DWORD* lpcbData) override {
    Check();
    return fake_.RegQueryValueExA(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
  }
  LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                         const BYTE* lpData, DWORD cbData) override {
    Check();
    return fake_.RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
  }
  LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) override {
    Check();
    return fake_.RegDeleteKeyA(hKey, lpSubKey);
  }
  LSTATUS RegCloseKey(HKEY hKey) override { return fake_.RegCloseKey(hKey); }
  UINT GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) override {
    Check();
    return fake_.GetWindowsDirectoryA(lpBuffer, uSize);
  }
  DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) override {
    Check();
    return fake_.GetTempPathA(nBufferLength, lpBuffer);
  }
  HANDLE FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* lpFindFileData) override {
    Check();
    return fake_.FindFirstFileA(lpFileName, lpFindFileData);
  }
  BOOL FindNextFileA(HANDLE hFindFile, WIN32_FIND_DATAA* lpFindFileData) override {
    Check();
    return fake_.FindNextFileA(hFindFile, lpFindFileData);
  }
  BOOL FindClose(HANDLE hFindFile) override { return fake_.FindClose(hFindFile); }
  DWORD GetFileAttributesA(LPCSTR lpFileName) override {
    Check();
    return fake_.GetFileAttributesA(lpFileName);
  }
  BOOL SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) override {
    Check();
    return fake_.SetFileAttributesA(lpFileName, dwFileAttributes);
  }
  BOOL DeleteFileA(LPCSTR lpFileName) override {
    Check();
    return fake_.DeleteFileA(lpFileName);
  }
  BOOL RemoveDirectoryA(LPCSTR lpPathName) override {
    Check();
    return fake_.RemoveDirectoryA(lpPathName);
  }

 private:
  void Check() {
    if (!exceeded_ && fake_.Calls().size() >= budget_) {
      exceeded_ = true;
      throw CallBudgetExceeded();
    }
  }

  FakePlatform& fake_;
  std::size_t budget_;
  bool exceeded_ = false;
};

// The application object with its hooks watched.
class WatchedApp : public CCleanupApp {
 public:
  WatchedApp(Platform& platform, StartOutcome& outcome)
      : CCleanupApp(platform), outcome_(outcome) {}

  BOOL InitInstance() override {
    ++outcome_.initInstanceCalls;
    outcome_.initInstanceResult = CCleanupApp::InitInstance();
    return outcome_.initInstanceResult;
  }
  int ExitInstance() override {
    ++outcome_.exitInstanceCalls;
    return CCleanupApp::ExitInstance();
  }
  int Run() override {
    outcome_.messageLoopRan = true;
    return CCleanupApp::Run();
  }

 private:
  StartOutcome& outcome_;
};

}  // namespace

StartOutcome RunWholeStart(FakePlatform& fake, std::size_t callBudget) {
  StartOutcome outcome;
  BoundedPlatform platform(fake, callBudget);
  try {
    WatchedApp app(platform, outcome);
    outcome.exitCode = RunApplication(platform, app);
  } catch (const CallBudgetExceeded&) {
    outcome.callBudgetExceeded = true;
  } catch (const std::exception& e) {
    outcome.exception = e.what();
  } catch (...) {
    outcome.exception = "an exception of unknown type";
  }
  return outcome;
}

std::vector<std::string> StartProblems(const FakePlatform& fake, const StartOutcome& outcome,
                                       const AllowedPlaces& allowed,
                                       const StartExpectations& expected) {
  std::vector<std::string> problems;
  if (!outcome.exception.empty()) problems.push_back("threw: " + outcome.exception);
  if (outcome.callBudgetExceeded) {
    problems.push_back("did not end within " + std::to_string(fake.Calls().size()) + " calls");
  }
  if (outcome.exception.empty() && !outcome.callBudgetExceeded) {
    if (outcome.exitCode != 0) {
      problems.push_back("exit code " + std::to_string(outcome.exitCode));
    }
    if (outcome.initInstanceCalls != 1 || outcome.initInstanceResult != FALSE) {
      problems.push_back("InitInstance was not called once returning false");
    }
    if (outcome.messageLoopRan || outcome.exitInstanceCalls != 1) {
      problems.push_back("the exit path was not taken");
    }
  }
  if (fake.OpenFindHandles() != expected.openFindHandles) {
    problems.push_back(std::to_string(fake.OpenFindHandles()) + " find handles left open");
  }
  if (fake.OpenRegKeys() != expected.openRegKeys) {
    problems.push_back(std::to_string(fake.OpenRegKeys()) + " registry keys left open");
  }
  for (const FakePlatform::CallRecord& call : fake.Changes()) {
    const std::string why = allowed.Violation(call);
    if (!why.empty()) {
      problems.push_back(DescribeCall(call) + (call.value.empty() ? "" : " " + call.value) + ": " +
                         why);
    }
  }
  for (const std::string& change : allowed.StateViolations(SnapshotMachine(fake))) {
    problems.push_back(change);
  }
  return problems;
}
