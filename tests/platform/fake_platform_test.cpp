// What only the in-memory machine has: listing order, links, injected
// failures, the call log and the dump. The behaviour it shares with Windows is
// checked by the contract suite (platform_contract.cpp).
#include "support/fake_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/scoped_handle.h"

namespace {

using Names = std::vector<std::string>;

class FakePlatformTest : public ::testing::Test {
 protected:
  // Every name a listing gives, "." and ".." included, until it ends, or
  // {"error N"} when it gives nothing.
  Names Listing(const std::string& pattern) {
    Names names;
    WIN32_FIND_DATAA data{};
    ScopedFindHandle handle(fake_, fake_.FindFirstFileA(pattern.c_str(), &data));
    if (!handle) return {"error " + std::to_string(fake_.GetLastError())};
    do {
      names.push_back(data.cFileName);
    } while (fake_.FindNextFileA(handle.get(), &data));
    return names;
  }
  DWORD LastError() { return fake_.GetLastError(); }

  FakePlatform fake_;
};

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

  fake_.SetListingOrder("C:\\", {"Windows"});  // a drive's root has no dot entries
  EXPECT_EQ(Listing("C:\\*"), (Names{"Windows", "Users", "d"}));
}

// A walk deletes while it lists: names are fixed when the listing opens, the
// data of each entry is read when it is reached.
TEST_F(FakePlatformTest, ListingIsASnapshotOfNamesWithCurrentData) {
  fake_.AddFile("C:\\d\\a", 1);
  fake_.AddFile("C:\\d\\b", 2, FILE_ATTRIBUTE_READONLY);
  fake_.AddFile("C:\\d\\c", 3);
  WIN32_FIND_DATAA data{};
  ScopedFindHandle handle(fake_, fake_.FindFirstFileA("C:\\d\\*", &data));
  ASSERT_TRUE(handle);
  fake_.AddFile("C:\\d\\late");
  ASSERT_TRUE(fake_.DeleteFileA("C:\\d\\a"));
  ASSERT_TRUE(fake_.SetFileAttributesA("C:\\d\\b", FILE_ATTRIBUTE_HIDDEN));
  Names names;
  while (fake_.FindNextFileA(handle.get(), &data)) {
    names.push_back(data.cFileName);
    if (names.back() == "b") {
      EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_HIDDEN);
    }
  }
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_EQ(names, (Names{"..", "b", "c"}));
}

