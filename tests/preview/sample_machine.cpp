#include "sample_machine.h"

#include <cstdint>

#include "app/settings.h"
#include "app/run_cleanup.h"

namespace sample {

const char kWindows[] = "C:\\Windows";
const char kTemp[] = "C:\\Users\\Admin\\AppData\\Local\\Temp";
const char kKeptGuid[] = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
const char kOddName[] = "report \"final\", v2.txt";

namespace {

constexpr std::uint64_t kKB = 1024;
constexpr std::uint64_t kMB = 1024 * kKB;

std::string Win(const std::string& name) { return std::string(kWindows) + "\\" + name; }
std::string Temp(const std::string& name) { return std::string(kTemp) + "\\" + name; }

}  // namespace

std::string UninstallKey(const std::string& name) {
  return std::string(kUninstallKey) + "\\" + name;
}

void Build(FakePlatform& fake) {
  fake.SetLocalTime(2026, 12, 6);

  fake.AddFile(Win("setup01.tmp"), 3 * kMB);
  fake.AddFile(Win("locked.tmp"), 700 * kKB, FILE_ATTRIBUTE_READONLY);
  fake.AddFile(Win("a,b.tmp"), 5 * kKB);
  fake.AddFile(Win("X.TMP"), 2 * kMB);  // "*.tmp" compares case-sensitively
  fake.AddFile(Win("notes.txt"), 4 * kKB);
  fake.AddFile(Win("System32\\deep.tmp"), 1 * kMB);
  fake.AddFolder(Win("old.tmp"));

  fake.AddFile(Temp("install.log"), 120 * kKB);
  fake.AddFile(Temp("~DF3A21.tmp"), 6 * kMB, FILE_ATTRIBUTE_READONLY);
  fake.AddFile(Temp("cache\\page1.bin"), 2 * kMB);
  fake.AddFile(Temp("cache\\images\\logo.png"), 64 * kKB);
  fake.AddFile(Temp("cache\\{0A1B2C3D-1111-2222-3333-444455556666}\\deep.dat"), 1 * kMB);
  fake.AddFile(Temp(kKeptGuid) + "\\session.dat", 3 * kMB);
  fake.AddFolder(Temp("empty folder"));
  fake.AddFile(Temp(kOddName), 10 * kKB);
  fake.AddFile("C:\\Data\\Linked\\precious.doc", 9 * kMB);
  fake.AddLink(Temp("linked"), "C:\\Data\\Linked");

  fake.AddFile(Win("$NtUninstallKB123456$\\spuninst\\spuninst.exe"), 4 * kMB);
  fake.AddFile(Win("$NtUninstallKB123456$\\kernel32.dll"), 1 * kMB);
  fake.AddFile(Win("$NtUninstallKB123456$\\") + kKeptGuid + "\\counted.dat", 1 * kMB);
  fake.AddFile(Win("$NtUninstallKB654321$\\update.exe"), 2 * kMB);
  fake.AddFile(Win("$hf_mig$\\KB123456\\update.cab"), 3 * kMB);
  fake.AddFile("C:\\Data\\Hotfix\\kept.dll", 5 * kMB);
  fake.AddLink(Win("$NtUninstallKB777$"), "C:\\Data\\Hotfix");

  fake.SetRegString(HKEY_LOCAL_MACHINE, UninstallKey("KB123456"), "DisplayName", "KB123456");
  fake.SetRegString(HKEY_LOCAL_MACHINE, UninstallKey("KB777"), "DisplayName", "KB777");
  fake.SetRegString(HKEY_LOCAL_MACHINE, UninstallKey("ExampleEditor"), "DisplayName", "Editor");

  fake.SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, kExecuteDateValue, "2026/12/5");
  fake.SetRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, kLimitValue, 20);
  fake.ClearLog();
}

}  // namespace sample
