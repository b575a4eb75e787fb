#include "platform_contract.h"

#include <algorithm>
#include <cstring>

#include "platform/scoped_handle.h"

namespace {

using Names = std::vector<std::string>;

constexpr DWORD kNormalFile = FILE_ATTRIBUTE_ARCHIVE;  // what a new file gets

std::vector<BYTE> Bytes(const std::string& text) {
  return std::vector<BYTE>(text.begin(), text.end());
}

}  // namespace

void PlatformContract::SetUp() { machine_ = GetParam().make(); }

std::string PlatformContract::At(const std::string& relative) const {
  return machine_->Scratch() + "\\" + relative;
}

std::vector<std::string> PlatformContract::SortedListing(const std::string& pattern) {
  WIN32_FIND_DATAA data{};
  ScopedFindHandle handle(P(), P().FindFirstFileA(pattern.c_str(), &data));
  if (!handle) return {"error " + std::to_string(LastError())};
  Names names;
  do {
    names.push_back(data.cFileName);
  } while (P().FindNextFileA(handle.get(), &data));
  const DWORD end = LastError();
  if (end != static_cast<DWORD>(ERROR_NO_MORE_FILES))
    names.push_back("ended with " + std::to_string(end));
  std::sort(names.begin(), names.end());
  return names;
}

// ---- Attributes -------------------------------------------------------------