// Windows answers that Wine does not give (it keeps archive on every file and
// says ERROR_INVALID_NAME for a file's entries), so the contract cannot ask.
// Names are looked up through an index beside the listing order: removing
// and making entries again must keep the two in step, whatever the case.
TEST_F(FakePlatformTest, WideFolderFindsEveryNameAfterRemovalsAndRemakes) {
  for (int i = 0; i < 200; ++i) fake_.AddFile("C:\\w\\f" + std::to_string(i), 1);
  ASSERT_TRUE(fake_.DeleteFileA("C:\\w\\F7"));
  EXPECT_EQ(fake_.GetFileAttributesA("C:\\w\\f7"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  fake_.AddFolder("C:\\w\\F7");
  EXPECT_EQ(fake_.GetFileAttributesA("C:\\w\\f7"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_TRUE(fake_.RemoveDirectoryA("c:\\W\\f7"));
  for (int i = 0; i < 200; ++i) {
    const std::string path = "C:\\W\\F" + std::to_string(i);
    EXPECT_EQ(fake_.GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES, i == 7) << path;
  }
  EXPECT_EQ(fake_.List("C:\\w").size(), 199u);
}

TEST_F(FakePlatformTest, WindowsOnlyAnswers) {
  fake_.AddFile("C:\\f", 0, FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(fake_.SetFileAttributesA("C:\\f", FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(fake_.GetFileAttributesA("C:\\f"), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(Listing("C:\\f\\*"), Names{"error 267"});  // ERROR_DIRECTORY
  EXPECT_EQ(fake_.GetFileAttributesA("D:\\f"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(fake_.RemoveDirectoryA("C:\\"));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  // MAX_PATH counts the zero: 260 characters are already too many.
  const std::string longest = "C:\\" + std::string(256, 'a');
  EXPECT_EQ(fake_.GetFileAttributesA(longest.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(fake_.DeleteFileA((longest + "b").c_str()));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

// ---- Links: Windows semantics, which Wine cannot show. -------------------

TEST_F(FakePlatformTest, LinksAreEntriesOfTheirOwnThatLeadToTheirTargets) {
  fake_.AddFile("C:\\target\\keep.txt", 10);
  fake_.AddFile("C:\\target.txt", 20);
  fake_.AddLink("C:\\d\\folderlink", "C:\\target");
  fake_.AddLink("C:\\d\\filelink", "C:\\target.txt", false);
  const DWORD folderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  WIN32_FIND_DATAA data{};
  ScopedFindHandle handle(fake_, fake_.FindFirstFileA("C:\\d\\folderlink", &data));
  EXPECT_EQ(data.dwFileAttributes, folderLink);
  EXPECT_EQ(fake_.GetFileAttributesA("C:\\d\\filelink"),
            FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE);

  // Paths through a folder link resolve in the target.
  EXPECT_EQ(Listing("C:\\d\\folderlink\\*"), (Names{".", "..", "keep.txt"}));
  fake_.AddFile("C:\\d\\folderlink\\new.txt");
  EXPECT_TRUE(fake_.Exists("C:\\target\\new.txt"));

  // Attribute calls and removals act on the link itself.
  ASSERT_TRUE(fake_.SetFileAttributesA("C:\\d\\folderlink", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(fake_.Attributes("C:\\d\\folderlink"), folderLink);
  EXPECT_EQ(fake_.Attributes("C:\\target"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(fake_.DeleteFileA("C:\\d\\folderlink"));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(fake_.RemoveDirectoryA("C:\\d\\folderlink"));  // its target is not empty
  ASSERT_TRUE(fake_.DeleteFileA("C:\\d\\filelink"));
  EXPECT_EQ(fake_.List("C:\\d"), Names{});
  EXPECT_EQ(fake_.List("C:\\target"), (Names{"keep.txt", "new.txt"}));
  EXPECT_EQ(fake_.Size("C:\\target.txt"), 20u);
}

TEST_F(FakePlatformTest, ALinkToNothingLeadsNowhere) {
  fake_.AddLink("C:\\d\\dangling", "C:\\gone");
  fake_.AddLink("C:\\d\\loop", "C:\\d\\loop");
  EXPECT_EQ(Listing("C:\\d\\dangling\\*"), Names{"error 3"});
  EXPECT_EQ(Listing("C:\\d\\loop\\*"), Names{"error 3"});
  EXPECT_TRUE(fake_.RemoveDirectoryA("C:\\d\\dangling"));
}

// ---- The log -----------------------------------------------------------------

TEST_F(FakePlatformTest, LogsEveryCallAndTheChangingOnesApart) {
  fake_.AddFile("C:\\Windows\\a.tmp");
  fake_.AddFile("C:\\Windows\\locked.tmp");
  fake_.SetInUse("C:\\Windows\\locked.tmp");
  fake_.AddFile("C:\\work\\b.txt");
  fake_.SetCurrentFolder("C:\\work");
  fake_.ClearLog();

  EXPECT_NE(fake_.GetFileAttributesA("c:/windows//a.tmp"), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(fake_.DeleteFileA("c:/windows//a.tmp"));
  EXPECT_FALSE(fake_.DeleteFileA("C:\\Windows\\locked.tmp"));
  fake_.GetLastError();
  EXPECT_TRUE(fake_.DeleteFileA("..\\work\\.\\b.txt"));
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
      {"DeleteFileA", "C:\\work\\b.txt", "", true, true, 0},
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
  ASSERT_EQ(changes.size(), 5u);
  EXPECT_EQ(changes[3].call, "RegCreateKeyA");
}

TEST_F(FakePlatformTest, CountsOpenHandlesForLeakChecks) {
  WIN32_FIND_DATAA data{};
  HANDLE find = fake_.FindFirstFileA("C:\\*", &data);
  HKEY key = nullptr;
  ASSERT_EQ(fake_.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", &key), ERROR_SUCCESS);
  EXPECT_EQ(fake_.OpenFindHandles(), 1u);
  EXPECT_EQ(fake_.OpenRegKeys(), 1u);
  EXPECT_TRUE(fake_.FindClose(find));
  EXPECT_EQ(fake_.RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(fake_.OpenFindHandles(), 0u);
  EXPECT_EQ(fake_.OpenRegKeys(), 0u);
  EXPECT_FALSE(fake_.FindClose(find));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// ---- Injected failures -------------------------------------------------------

// Each call fails as the real one does, says why, and leaves the machine as it
// was: the fault sweeps rely on injected failures being indistinguishable.
TEST_F(FakePlatformTest, EveryCallThatCanFailFailsAsTheRealOneAndChangesNothing) {
  fake_.AddFile("C:\\d\\f.txt", 5, FILE_ATTRIBUTE_READONLY);
  fake_.AddFolder("C:\\d\\empty");
  fake_.SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\k\\sub", "v", 7);
  HKEY parent = nullptr;
  ASSERT_EQ(fake_.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\k", &parent), ERROR_SUCCESS);
  WIN32_FIND_DATAA data{};
  HANDLE find = fake_.FindFirstFileA("C:\\d\\*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  const std::string before = fake_.Dump();
  BYTE bytes[8] = {};
  DWORD size = sizeof(bytes);
  char text[MAX_PATH] = "unchanged";
  HKEY key = parent;

  // Each call returns the error it reports: the last error, or its LSTATUS.
  struct Case {
    const char* call;
    DWORD error;
    std::function<DWORD()> fail;
  };
  const auto last = [&](bool failed) { return failed ? fake_.GetLastError() : 0; };
  const Case cases[] = {
      {"GetFileAttributesA", ERROR_ACCESS_DENIED,
       [&] { return last(fake_.GetFileAttributesA("C:\\d\\f.txt") == INVALID_FILE_ATTRIBUTES); }},
      {"SetFileAttributesA", ERROR_ACCESS_DENIED,
       [&] { return last(!fake_.SetFileAttributesA("C:\\d\\f.txt", FILE_ATTRIBUTE_NORMAL)); }},
      {"DeleteFileA", ERROR_LOCK_VIOLATION,
       [&] { return last(!fake_.DeleteFileA("C:\\d\\f.txt")); }},
      {"RemoveDirectoryA", ERROR_ACCESS_DENIED,
       [&] { return last(!fake_.RemoveDirectoryA("C:\\d\\empty")); }},
      {"FindFirstFileA", ERROR_NOT_READY,
       [&] { return last(fake_.FindFirstFileA("C:\\d\\*", &data) == INVALID_HANDLE_VALUE); }},
      {"FindNextFileA", ERROR_ACCESS_DENIED,
       [&] {  // the listing does not move on
         const std::string name = data.cFileName;
         const DWORD error = last(!fake_.FindNextFileA(find, &data));
         return name == data.cFileName ? error : 1;
       }},
      {"FindClose", ERROR_INVALID_HANDLE, [&] { return last(!fake_.FindClose(find)); }},
      {"GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY,
       [&] { return last(fake_.GetWindowsDirectoryA(text, MAX_PATH) == 0); }},
      {"GetTempPathA", ERROR_NOT_ENOUGH_MEMORY,
       [&] { return last(fake_.GetTempPathA(MAX_PATH, text) == 0); }},
      {"RegOpenKeyA", ERROR_ACCESS_DENIED,
       [&] {
         const LSTATUS status = fake_.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\k", &key);
         return key == nullptr ? static_cast<DWORD>(status) : 1;
       }},
      {"RegCreateKeyA", ERROR_ACCESS_DENIED,
       [&] { return static_cast<DWORD>(fake_.RegCreateKeyA(parent, "new", &key)); }},
      {"RegQueryValueExA", ERROR_ACCESS_DENIED,
       [&] {
         const LSTATUS status = fake_.RegQueryValueExA(parent, "x", nullptr, nullptr, bytes, &size);
         return size == sizeof(bytes) ? static_cast<DWORD>(status) : 1;
       }},
      {"RegSetValueExA", ERROR_ACCESS_DENIED,
       [&] {
         return static_cast<DWORD>(fake_.RegSetValueExA(parent, "x", 0, REG_BINARY, bytes, 1));
       }},
      {"RegDeleteKeyA", ERROR_ACCESS_DENIED,
       [&] { return static_cast<DWORD>(fake_.RegDeleteKeyA(parent, "sub")); }},
      {"RegCloseKey", ERROR_INVALID_HANDLE,
       [&] { return static_cast<DWORD>(fake_.RegCloseKey(parent)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    fake_.FailCall(c.call, c.error);
    EXPECT_EQ(c.fail(), c.error);
    fake_.ClearFailures();
    EXPECT_STREQ(text, "unchanged");
    EXPECT_EQ(fake_.Dump(), before);
    const auto& calls = fake_.Calls();
    const auto failed = std::find_if(calls.rbegin(), calls.rend(),
                                     [&](const auto& record) { return record.call == c.call; });
    ASSERT_NE(failed, calls.rend());
    EXPECT_FALSE(failed->succeeded);
    EXPECT_EQ(failed->error, c.error);
  }
  EXPECT_TRUE(fake_.FindClose(find));
  EXPECT_EQ(fake_.RegCloseKey(parent), ERROR_SUCCESS);
}

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
  ScopedRegKey key = OpenRegKey(fake_, HKEY_LOCAL_MACHINE, "SOFTWARE\\k");
  ASSERT_TRUE(key);
  DWORD size = 0;
  EXPECT_EQ(fake_.RegQueryValueExA(key.get(), "v", nullptr, nullptr, nullptr, &size),
            ERROR_ACCESS_DENIED);
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

// ---- Building and showing the machine -----------------------------------------

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
