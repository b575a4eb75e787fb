// What only the in-memory machine has: listing order, links, injected
// failures, the call log and the dump. The behaviour it shares with Windows is
// checked by the contract suite (platform_contract.cpp).
#include "platform/fake_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/scoped_handle.h"

namespace {

class FakePlatformTest : public ::testing::Test {
 protected:
  // Every name a listing gives, "." and ".." included, until it ends.
  std::vector<std::string> Listing(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data{};
    ScopedFindHandle handle(fake_, fake_.FindFirstFileA(pattern.c_str(), &data));
    if (!handle) return names;
    do {
      names.push_back(data.cFileName);
    } while (fake_.FindNextFileA(handle.get(), &data));
    return names;
  }

  FakePlatform fake_;
};

using Names = std::vector<std::string>;

TEST_F(FakePlatformTest, FreshMachineHasItsFoldersAndSettings) {
  char buffer[MAX_PATH];
  ASSERT_EQ(fake_.GetWindowsDirectoryA(buffer, MAX_PATH), 10u);
  EXPECT_STREQ(buffer, "C:\\Windows");
  EXPECT_EQ(fake_.Attributes(buffer), FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_GT(fake_.GetTempPathA(MAX_PATH, buffer), 0u);
  EXPECT_STREQ(buffer, "C:\\Users\\Admin\\AppData\\Local\\Temp\\");
  EXPECT_TRUE(fake_.Exists(buffer));
  EXPECT_TRUE(fake_.List(buffer).empty());
  EXPECT_STREQ(fake_.GetCommandLineA(), "C:\\Tools\\sweepwell.exe");
  EXPECT_TRUE(fake_.RegKeyExists(HKEY_LOCAL_MACHINE, "software"));

  SYSTEMTIME time{};
  fake_.GetLocalTime(&time);
  EXPECT_EQ(time.wYear, 2026);
  EXPECT_EQ(time.wMonth, 12);
  EXPECT_EQ(time.wDay, 6);
  EXPECT_EQ(time.wDayOfWeek, 0);  // a Sunday
}

TEST_F(FakePlatformTest, ClockCommandLineAndErrorModeAreSettable) {
  fake_.SetLocalTime(2008, 2, 29);
  fake_.SetCommandLine("\"C:\\Program Files\\x.exe\" 1");
  SYSTEMTIME time{};
  fake_.GetLocalTime(&time);
  EXPECT_EQ(time.wYear, 2008);
  EXPECT_EQ(time.wMonth, 2);
  EXPECT_EQ(time.wDay, 29);
  EXPECT_EQ(time.wDayOfWeek, 5);  // a Friday
  EXPECT_STREQ(fake_.GetCommandLineA(), "\"C:\\Program Files\\x.exe\" 1");

  EXPECT_EQ(fake_.SetErrorMode(SEM_FAILCRITICALERRORS), 0u);
  EXPECT_EQ(fake_.SetErrorMode(0), SEM_FAILCRITICALERRORS);
  EXPECT_EQ(fake_.ErrorMode(), 0u);
}

TEST_F(FakePlatformTest, ListsInInsertionOrderUnlessToldOtherwise) {
  fake_.AddFile("C:\\d\\b.txt");
  fake_.AddFolder("C:\\d\\C");
  fake_.AddFile("C:\\d\\a.txt");
  EXPECT_EQ(Listing("C:\\d\\*.*"), (Names{".", "..", "b.txt", "C", "a.txt"}));

  fake_.SetListingOrder("C:\\d", {"A.TXT", "b.txt"});
  EXPECT_EQ(Listing("C:\\d\\*"), (Names{".", "..", "a.txt", "b.txt", "C"}));
  EXPECT_EQ(fake_.List("c:/D/"), (Names{"a.txt", "b.txt", "C"}));

  fake_.SetListingOrder("C:\\d", {"C", "..", "a.txt", "."});
  EXPECT_EQ(Listing("C:\\d\\*"), (Names{"C", "..", "a.txt", ".", "b.txt"}));
}

TEST_F(FakePlatformTest, DriveRootListsNoDotEntries) {
  fake_.SetListingOrder("C:\\", {"Windows"});
  EXPECT_EQ(Listing("C:\\*"), (Names{"Windows", "Users"}));
}

TEST_F(FakePlatformTest, ListingIsASnapshotOfNamesWithCurrentData) {
  fake_.AddFile("C:\\d\\a", 1);
  fake_.AddFile("C:\\d\\b", 2, FILE_ATTRIBUTE_READONLY);
  fake_.AddFile("C:\\d\\c", 3);
  WIN32_FIND_DATAA data{};
  ScopedFindHandle handle(fake_, fake_.FindFirstFileA("C:\\d\\*", &data));
  ASSERT_TRUE(handle);
  fake_.AddFile("C:\\d\\late");  // after the snapshot: not listed
  ASSERT_TRUE(fake_.DeleteFileA("C:\\d\\a"));
  ASSERT_TRUE(fake_.SetFileAttributesA("C:\\d\\b", FILE_ATTRIBUTE_HIDDEN));

  Names names;
  while (fake_.FindNextFileA(handle.get(), &data)) {
    names.push_back(data.cFileName);
    if (names.back() == "b") {
      EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_HIDDEN);
    }
  }
  EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_EQ(names, (Names{"..", "b", "c"}));
}

TEST_F(FakePlatformTest, ReportsSixtyFourBitSizes) {
  fake_.AddFile("C:\\big.bin", (5ull << 30) + 7);
  WIN32_FIND_DATAA data{};
  ScopedFindHandle handle(fake_, fake_.FindFirstFileA("C:\\big.bin", &data));
  ASSERT_TRUE(handle);
  EXPECT_EQ(data.nFileSizeHigh, 1u);
  EXPECT_EQ(data.nFileSizeLow, (1u << 30) + 7);
  EXPECT_EQ(fake_.Size("C:\\BIG.BIN"), (5ull << 30) + 7);
}

TEST_F(FakePlatformTest, RelativePathsFollowTheCurrentFolder) {
  fake_.AddFile("C:\\work\\a.txt");
  fake_.SetCurrentFolder("C:\\work");
  EXPECT_EQ(Listing("*"), (Names{".", "..", "a.txt"}));
  EXPECT_EQ(fake_.GetFileAttributesA("..\\work\\.\\a.txt"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_FALSE(fake_.RemoveDirectoryA("C:\\work"));
  EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  ASSERT_TRUE(fake_.DeleteFileA("a.txt"));
  EXPECT_EQ(fake_.Changes().back().target, "C:\\work\\a.txt");
}

// Windows behaviour that Wine does not show (it keeps archive on every file
// and says ERROR_INVALID_NAME for a file's entries) or that no test machine has.
TEST_F(FakePlatformTest, WindowsOnlyAnswers) {
  fake_.AddFile("C:\\f", 0, FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(fake_.SetFileAttributesA("C:\\f", FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(fake_.GetFileAttributesA("C:\\f"), FILE_ATTRIBUTE_NORMAL);
  WIN32_FIND_DATAA data{};
  EXPECT_EQ(fake_.FindFirstFileA("C:\\f\\*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_EQ(fake_.GetFileAttributesA("D:\\f"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(fake_.RemoveDirectoryA("C:\\"));
  EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  // MAX_PATH counts the zero: 260 characters are already too many.
  const std::string longest = "C:\\" + std::string(256, 'a');
  EXPECT_EQ(fake_.GetFileAttributesA(longest.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(fake_.DeleteFileA((longest + "b").c_str()));
  EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

// ---- Links: Windows semantics, which Wine cannot show. -------------------

class FakeLinkTest : public FakePlatformTest {
 protected:
  FakeLinkTest() {
    fake_.AddFile("C:\\target\\keep.txt", 10);
    fake_.AddFile("C:\\target.txt", 20);
    fake_.AddLink("C:\\d\\folderlink", "C:\\target");
    fake_.AddLink("C:\\d\\filelink", "C:\\target.txt", false);
  }
};

TEST_F(FakeLinkTest, LinksListAsReparsePoints) {
  WIN32_FIND_DATAA data{};
  ScopedFindHandle handle(fake_, fake_.FindFirstFileA("C:\\d\\folderlink", &data));
  ASSERT_TRUE(handle);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(fake_.GetFileAttributesA("C:\\d\\filelink"),
            FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(FakeLinkTest, PathsThroughAFolderLinkResolveInTheTarget) {
  EXPECT_EQ(Listing("C:\\d\\folderlink\\*"), (Names{".", "..", "keep.txt"}));
  EXPECT_EQ(fake_.Size("C:\\d\\folderlink\\keep.txt"), 10u);
  fake_.AddFile("C:\\d\\folderlink\\new.txt");
  EXPECT_TRUE(fake_.Exists("C:\\target\\new.txt"));
}

TEST_F(FakeLinkTest, AttributeCallsActOnTheLinkItself) {
  ASSERT_TRUE(fake_.SetFileAttributesA("C:\\d\\folderlink", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(fake_.Attributes("C:\\d\\folderlink"),
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(fake_.Attributes("C:\\target"), FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FakeLinkTest, RemovingAFolderLinkLeavesTheTargetWhole) {
  EXPECT_FALSE(fake_.DeleteFileA("C:\\d\\folderlink"));
  EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(fake_.RemoveDirectoryA("C:\\d\\folderlink"));  // target not empty
  EXPECT_FALSE(fake_.Exists("C:\\d\\folderlink"));
  EXPECT_TRUE(fake_.Exists("C:\\target\\keep.txt"));
}

TEST_F(FakeLinkTest, DeletingAFileLinkLeavesTheTarget) {
  ASSERT_TRUE(fake_.DeleteFileA("C:\\d\\filelink"));
  EXPECT_FALSE(fake_.Exists("C:\\d\\filelink"));
  EXPECT_EQ(fake_.Size("C:\\target.txt"), 20u);
}

TEST_F(FakeLinkTest, ALinkToNothingLeadsNowhere) {
  ASSERT_TRUE(fake_.RemoveDirectoryA("C:\\d\\folderlink"));
  fake_.AddLink("C:\\d\\dangling", "C:\\gone");
  fake_.AddLink("C:\\d\\loop", "C:\\d\\loop");
  for (const char* pattern : {"C:\\d\\dangling\\*", "C:\\d\\loop\\*"}) {
    WIN32_FIND_DATAA data{};
    EXPECT_EQ(fake_.FindFirstFileA(pattern, &data), INVALID_HANDLE_VALUE) << pattern;
    EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << pattern;
  }
  EXPECT_TRUE(fake_.RemoveDirectoryA("C:\\d\\dangling"));
}

// ---- In use ----------------------------------------------------------------

TEST_F(FakePlatformTest, InUseBlocksDeletionNotAttributes) {
  fake_.AddFile("C:\\d\\f", 0, FILE_ATTRIBUTE_READONLY);
  fake_.SetInUse("C:\\d\\f");
  fake_.SetInUse("C:\\d");
  ASSERT_TRUE(fake_.SetFileAttributesA("C:\\d\\f", FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(fake_.DeleteFileA("C:\\d\\f"));
  EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(fake_.RemoveDirectoryA("C:\\d"));  // held comes before not empty
  EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

  fake_.SetInUse("C:\\d\\f", false);
  EXPECT_TRUE(fake_.DeleteFileA("C:\\d\\f"));
}

TEST_F(FakePlatformTest, ReadOnlyFolderIsRefusedAsOnWindows) {
  fake_.AddFolder("C:\\ro", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(fake_.RemoveDirectoryA("C:\\ro"));
  EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// ---- The log -----------------------------------------------------------------

TEST_F(FakePlatformTest, LogsEveryCallAndTheChangingOnesApart) {
  fake_.AddFile("C:\\Windows\\a.tmp");
  fake_.AddFile("C:\\Windows\\locked.tmp");
  fake_.SetInUse("C:\\Windows\\locked.tmp");
  fake_.ClearLog();

  EXPECT_NE(fake_.GetFileAttributesA("c:/windows//a.tmp"), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(fake_.DeleteFileA("c:/windows//a.tmp"));
  EXPECT_FALSE(fake_.DeleteFileA("C:\\Windows\\locked.tmp"));
  fake_.GetLastError();
  HKEY key = nullptr;
  ASSERT_EQ(fake_.RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\\\New", &key), ERROR_SUCCESS);
  const BYTE one[4] = {1, 0, 0, 0};
  ASSERT_EQ(fake_.RegSetValueExA(key, "Limit", 0, REG_DWORD, one, 4), ERROR_SUCCESS);
  ASSERT_EQ(fake_.RegCloseKey(key), ERROR_SUCCESS);

  struct Expected {
    const char* call;
    const char* target;
    const char* value;
    bool changing;
    bool succeeded;
    DWORD error;
  };
  const Expected expected[] = {
      {"GetFileAttributesA", "c:\\windows\\a.tmp", "", false, true, 0},
      {"DeleteFileA", "c:\\windows\\a.tmp", "", true, true, 0},
      {"DeleteFileA", "C:\\Windows\\locked.tmp", "", true, false, ERROR_SHARING_VIOLATION},
      {"GetLastError", "", "", false, true, 0},
      {"RegCreateKeyA", "HKLM\\Software\\New", "", true, true, 0},
      {"RegSetValueExA", "HKLM\\Software\\New", "Limit", true, true, 0},
      {"RegCloseKey", "HKLM\\Software\\New", "", false, true, 0},
  };
  const auto& calls = fake_.Calls();
  ASSERT_EQ(calls.size(), std::size(expected));
  for (std::size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(calls[i].call, expected[i].call);
    EXPECT_EQ(calls[i].target, expected[i].target);
    EXPECT_EQ(calls[i].value, expected[i].value);
    EXPECT_EQ(calls[i].changing, expected[i].changing);
    EXPECT_EQ(calls[i].succeeded, expected[i].succeeded);
    EXPECT_EQ(calls[i].error, expected[i].error);
  }
  const auto changes = fake_.Changes();
  ASSERT_EQ(changes.size(), 4u);
  EXPECT_EQ(changes[2].call, "RegCreateKeyA");
}

// ---- Injected failures -------------------------------------------------------

struct InjectedCase {
  const char* call;
  DWORD error;
};

class FakeFailureTest : public FakePlatformTest,
                        public ::testing::WithParamInterface<InjectedCase> {};

// Each call fails as the real one does and leaves the machine as it was.
TEST_P(FakeFailureTest, FailsAsTheRealCallAndChangesNothing) {
  const InjectedCase& c = GetParam();
  fake_.AddFile("C:\\d\\f.txt", 5, FILE_ATTRIBUTE_READONLY);
  fake_.AddFolder("C:\\d\\empty");
  fake_.SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\k\\sub", "v", 7);
  HKEY parent = nullptr;
  ASSERT_EQ(fake_.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\k", &parent), ERROR_SUCCESS);
  WIN32_FIND_DATAA data{};
  HANDLE find = fake_.FindFirstFileA("C:\\d\\*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  const std::string before = fake_.Dump();
  fake_.FailCall(c.call, c.error);

  const std::string call = c.call;
  const auto lastError = [&] { return fake_.GetLastError(); };
  BYTE buffer[8] = {};
  DWORD size = sizeof(buffer);
  HKEY key = parent;
  char text[MAX_PATH] = "unchanged";
  if (call == "GetFileAttributesA") {
    EXPECT_EQ(fake_.GetFileAttributesA("C:\\d\\f.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(lastError(), c.error);
  } else if (call == "SetFileAttributesA") {
    EXPECT_FALSE(fake_.SetFileAttributesA("C:\\d\\f.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(lastError(), c.error);
  } else if (call == "DeleteFileA") {
    EXPECT_FALSE(fake_.DeleteFileA("C:\\d\\f.txt"));
    EXPECT_EQ(lastError(), c.error);
  } else if (call == "RemoveDirectoryA") {
    EXPECT_FALSE(fake_.RemoveDirectoryA("C:\\d\\empty"));
    EXPECT_EQ(lastError(), c.error);
  } else if (call == "FindFirstFileA") {
    EXPECT_EQ(fake_.FindFirstFileA("C:\\d\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(lastError(), c.error);
  } else if (call == "FindNextFileA") {
    EXPECT_FALSE(fake_.FindNextFileA(find, &data));
    EXPECT_EQ(lastError(), c.error);
    EXPECT_STREQ(data.cFileName, ".");  // the listing did not move on
  } else if (call == "FindClose") {
    EXPECT_FALSE(fake_.FindClose(find));
    EXPECT_EQ(lastError(), c.error);
  } else if (call == "GetWindowsDirectoryA") {
    EXPECT_EQ(fake_.GetWindowsDirectoryA(text, MAX_PATH), 0u);
    EXPECT_EQ(lastError(), c.error);
    EXPECT_STREQ(text, "unchanged");
  } else if (call == "GetTempPathA") {
    EXPECT_EQ(fake_.GetTempPathA(MAX_PATH, text), 0u);
    EXPECT_EQ(lastError(), c.error);
    EXPECT_STREQ(text, "unchanged");
  } else if (call == "RegOpenKeyA") {
    EXPECT_EQ(fake_.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\k", &key), LSTATUS(c.error));
    EXPECT_EQ(key, nullptr);
  } else if (call == "RegCreateKeyA") {
    EXPECT_EQ(fake_.RegCreateKeyA(parent, "new", &key), LSTATUS(c.error));
  } else if (call == "RegQueryValueExA") {
    EXPECT_EQ(fake_.RegQueryValueExA(parent, "x", nullptr, nullptr, buffer, &size),
              LSTATUS(c.error));
    EXPECT_EQ(size, sizeof(buffer));
  } else if (call == "RegSetValueExA") {
    EXPECT_EQ(fake_.RegSetValueExA(parent, "x", 0, REG_BINARY, buffer, 1), LSTATUS(c.error));
  } else if (call == "RegDeleteKeyA") {
    EXPECT_EQ(fake_.RegDeleteKeyA(parent, "sub"), LSTATUS(c.error));
  } else if (call == "RegCloseKey") {
    EXPECT_EQ(fake_.RegCloseKey(parent), LSTATUS(c.error));
  } else {
    FAIL() << "no case for " << call;
  }
  EXPECT_EQ(fake_.Dump(), before);
  const auto& calls = fake_.Calls();
  auto failed = std::find_if(calls.rbegin(), calls.rend(),
                             [&](const auto& record) { return record.call == call; });
  ASSERT_NE(failed, calls.rend());
  EXPECT_FALSE(failed->succeeded);
  EXPECT_EQ(failed->error, c.error);
  fake_.ClearFailures();
  fake_.FindClose(find);
  fake_.RegCloseKey(parent);
  EXPECT_EQ(fake_.OpenFindHandles(), 0u);
  EXPECT_EQ(fake_.OpenRegKeys(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCallThatCanFail, FakeFailureTest,
    ::testing::Values(InjectedCase{"GetFileAttributesA", ERROR_ACCESS_DENIED},
                      InjectedCase{"SetFileAttributesA", ERROR_ACCESS_DENIED},
                      InjectedCase{"DeleteFileA", ERROR_LOCK_VIOLATION},
                      InjectedCase{"RemoveDirectoryA", ERROR_ACCESS_DENIED},
                      InjectedCase{"FindFirstFileA", ERROR_NOT_READY},
                      InjectedCase{"FindNextFileA", ERROR_ACCESS_DENIED},
                      InjectedCase{"FindClose", ERROR_INVALID_HANDLE},
                      InjectedCase{"GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY},
                      InjectedCase{"GetTempPathA", ERROR_NOT_ENOUGH_MEMORY},
                      InjectedCase{"RegOpenKeyA", ERROR_ACCESS_DENIED},
                      InjectedCase{"RegCreateKeyA", ERROR_ACCESS_DENIED},
                      InjectedCase{"RegQueryValueExA", ERROR_ACCESS_DENIED},
                      InjectedCase{"RegSetValueExA", ERROR_ACCESS_DENIED},
                      InjectedCase{"RegDeleteKeyA", ERROR_ACCESS_DENIED},
                      InjectedCase{"RegCloseKey", ERROR_INVALID_HANDLE}),
    [](const ::testing::TestParamInfo<InjectedCase>& param) { return param.param.call; });

TEST_F(FakePlatformTest, FailCallWithAPathHitsThatPathAndBelowOnly) {
  fake_.AddFile("C:\\d\\a");
  fake_.AddFile("C:\\d\\sub\\b");
  fake_.AddFile("C:\\dx\\c");
  fake_.FailCall("DeleteFileA", ERROR_ACCESS_DENIED, "c:/D/");
  EXPECT_FALSE(fake_.DeleteFileA("C:\\d\\a"));
  EXPECT_FALSE(fake_.DeleteFileA("C:\\d\\sub\\b"));
  EXPECT_TRUE(fake_.DeleteFileA("C:\\dx\\c"));  // a sibling sharing the prefix

  fake_.SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\k", "v", 1);
  fake_.FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED, "HKEY_LOCAL_MACHINE\\software\\K");
  HKEY key = nullptr;
  ASSERT_EQ(fake_.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\k", &key), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(fake_.RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(fake_.RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(FakePlatformTest, FailNthCallCountsEveryCallFromTheLastClear) {
  fake_.AddFile("C:\\a");
  fake_.AddFile("C:\\b");
  fake_.ClearLog();
  fake_.FailNthCall(2, ERROR_ACCESS_DENIED);
  EXPECT_NE(fake_.GetFileAttributesA("C:\\a"), INVALID_FILE_ATTRIBUTES);  // call 0
  fake_.GetLastError();                                                   // call 1
  EXPECT_FALSE(fake_.DeleteFileA("C:\\a"));                               // call 2
  EXPECT_TRUE(fake_.DeleteFileA("C:\\b"));                                // call 3
  EXPECT_TRUE(fake_.Exists("C:\\a"));
}

TEST_F(FakePlatformTest, CountsOpenHandlesForLeakChecks) {
  WIN32_FIND_DATAA data{};
  HANDLE find = fake_.FindFirstFileA("C:\\*", &data);
  HKEY key = nullptr;
  ASSERT_EQ(fake_.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", &key), ERROR_SUCCESS);
  HKEY same = nullptr;
  ASSERT_EQ(fake_.RegOpenKeyA(key, "", &same), ERROR_SUCCESS);
  EXPECT_EQ(same, key);
  EXPECT_EQ(fake_.OpenFindHandles(), 1u);
  EXPECT_EQ(fake_.OpenRegKeys(), 1u);
  EXPECT_TRUE(fake_.FindClose(find));
  EXPECT_EQ(fake_.RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(fake_.OpenFindHandles(), 0u);
  EXPECT_EQ(fake_.OpenRegKeys(), 0u);
  EXPECT_FALSE(fake_.FindClose(find));
  EXPECT_EQ(fake_.GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FakePlatformTest, DumpShowsTreeAndRegistry) {
  fake_.AddFile("C:\\Windows\\x.tmp", 12, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  fake_.AddLink("C:\\j", "C:\\Windows");
  fake_.SetInUse("C:\\Windows\\x.tmp");
  fake_.SetRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brisca", "ExecuteDate", "2026/12/6");
  fake_.SetRegDword(HKEY_CURRENT_USER, "Environment", "Limit", 20);
  const std::string dump = fake_.Dump();
  for (const char* expected :
       {"x.tmp  12 bytes  [RH]  (in use)", "j\\  [L]  -> C:\\Windows", "Brisca",
        "ExecuteDate: REG_SZ \"2026/12/6\"", "HKCU", "Limit: REG_DWORD 20"}) {
    EXPECT_NE(dump.find(expected), std::string::npos) << expected << "\n" << dump;
  }
}

TEST_F(FakePlatformTest, BuildersRefuseWhatNoMachineHas) {
  fake_.AddFile("C:\\file");
  EXPECT_THROW(fake_.AddFile("D:\\x"), std::invalid_argument);
  EXPECT_THROW(fake_.AddFile("C:\\file\\x"), std::invalid_argument);
  EXPECT_THROW(fake_.AddFolder("C:\\file"), std::invalid_argument);
  EXPECT_THROW(fake_.SetInUse("C:\\missing"), std::invalid_argument);
  EXPECT_THROW(fake_.SetCurrentFolder("C:\\file"), std::invalid_argument);
}

}  // namespace
