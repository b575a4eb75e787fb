// The reclaimable estimate over its three places, and the folder texts and
// listings it rests on.
#include "folders/reclaimable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "folders/windows_places.h"
#include "machine_text.h"

namespace {

struct EstimateCase {
  const char* machine;
  DWORD kilobytes;
  const char* temp = "C:\\%T\\";
  const char* windows = "C:\\Windows";
};

const EstimateCase kEstimateCases[] = {
    {"%T\\a=2047", 1},
    {"%T\\a=1024", 1},
    {"Windows\\a.tmp=3g %T\\b=3g Windows\\$hf\\c=3g", 9u << 20},  // past 4 GB
    {"%T\\a=4294967295k", 0xFFFFFFFFu},
    {"%T\\a=4294967296k", 0xFFFFFFFFu},  // would wrap to 0
    // Each term, and their sum, stops at the largest count.
    {"Windows\\a.tmp=18446744073709551610 Windows\\b.tmp=10", 0xFFFFFFFFu},
    {"Windows\\$a\\f=18446744073709551610 Windows\\$b\\f=10", 0xFFFFFFFFu},
    {"%T\\a=18446744073709551610 Windows\\a.tmp=10 Windows\\$b\\f=10", 0xFFFFFFFFu},
    // "*.tmp" files and "$" folders directly in the Windows directory count,
    // held ones too; links do not.
    {"Windows\\a.tmp=1k Windows\\sub\\b.tmp=2k Windows\\x.tmp\\in=4k Windows\\$hf_mig$\\f=8k "
     "Windows\\$\\g\\h=16k Windows\\$log=32k Windows\\x$\\i=64k Windows\\B.TMP=128k "
     "Windows\\l.tmp@Other\\big Windows\\$l>Other Other\\big=256k Windows\\$h\\held=512k+u",
     1 + 8 + 16 + 512},
    // GUID-shaped folders are left out at the top of the temporary folder only.
    {"%T\\%G\\top=1k %T\\sub\\%G\\deeper=2k %T\\%G-file=4k Windows\\$hf\\%G\\in=8k", 2 + 4 + 8},
    // The shape is "{" and three hyphens at 9, 14 and 19; nothing else counts.
    {"%T\\{________-____-____-\\k=1k %T\\{________-____-____\\a=2k %T\\_________-____-____-\\b=4k "
     "%T\\{_________-___-____-\\c=8k %T\\{________-_________-\\d=16k "
     "%T\\{________-____-_____\\e=32k",
     2 + 4 + 8 + 16 + 32},
    // Names of any length count: the pass reaches them through handles.
    {"Windows\\$%238n\\f=2k Windows\\%245g.tmp=8k", 2 + 8},
    {"%145t\\f=1k", 1, "C:\\%145t\\"},
    {"%146t\\f=1k", 0, "C:\\%146t\\"},
    {"%46w\\$fits\\f=1k %46w\\a.tmp=2k", 3, "C:\\%T\\", "C:\\%46w"},
    {"%47w\\$fits\\f=1k %47w\\a.tmp=2k", 0, "C:\\%T\\", "C:\\%47w"},
    // A refused temporary folder counts nothing (the refusals' table is
    // below); the 1023 bytes elsewhere show one counted as even one byte.
    {"Windows\\f=1k Windows\\a.tmp=1023", 0, "C:\\Windows\\"},
    {"f=1k Windows\\a.tmp=1023", 0, "C:\\|T\\"},  // "|" stands for a zero byte
};

TEST(Reclaimable, EstimateCountsWhatThePassWouldDelete) {
  for (const EstimateCase& c : kEstimateCases) {
    SCOPED_TRACE(c.machine);
    FakePlatform fake;
    std::string temp = Expand(c.temp);
    std::replace(temp.begin(), temp.end(), '|', '\0');
    fake.SetTempPath(temp);
    fake.SetWindowsDirectory(Expand(c.windows));
    Build(fake, c.machine);
    EXPECT_EQ(GetReclaimableKB(fake), c.kilobytes);
    EXPECT_EQ(KilobytesOf(TotalBytes(GetReclaimableTerms(fake))), c.kilobytes);
    EXPECT_TRUE(fake.Changes().empty());
    EXPECT_EQ(fake.OpenHandles(), 0u);
  }
}

// The folders the pass would empty to the harm of the machine, refused as the
// temporary folder in every spelling and by what they are, and the ones
// beside them kept. `machine` adds links, short names and failures; the rows
// without one are decided by their spelling alone, before anything is opened.
TEST(Reclaimable, TempFolderRefusals) {
  const struct {
    const char* temp;
    bool refused;
    const char* machine = "";
    const char* profile = "C:\\Users\\Admin";
    bool windowsKnown = true;  // else none is taken: nothing to compare with
  } cases[] = {
      // A drive's root, in any spelling.
      {"C:\\", true},
      {"\\", true},
      {"c:/", true},
      {"\\\\?\\C:\\", true},
      {"\\\\.\\C:\\", true},
      {"C:\\..\\..\\", true},
      // Any network path: \\localhost\C$ is this machine's own drive.
      {"\\\\server\\share\\", true},
      {"\\\\server\\share\\tmp\\", true},
      {"\\\\?\\UNC\\server\\share\\", true},
      {"\\\\.\\UNC\\server\\share\\tmp\\", true},
      {"\\\\localhost\\C$\\Windows\\", true},
      {"\\\\127.0.0.1\\c$\\Windows\\", true},
      {"\\\\?\\UNC\\localhost\\C$\\Windows\\", true},
      {"//localhost/C$/Windows/", true},
      // A stream, or any ":" but the drive's.
      {"C:\\Windows::$INDEX_ALLOCATION\\", true},
      {"C:\\Users\\Admin\\AppData\\Local\\Temp:x\\", true},
      // The Windows directory, the profile and what holds them, by spelling...
      {"C:\\Windows\\", true},
      {"c:/windows//", true},
      {"\\\\?\\C:\\WINDOWS\\.\\", true},
      {"C:\\Windows\\System32\\..\\", true},
      {"C:\\..\\Windows\\", true},
      {"C:\\Users\\Admin\\", true},
      {"C:\\Users\\", true},
      {"c:\\users\\admin\\", true},
      // ... and by what they are: a short name, a path through a junction.
      {"C:\\Users\\ADMIN~1\\", true, "Users\\Admin^ADMIN~1"},
      {"C:\\WINDOW~1\\", true, "Windows^WINDOW~1"},
      {"C:\\J\\Admin\\", true, "J>Users"},
      {"C:\\J\\Windows\\", true, "J>"},
      {"C:\\J\\", true, "J>Windows\\Temp Windows\\Temp\\"},  // a link, not a folder
      // Not absolute, or nothing to compare with.
      {"Temp\\", true},
      {"C:Temp\\", true},
      {"1:\\Temp\\", true},
      // What the Windows directory is cannot be told: nothing to compare with.
      {"C:\\Users\\Admin\\AppData\\Local\\Temp\\", true, "Windows!GetFileInformationByHandle=5"},
      {"C:\\Users\\Admin\\AppData\\Local\\Temp\\", true, "", "C:\\Users\\Admin", false},
      // Sound temporary folders, in any spelling.
      {"C:\\Users\\Admin\\AppData\\Local\\Temp\\", false},
      {"\\\\?\\C:\\Users\\Admin\\AppData\\Local\\Temp\\", false},
      {"\\\\.\\c:\\users\\admin\\appdata\\local\\temp\\", false},
      {"C:\\Windows\\Temp\\", false, "Windows\\Temp\\"},
      {"C:\\Windows.old\\", false, "Windows.old\\"},
      {"C:\\Users\\Admin2\\", false, "Users\\Admin2\\"},
      {"C:\\J\\Admin\\AppData\\Local\\Temp\\", false, "J>Users"},
      {"C:\\Users\\Admin\\", false, "", nullptr},  // no USERPROFILE to compare with
      {"C:\\Users\\Admin\\", true, "Users\\Admin^ADMIN~1", "C:\\Users\\ADMIN~1"},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    Build(fake, c.machine);
    fake.SetTempPath(c.temp);
    if (!c.windowsKnown) fake.FailCall("GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY);
    fake.SetEnvironment("USERPROFILE",
                        c.profile ? std::optional<std::string>(c.profile) : std::nullopt);
    char buffer[folder_walk::kTempPathSize];
    EXPECT_EQ(folder_walk::FetchTempPath(fake, buffer).empty(), c.refused && !*c.machine)
        << c.temp << " by its spelling";
    EXPECT_EQ(!folder_walk::OpenTempFolder(fake), c.refused)
        << c.temp << (c.windowsKnown ? "" : " without the Windows directory");
    EXPECT_EQ(fake.OpenHandles(), 0u) << c.temp;
  }
}

// A folder that says it is a volume's root is refused, whatever its spelling.
TEST(Reclaimable, TempFolderThatIsARootIsRefused) {
  struct RootTemp : FakePlatform {
    NTSTATUS NtQueryInformationFile(HANDLE h, IO_STATUS_BLOCK* io, PVOID buffer, ULONG length,
                                    FILE_INFORMATION_CLASS kind) override {
      const NTSTATUS status = FakePlatform::NtQueryInformationFile(h, io, buffer, length, kind);
      if (kind != FileNameInformation) return status;
      static_cast<FILE_NAME_INFORMATION*>(buffer)->FileNameLength = sizeof(WCHAR);
      static_cast<FILE_NAME_INFORMATION*>(buffer)->FileName[0] = static_cast<WCHAR>('\\');
      return STATUS_SUCCESS;
    }
  } fake;
  EXPECT_FALSE(folder_walk::OpenTempFolder(fake));
}

}  // namespace