TEST_P(PlatformContract, GetFileAttributesReportsKindAndBits) {
  machine_->MakeFolder(At("sub"));
  machine_->MakeFile(At("plain.txt"), 3, kNormalFile);
  machine_->MakeFile(At("ro.txt"), 3, FILE_ATTRIBUTE_READONLY | kNormalFile);
  EXPECT_EQ(P().GetFileAttributesA(At("sub").c_str()) & ~DWORD{FILE_ATTRIBUTE_ARCHIVE},
            FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(P().GetFileAttributesA(At("plain.txt").c_str()), kNormalFile);
  EXPECT_EQ(P().GetFileAttributesA(At("ro.txt").c_str()), FILE_ATTRIBUTE_READONLY | kNormalFile);
}

TEST_P(PlatformContract, SetFileAttributesNormalReplacesEveryBit) {
  machine_->MakeFolder(At("sub"));
  machine_->MakeFile(At("f"), 0, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | kNormalFile);
  ASSERT_TRUE(P().SetFileAttributesA(At("f").c_str(), FILE_ATTRIBUTE_NORMAL));
  // Windows then reports FILE_ATTRIBUTE_NORMAL; Wine keeps reporting archive.
  const DWORD file = P().GetFileAttributesA(At("f").c_str());
  EXPECT_EQ(file & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY),
            0u);
  ASSERT_TRUE(P().SetFileAttributesA(At("sub").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(P().GetFileAttributesA(At("sub").c_str()), FILE_ATTRIBUTE_DIRECTORY);
}

// ---- Missing things -----------------------------------------------------------

struct MissingCase {
  const char* name;
  std::function<bool(Platform&, const std::string&)> call;  // true when it failed
};

TEST_P(PlatformContract, MissingEntryGives2AndMissingParentGives3) {
  const MissingCase cases[] = {
      {"GetFileAttributesA",
       [](Platform& p, const std::string& path) {
         return p.GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
       }},
      {"SetFileAttributesA",
       [](Platform& p, const std::string& path) {
         return !p.SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
       }},
      {"DeleteFileA",
       [](Platform& p, const std::string& path) { return !p.DeleteFileA(path.c_str()); }},
      {"RemoveDirectoryA",
       [](Platform& p, const std::string& path) { return !p.RemoveDirectoryA(path.c_str()); }},
      {"FindFirstFileA",
       [](Platform& p, const std::string& path) {
         WIN32_FIND_DATAA data{};
         return p.FindFirstFileA(path.c_str(), &data) == INVALID_HANDLE_VALUE;
       }},
  };
  for (const MissingCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(c.call(P(), At("missing")));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(c.call(P(), At("missing\\child")));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  }
}

TEST_P(PlatformContract, PathsLongerThanMaxPathFail) {
  const std::string tooLong = At(std::string(300, 'a'));
  EXPECT_EQ(P().GetFileAttributesA(tooLong.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_FALSE(P().DeleteFileA(tooLong.c_str()));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_FALSE(P().RemoveDirectoryA(tooLong.c_str()));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  WIN32_FIND_DATAA data{};
  EXPECT_EQ(P().FindFirstFileA((tooLong + "\\*").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));

  // 259 characters still reach the file system. (Exactly 260 fails on
  // Windows, where MAX_PATH counts the zero, but not under Wine.)
  const std::string root = machine_->Scratch();
  const std::string longest = At(std::string(259 - root.size() - 1, 'b'));
  ASSERT_EQ(longest.size(), 259u);
  EXPECT_EQ(P().GetFileAttributesA(longest.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_P(PlatformContract, PathTextRules) {
  machine_->MakeFolder(At("dir"));
  machine_->MakeFile(At("f.txt"), 0, kNormalFile);
  struct {
    std::string path;
    DWORD result;  // attributes, or the error when INVALID_FILE_ATTRIBUTES is expected
    bool found;
  } const cases[] = {
      {"", ERROR_PATH_NOT_FOUND, false},
      {At("f.txt."), kNormalFile, true},  // trailing dots and blanks dropped
      {At("f.txt "), kNormalFile, true},
      {At("dir\\..\\.\\f.txt"), kNormalFile, true},
      {At("*.txt"), ERROR_INVALID_NAME, false},
      {At("f.txt\\"), ERROR_PATH_NOT_FOUND, false},
  };
  for (const auto& c : cases) {
    const DWORD attributes = P().GetFileAttributesA(c.path.c_str());
    if (c.found) {
      EXPECT_EQ(attributes, c.result) << c.path;
    } else {
      EXPECT_EQ(attributes, INVALID_FILE_ATTRIBUTES) << c.path;
      EXPECT_EQ(LastError(), c.result) << c.path;
    }
  }
  EXPECT_NE(P().GetFileAttributesA(At("dir\\").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(P().DeleteFileA(At("*.txt").c_str()));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_FALSE(P().DeleteFileA(At("f.txt\\").c_str()));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(SortedListing(At("dir\\")), (Names{"error 2"}));  // a folder, no pattern
  EXPECT_EQ(SortedListing(""), (Names{"error 3"}));
}

// ---- Listings -------------------------------------------------------------------

TEST_P(PlatformContract, EveryListingPatternGivesEveryEntry) {
  machine_->MakeFolder(At("d"));
  machine_->MakeFolder(At("d\\Sub.dir"));
  machine_->MakeFile(At("d\\noext"), 1, kNormalFile);
  machine_->MakeFile(At("d\\b.tmp"), 2, kNormalFile);
  machine_->MakeFile(At("d\\A.TXT"), 3, kNormalFile);
  const Names expected = {".", "..", "A.TXT", "Sub.dir", "b.tmp", "noext"};
  for (const std::string& pattern :
       {At("d\\*.*"), At("d\\*"), At("d\\\\*.*"), At("d\\\\*"), At("D/*.*")}) {
    EXPECT_EQ(SortedListing(pattern), expected) << pattern;
  }
}

TEST_P(PlatformContract, EmptyFolderListsOnlyDotEntries) {
  machine_->MakeFolder(At("empty"));
  EXPECT_EQ(SortedListing(At("empty\\*.*")), (Names{".", ".."}));
}

TEST_P(PlatformContract, ListingFailuresAndItsEnd) {
  machine_->MakeFile(At("file"), 0, kNormalFile);
  EXPECT_EQ(SortedListing(At("missing\\*.*")), (Names{"error 3"}));
  WIN32_FIND_DATAA data{};
  // A file has no entries: ERROR_DIRECTORY on Windows, ERROR_INVALID_NAME under Wine.
  EXPECT_EQ(P().FindFirstFileA(At("file\\*").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(SortedListing(At("*.nothing")), (Names{"error 2"}));

  HANDLE handle = P().FindFirstFileA(At("file").c_str(), &data);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(P().FindNextFileA(handle, &data));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_FALSE(P().FindNextFileA(handle, &data));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(P().FindClose(handle));
}

TEST_P(PlatformContract, NameWithoutWildcardFindsThatEntryWithItsData) {
  machine_->MakeFolder(At("Folder"));
  machine_->MakeFile(At("Data.bin"), 70000, FILE_ATTRIBUTE_READONLY | kNormalFile);
  WIN32_FIND_DATAA data{};
  {
    ScopedFindHandle handle(P(), P().FindFirstFileA(At("data.BIN").c_str(), &data));
    ASSERT_TRUE(handle);
    EXPECT_STREQ(data.cFileName, "Data.bin");  // the stored case
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_READONLY | kNormalFile);
    EXPECT_EQ(data.nFileSizeLow, 70000u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_FALSE(P().FindNextFileA(handle.get(), &data));
  }
  ScopedFindHandle handle(P(), P().FindFirstFileA(At("folder").c_str(), &data));
  ASSERT_TRUE(handle);
  EXPECT_STREQ(data.cFileName, "Folder");
  EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_P(PlatformContract, StarAloneListsTheCurrentFolder) {
  machine_->MakeFolder(At("here"));
  machine_->MakeFile(At("here\\x"), 0, kNormalFile);
  machine_->SetCurrentFolder(At("here"));
  EXPECT_EQ(SortedListing("*"), (Names{".", "..", "x"}));
  EXPECT_EQ(SortedListing("*.*"), (Names{".", "..", "x"}));
  EXPECT_NE(P().GetFileAttributesA("x"), INVALID_FILE_ATTRIBUTES);
}

// ---- Deleting files -------------------------------------------------------------

TEST_P(PlatformContract, DeleteFileRefusesFoldersReadOnlyAndHeldFiles) {
  machine_->MakeFolder(At("sub"));
  machine_->MakeFile(At("ro"), 1, FILE_ATTRIBUTE_READONLY | kNormalFile);
  machine_->MakeFile(At("held"), 1, kNormalFile);
  machine_->Hold(At("held"));
  struct {
    const char* name;
    DWORD error;
  } const cases[] = {
      {"sub", ERROR_ACCESS_DENIED}, {"ro", ERROR_ACCESS_DENIED}, {"held", ERROR_SHARING_VIOLATION}};
  for (const auto& c : cases) {
    EXPECT_FALSE(P().DeleteFileA(At(c.name).c_str())) << c.name;
    EXPECT_EQ(LastError(), c.error) << c.name;
    EXPECT_NE(P().GetFileAttributesA(At(c.name).c_str()), INVALID_FILE_ATTRIBUTES) << c.name;
  }
  machine_->ReleaseHolds();
  EXPECT_TRUE(P().DeleteFileA(At("held").c_str()));
  ASSERT_TRUE(P().SetFileAttributesA(At("ro").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(P().DeleteFileA(At("ro").c_str()));
  EXPECT_EQ(P().GetFileAttributesA(At("ro").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_P(PlatformContract, HeldReadOnlyFileIsHeldFirst) {
  machine_->MakeFile(At("both"), 1, FILE_ATTRIBUTE_READONLY | kNormalFile);
  machine_->Hold(At("both"));
  EXPECT_FALSE(P().DeleteFileA(At("both").c_str()));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  // Clearing the bit works while it is held; the deletion still does not.
  ASSERT_TRUE(P().SetFileAttributesA(At("both").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(P().GetFileAttributesA(At("both").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_FALSE(P().DeleteFileA(At("both").c_str()));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

// ---- Removing folders -------------------------------------------------------------

TEST_P(PlatformContract, RemoveDirectoryErrors) {
  machine_->MakeFile(At("file"), 0, kNormalFile);
  machine_->MakeFolder(At("full"));
  machine_->MakeFile(At("full\\x"), 0, kNormalFile);
  machine_->MakeFolder(At("held"));
  machine_->Hold(At("held"));
  machine_->MakeFolder(At("heldfull"));
  machine_->MakeFile(At("heldfull\\x"), 0, kNormalFile);
  machine_->Hold(At("heldfull"));
  machine_->MakeFolder(At("current"));
  machine_->SetCurrentFolder(At("current"));
  struct {
    const char* name;
    DWORD error;
  } const cases[] = {{"file", ERROR_DIRECTORY},
                     {"full", ERROR_DIR_NOT_EMPTY},
                     {"held", ERROR_SHARING_VIOLATION},
                     {"heldfull", ERROR_SHARING_VIOLATION},
                     {"current", ERROR_SHARING_VIOLATION}};
  for (const auto& c : cases) {
    EXPECT_FALSE(P().RemoveDirectoryA(At(c.name).c_str())) << c.name;
    EXPECT_EQ(LastError(), c.error) << c.name;
    EXPECT_NE(P().GetFileAttributesA(At(c.name).c_str()), INVALID_FILE_ATTRIBUTES) << c.name;
  }
  machine_->ReleaseHolds();
  EXPECT_TRUE(P().RemoveDirectoryA(At("held").c_str()));
  EXPECT_EQ(P().GetFileAttributesA(At("held").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_P(PlatformContract, ReadOnlyFolderIsRefused) {
  if (!machine_->StoresReadOnlyFolders()) GTEST_SKIP() << "folders here keep no read-only bit";
  machine_->MakeFolder(At("ro"));
  ASSERT_TRUE(P().SetFileAttributesA(At("ro").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(P().RemoveDirectoryA(At("ro").c_str()));
  EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(P().SetFileAttributesA(At("ro").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(P().RemoveDirectoryA(At("ro").c_str()));
}

TEST_P(PlatformContract, DoubledBackslashReadsAsOne) {
  machine_->MakeFolder(At("a"));
  machine_->MakeFolder(At("a\\b"));
  machine_->MakeFile(At("a\\f"), 0, FILE_ATTRIBUTE_READONLY | kNormalFile);
  const std::string a = machine_->Scratch() + "\\\\a\\\\";
  EXPECT_NE(P().GetFileAttributesA((a + "f").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(P().SetFileAttributesA((a + "f").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(P().DeleteFileA((a + "f").c_str()));
  EXPECT_TRUE(P().RemoveDirectoryA((a + "b").c_str()));
  EXPECT_EQ(SortedListing(a + "*.*"), (Names{".", ".."}));
}

// ---- Well-known folders ---------------------------------------------------------

TEST_P(PlatformContract, WellKnownFoldersFollowTheBufferRules) {
  char windows[MAX_PATH] = {};
  const UINT windowsLength = P().GetWindowsDirectoryA(windows, MAX_PATH);
  ASSERT_GT(windowsLength, 0u);
  EXPECT_EQ(windowsLength, std::strlen(windows));
  EXPECT_NE(windows[windowsLength - 1], '\\');
  EXPECT_NE(P().GetFileAttributesA(windows) & FILE_ATTRIBUTE_DIRECTORY, 0u);

  char temp[MAX_PATH] = {};
  const DWORD tempLength = P().GetTempPathA(MAX_PATH, temp);
  ASSERT_GT(tempLength, 0u);
  EXPECT_EQ(tempLength, std::strlen(temp));
  EXPECT_EQ(temp[tempLength - 1], '\\');

  for (UINT size : {0u, 5u, windowsLength}) {
    char buffer[MAX_PATH];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(P().GetWindowsDirectoryA(buffer, size), windowsLength + 1) << size;
    EXPECT_EQ(buffer[0], 'x') << size;  // nothing written
    EXPECT_EQ(P().GetTempPathA(size, buffer), tempLength + 1) << size;
    EXPECT_EQ(buffer[0], 'x') << size;
  }
  EXPECT_EQ(P().GetWindowsDirectoryA(nullptr, 0), windowsLength + 1);
  EXPECT_EQ(P().GetTempPathA(0, nullptr), tempLength + 1);
}

// ---- Registry ---------------------------------------------------------------------

TEST_P(PlatformContract, RegistryOpenCreateAndClose) {
  const std::string base = machine_->ScratchKey();
  HKEY key = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x77));
  EXPECT_EQ(P().RegOpenKeyA(HKEY_LOCAL_MACHINE, (base + "\\a\\b").c_str(), &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);

  // Created with every key on the way; names compare without case.
  ASSERT_EQ(P().RegCreateKeyA(HKEY_LOCAL_MACHINE, (base + "\\a\\b").c_str(), &key), ERROR_SUCCESS);
  EXPECT_EQ(P().RegCloseKey(key), ERROR_SUCCESS);
  ASSERT_EQ(P().RegOpenKeyA(HKEY_LOCAL_MACHINE, (base + "\\A\\\\B").c_str(), &key), ERROR_SUCCESS);

  // Without a subkey the open hands back the same handle and opens nothing.
  for (const char* none : {static_cast<const char*>(nullptr), ""}) {
    HKEY same = nullptr;
    EXPECT_EQ(P().RegOpenKeyA(key, none, &same), ERROR_SUCCESS);
    EXPECT_EQ(same, key);
  }
  HKEY created = nullptr;
  ASSERT_EQ(P().RegCreateKeyA(key, "", &created), ERROR_SUCCESS);
  EXPECT_NE(created, key);
  EXPECT_EQ(P().RegCloseKey(created), ERROR_SUCCESS);

  EXPECT_EQ(P().RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(P().RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(P().RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(P().RegOpenKeyA(HKEY_LOCAL_MACHINE, (base + "\\a").c_str(), &key), ERROR_SUCCESS);
  EXPECT_EQ(P().RegCloseKey(key), ERROR_SUCCESS);
}

TEST_P(PlatformContract, RegistryQueryByteCounts) {
  const std::string base = machine_->ScratchKey();
  machine_->SetRegValue(base, "Bin", REG_BINARY, Bytes("abcdef"));
  ScopedRegKey key = OpenRegKey(P(), HKEY_LOCAL_MACHINE, base.c_str());
  ASSERT_TRUE(key);

  struct Case {
    const char* name;
    bool withBuffer;
    DWORD count;
    LSTATUS status;
    DWORD countAfter;
    DWORD typeAfter;
    const char* bufferAfter;  // 8 bytes, 'x' where nothing was written
  };
  const Case cases[] = {
      {"bin", false, 0, ERROR_SUCCESS, 6, REG_BINARY, "xxxxxxxx"},
      {"BIN", true, 8, ERROR_SUCCESS, 6, REG_BINARY, "abcdefxx"},
      {"Bin", true, 6, ERROR_SUCCESS, 6, REG_BINARY, "abcdefxx"},
      {"Bin", true, 5, ERROR_MORE_DATA, 6, REG_BINARY, "xxxxxxxx"},
      {"Bin", true, 0, ERROR_MORE_DATA, 6, REG_BINARY, "xxxxxxxx"},
      {"missing", true, 8, ERROR_FILE_NOT_FOUND, 8, REG_NONE, "xxxxxxxx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " count " + std::to_string(c.count));
    BYTE buffer[8];
    std::memset(buffer, 'x', sizeof(buffer));
    DWORD count = c.count;
    DWORD type = 99;
    EXPECT_EQ(P().RegQueryValueExA(key.get(), c.name, nullptr, &type,
                                   c.withBuffer ? buffer : nullptr, &count),
              c.status);
    EXPECT_EQ(count, c.countAfter);
    EXPECT_EQ(type, c.typeAfter);
    EXPECT_EQ(std::string(buffer, buffer + 8), c.bufferAfter);
  }
  BYTE buffer[8];
  EXPECT_EQ(P().RegQueryValueExA(key.get(), "Bin", nullptr, nullptr, buffer, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(P().RegQueryValueExA(key.get(), "Bin", nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
}

TEST_P(PlatformContract, RegistrySetStoresTheCountedBytes) {
  ScopedRegKey key = OpenRegKey(P(), HKEY_LOCAL_MACHINE, machine_->ScratchKey().c_str());
  ASSERT_TRUE(key);
  const BYTE limit[4] = {20, 0, 0, 0};
  const char date[] = "2026/12/6";
  ASSERT_EQ(P().RegSetValueExA(key.get(), "Limit", 0, REG_DWORD, limit, 4), ERROR_SUCCESS);
  ASSERT_EQ(P().RegSetValueExA(key.get(), "Date", 0, REG_SZ, reinterpret_cast<const BYTE*>(date),
                               sizeof(date)),
            ERROR_SUCCESS);
  // A string counted without its zero gets the zero that follows it counted.
  ASSERT_EQ(P().RegSetValueExA(key.get(), "Short", 0, REG_SZ, reinterpret_cast<const BYTE*>(date),
                               sizeof(date) - 1),
            ERROR_SUCCESS);
  ASSERT_EQ(
      P().RegSetValueExA(key.get(), "Raw", 0, REG_BINARY, reinterpret_cast<const BYTE*>(date), 4),
      ERROR_SUCCESS);
  EXPECT_EQ(P().RegSetValueExA(key.get(), "Null", 0, REG_BINARY, nullptr, 4), 998);

  struct {
    const char* name;
    DWORD type;
    DWORD size;
  } const stored[] = {{"limit", REG_DWORD, 4},
                      {"DATE", REG_SZ, sizeof(date)},
                      {"Short", REG_SZ, sizeof(date)},
                      {"Raw", REG_BINARY, 4}};
  for (const auto& s : stored) {
    DWORD type = 0;
    BYTE buffer[32] = {};
    DWORD size = sizeof(buffer);
    ASSERT_EQ(P().RegQueryValueExA(key.get(), s.name, nullptr, &type, buffer, &size), ERROR_SUCCESS)
        << s.name;
    EXPECT_EQ(type, s.type) << s.name;
    EXPECT_EQ(size, s.size) << s.name;
    const BYTE* expected = s.type == REG_DWORD ? limit : reinterpret_cast<const BYTE*>(date);
    EXPECT_EQ(std::memcmp(buffer, expected, s.size), 0) << s.name;
  }
}

TEST_P(PlatformContract, RegistryDeleteKeyRules) {
  const std::string base = machine_->ScratchKey();
  HKEY deep = nullptr;
  ASSERT_EQ(P().RegCreateKeyA(HKEY_LOCAL_MACHINE, (base + "\\KB1\\child").c_str(), &deep),
            ERROR_SUCCESS);
  ScopedRegKey parent = OpenRegKey(P(), HKEY_LOCAL_MACHINE, base.c_str());
  ASSERT_TRUE(parent);

  EXPECT_EQ(P().RegDeleteKeyA(parent.get(), "KB1"), ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(P().RegDeleteKeyA(parent.get(), "KB2"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(P().RegDeleteKeyA(parent.get(), "kb1\\CHILD"), ERROR_SUCCESS);

  // The handle outlives its key: every use but closing gives ERROR_KEY_DELETED.
  const BYTE one = 1;
  DWORD size = 0;
  HKEY sub = nullptr;
  EXPECT_EQ(P().RegSetValueExA(deep, "v", 0, REG_BINARY, &one, 1), ERROR_KEY_DELETED);
  EXPECT_EQ(P().RegQueryValueExA(deep, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(P().RegOpenKeyA(deep, "x", &sub), ERROR_KEY_DELETED);
  EXPECT_EQ(P().RegCreateKeyA(deep, "x", &sub), ERROR_KEY_DELETED);
  EXPECT_EQ(P().RegCloseKey(deep), ERROR_SUCCESS);

  EXPECT_EQ(P().RegDeleteKeyA(parent.get(), "KB1"), ERROR_SUCCESS);
  EXPECT_EQ(P().RegOpenKeyA(parent.get(), "KB1", &sub), ERROR_FILE_NOT_FOUND);
}
