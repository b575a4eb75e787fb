#include "platform_contract.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/scoped_handle.h"

namespace {

using Names = std::vector<std::string>;

constexpr DWORD kFile = FILE_ATTRIBUTE_ARCHIVE;  // what a new file gets
constexpr DWORD kReadOnly = FILE_ATTRIBUTE_READONLY | kFile;
constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;
constexpr DWORD kFailed = INVALID_FILE_ATTRIBUTES;

// The names a pattern lists, sorted, or {"error N"} when it lists nothing.
Names Listing(Platform& p, const std::string& pattern) {
  WIN32_FIND_DATAA data{};
  ScopedFindHandle handle(p, p.FindFirstFileA(pattern.c_str(), &data));
  if (!handle) return {"error " + std::to_string(p.GetLastError())};
  Names names;
  do {
    names.push_back(data.cFileName);
  } while (p.FindNextFileA(handle.get(), &data));
  if (p.GetLastError() != ERROR_NO_MORE_FILES) names.push_back("ended badly");
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

void PlatformContract::SetUp() {
  machine_ = GetParam().make();
  for (const char* folder : {"sub", "full", "heldsub", "heldfull", "current"}) {
    machine_->MakeFolder(At(folder));
  }
  machine_->MakeFile(At("full\\x"), 0, kFile);
  machine_->MakeFile(At("heldfull\\x"), 0, kFile);
  machine_->MakeFile(At("plain.txt"), 3, kFile);
  machine_->MakeFile(At("Data.bin"), 70000, kReadOnly);
  machine_->MakeFile(At("held"), 1, kFile);
  machine_->MakeFile(At("heldro"), 1, kReadOnly);
  for (const char* held : {"heldsub", "heldfull", "held", "heldro"}) machine_->Hold(At(held));
  machine_->SetCurrentFolder(At("current"));
}

TEST_P(PlatformContract, PathsAndAttributes) {
  const std::string s = machine_->Scratch();
  // The ANSI calls take MAX_PATH characters with the zero: 260 are too many on
  // Windows, but Wine lets exactly 260 through.
  const std::string exactly260 = At(std::string(259 - s.size(), 'a'));
  const std::string longest = At(std::string(258 - s.size(), 'a'));
  const struct {
    std::string path;
    DWORD attributes;
    DWORD error;
  } cases[] = {
      {At("sub"), kFolder, 0},
      {At("sub\\"), kFolder, 0},
      {At("plain.txt"), kFile, 0},
      {At("Data.bin"), kReadOnly, 0},
      {At("PLAIN.TXT. "), kFile, 0},  // trailing dots and blanks dropped, case folded
      {At("sub\\..\\.\\plain.txt"), kFile, 0},
      {s + "\\\\sub//..\\plain.txt", kFile, 0},
      {"..\\plain.txt", kFile, 0},  // from the current folder
      {At("missing"), kFailed, ERROR_FILE_NOT_FOUND},
      {At("missing\\x"), kFailed, ERROR_PATH_NOT_FOUND},
      {At("plain.txt\\"), kFailed, ERROR_PATH_NOT_FOUND},
      {"", kFailed, ERROR_PATH_NOT_FOUND},
      {longest, kFailed, ERROR_FILE_NOT_FOUND},
      {exactly260, kFailed,
       static_cast<DWORD>(IsWine() ? ERROR_FILE_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    DWORD attributes = P().GetFileAttributesA(c.path.c_str());
    if (attributes != kFailed && (attributes & kFolder) != 0) attributes &= ~kFile;  // Wine's
    EXPECT_EQ(attributes, c.attributes);
    if (c.error != 0) {
      EXPECT_EQ(P().GetLastError(), c.error);
    }
  }
}

TEST_P(PlatformContract, DeletingAndRemoving) {
  const std::string tooLong(300, 'a');
  const struct {
    bool removeFolder;  // RemoveDirectoryA, else DeleteFileA
    std::string name;
    DWORD error;
  } cases[] = {
      {false, "sub", ERROR_ACCESS_DENIED},
      {false, "Data.bin", ERROR_ACCESS_DENIED},  // read-only
      {false, "held", ERROR_SHARING_VIOLATION},
      {false, "heldro", ERROR_SHARING_VIOLATION},  // held counts before read-only
      {false, "missing", ERROR_FILE_NOT_FOUND},
      {false, "missing\\x", ERROR_PATH_NOT_FOUND},
      {false, "plain.txt\\", ERROR_INVALID_NAME},
      {false, tooLong, ERROR_FILENAME_EXCED_RANGE},
      {true, "plain.txt", ERROR_DIRECTORY},
      {true, "full", ERROR_DIR_NOT_EMPTY},
      {true, "heldsub", ERROR_SHARING_VIOLATION},
      {true, "heldfull", ERROR_SHARING_VIOLATION},
      {true, "current", ERROR_SHARING_VIOLATION},
      {true, "missing", ERROR_FILE_NOT_FOUND},
      {true, "missing\\x", ERROR_PATH_NOT_FOUND},
      {true, tooLong, ERROR_FILENAME_EXCED_RANGE},
      {false, "plain.txt", 0},
      {true, "sub", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE((c.removeFolder ? "RemoveDirectoryA " : "DeleteFileA ") + c.name);
    const std::string path = At(c.name);
    const BOOL done =
        c.removeFolder ? P().RemoveDirectoryA(path.c_str()) : P().DeleteFileA(path.c_str());
    EXPECT_EQ(done != FALSE, c.error == 0);
    if (c.error != 0) {
      EXPECT_EQ(P().GetLastError(), c.error);
    }
  }
  // What failed is still there.
  EXPECT_EQ(Listing(P(), At("*")), (Names{".", "..", "Data.bin", "current", "full", "held",
                                          "heldfull", "heldro", "heldsub"}));

  // Clearing the read-only bit works while the file is held; the deletion waits.
  ASSERT_TRUE(P().SetFileAttributesA(At("heldro").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(P().DeleteFileA(At("heldro").c_str()));
  machine_->ReleaseHolds();
  for (const char* name : {"held", "heldro"}) EXPECT_TRUE(P().DeleteFileA(At(name).c_str()));
  EXPECT_TRUE(P().RemoveDirectoryA(At("heldsub").c_str()));

  // No bits left reads back as FILE_ATTRIBUTE_NORMAL; Wine keeps reporting archive.
  ASSERT_TRUE(P().SetFileAttributesA(At("Data.bin").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(P().GetFileAttributesA(At("Data.bin").c_str()),
            IsWine() ? kFile : FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(P().DeleteFileA(At("Data.bin").c_str()));

  // Windows refuses a read-only folder; Wine stores no read-only bit on folders.
  ASSERT_TRUE(P().SetFileAttributesA(At("full").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(P().DeleteFileA(At("full\\x").c_str()));
  EXPECT_EQ(P().RemoveDirectoryA(At("full").c_str()) != FALSE, IsWine());
  if (!IsWine()) {
    EXPECT_EQ(P().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(P().SetFileAttributesA(At("full").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(P().GetFileAttributesA(At("full").c_str()), kFolder);
    EXPECT_TRUE(P().RemoveDirectoryA(At("full").c_str()));
  }
}

// The cleaner lists with "*" or "*.*" and tests names itself: Wine's own
// matching of other patterns also matches short names.
TEST_P(PlatformContract, Listings) {
  const Names full = {".", "..", "x"};
  const struct {
    std::string pattern;
    Names names;
  } cases[] = {
      {At("full\\*"), full},
      {At("full\\*.*"), full},
      {machine_->Scratch() + "\\\\FULL//*.*", full},
      {At("sub\\*"), {".", ".."}},
      {At("DATA.BIN"), {"Data.bin"}},  // a name alone: that entry, as stored
      {At("missing\\*"), {"error 3"}},
      {At("sub\\"), {"error 2"}},  // a folder, with nothing to match
      {"", {"error 3"}},
      {At(std::string(300, 'a') + "\\*"), {"error 206"}},
      // A file's entries: ERROR_DIRECTORY, where Wine says ERROR_INVALID_NAME.
      {At("plain.txt\\*"), {IsWine() ? "error 123" : "error 267"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Listing(P(), c.pattern), c.names) << c.pattern;

  WIN32_FIND_DATAA data{};
  ScopedFindHandle handle(P(), P().FindFirstFileA(At("Data.bin").c_str(), &data));
  ASSERT_TRUE(handle);
  EXPECT_EQ(data.dwFileAttributes, kReadOnly);
  EXPECT_EQ(data.nFileSizeLow, 70000u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
}

// Links cannot be made under Wine: this holds the in-memory machine to Windows.
TEST_P(PlatformContract, LinksAreEntriesOfTheirOwn) {
  if (!machine_->MakeLink(At("folderlink"), At("full"), true)) GTEST_SKIP() << "no links here";
  ASSERT_TRUE(machine_->MakeLink(At("filelink"), At("plain.txt"), false));
  EXPECT_EQ(P().GetFileAttributesA(At("folderlink").c_str()),
            kFolder | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(P().GetFileAttributesA(At("filelink").c_str()), kFile | FILE_ATTRIBUTE_REPARSE_POINT);
  // Paths through a folder link lead into its target.
  EXPECT_EQ(Listing(P(), At("folderlink\\*")), (Names{".", "..", "x"}));
  // The removals take the link itself, a folder link full or not.
  EXPECT_FALSE(P().DeleteFileA(At("folderlink").c_str()));
  EXPECT_EQ(P().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(P().RemoveDirectoryA(At("folderlink").c_str()));
  EXPECT_TRUE(P().DeleteFileA(At("filelink").c_str()));
  EXPECT_EQ(Listing(P(), At("full\\*")), (Names{".", "..", "x"}));
  EXPECT_EQ(P().GetFileAttributesA(At("plain.txt").c_str()), kFile);
}

TEST_P(PlatformContract, WellKnownFoldersFollowTheBufferRules) {
  char windows[MAX_PATH] = {};
  const UINT windowsLength = P().GetWindowsDirectoryA(windows, MAX_PATH);
  ASSERT_GT(windowsLength, 0u);
  EXPECT_EQ(windowsLength, std::strlen(windows));
  EXPECT_NE(windows[windowsLength - 1], '\\');
  EXPECT_EQ(P().GetFileAttributesA(windows) & kFolder, kFolder);
  char temp[MAX_PATH] = {};
  const DWORD tempLength = P().GetTempPathA(MAX_PATH, temp);
  ASSERT_GT(tempLength, 0u);
  EXPECT_EQ(tempLength, std::strlen(temp));
  EXPECT_EQ(temp[tempLength - 1], '\\');

  // Too small a buffer, even by the zero alone: the size needed, nothing written.
  for (const DWORD size : {DWORD{0}, DWORD{5}, tempLength}) {
    char buffer[MAX_PATH];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(P().GetTempPathA(size, buffer), tempLength + 1) << size;
    EXPECT_EQ(P().GetWindowsDirectoryA(buffer, std::min<UINT>(size, windowsLength)),
              windowsLength + 1);
    EXPECT_EQ(buffer[0], 'x') << size;
  }
}

TEST_P(PlatformContract, RegistryKeys) {
  const std::string base = machine_->ScratchKey();
  HKEY key = reinterpret_cast<HKEY>(std::uintptr_t{0x77});
  EXPECT_EQ(P().RegOpenKeyA(HKEY_LOCAL_MACHINE, (base + "\\a\\b").c_str(), &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  // Made with every key on the way; names compare without case.
  ASSERT_EQ(P().RegCreateKeyA(HKEY_LOCAL_MACHINE, (base + "\\a\\b").c_str(), &key), ERROR_SUCCESS);
  EXPECT_EQ(P().RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(P().RegCloseKey(key), ERROR_INVALID_HANDLE);
  ScopedRegKey parent = OpenRegKey(P(), HKEY_LOCAL_MACHINE, (base + "\\A").c_str());
  ASSERT_TRUE(parent);

  EXPECT_EQ(P().RegDeleteKeyA(HKEY_LOCAL_MACHINE, (base + "\\a").c_str()), ERROR_ACCESS_DENIED);
  EXPECT_EQ(P().RegDeleteKeyA(parent.get(), "c"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(P().RegDeleteKeyA(parent.get(), "B"), ERROR_SUCCESS);
  EXPECT_EQ(P().RegOpenKeyA(parent.get(), "b", &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(P().RegDeleteKeyA(HKEY_LOCAL_MACHINE, (base + "\\a").c_str()), ERROR_SUCCESS);
  // A handle outlives its key.
  DWORD size = 0;
  EXPECT_EQ(P().RegQueryValueExA(parent.get(), "v", nullptr, nullptr, nullptr, &size),
            ERROR_KEY_DELETED);
}

TEST_P(PlatformContract, RegistryValuesKeepTheirBytes) {
  ScopedRegKey key = OpenRegKey(P(), HKEY_LOCAL_MACHINE, machine_->ScratchKey().c_str());
  ASSERT_TRUE(key);
  const BYTE limit[4] = {20, 0, 0, 0};
  const char date[] = "2026/12/6";
  ASSERT_EQ(P().RegSetValueExA(key.get(), "Limit", 0, REG_DWORD, limit, 4), ERROR_SUCCESS);
  ASSERT_EQ(P().RegSetValueExA(key.get(), "Date", 0, REG_SZ, reinterpret_cast<const BYTE*>(date),
                               sizeof(date)),
            ERROR_SUCCESS);
  const std::string untouched(12, 'x');
  const struct {
    const char* name;
    bool withBuffer;
    DWORD count;
    LSTATUS status;
    DWORD countAfter;
    DWORD typeAfter;
    std::string bufferAfter;
  } cases[] = {
      {"date", false, 0, ERROR_SUCCESS, 10, REG_SZ, untouched},
      {"DATE", true, 12, ERROR_SUCCESS, 10, REG_SZ, std::string("2026/12/6\0xx", 12)},
      {"Date", true, 10, ERROR_SUCCESS, 10, REG_SZ, std::string("2026/12/6\0xx", 12)},
      {"Date", true, 9, ERROR_MORE_DATA, 10, REG_SZ, untouched},
      {"limit", true, 12, ERROR_SUCCESS, 4, REG_DWORD, std::string("\x14\0\0\0xxxxxxxx", 12)},
      {"missing", true, 12, ERROR_FILE_NOT_FOUND, 12, REG_NONE, untouched},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " count " + std::to_string(c.count));
    char buffer[12];
    std::memset(buffer, 'x', sizeof(buffer));
    DWORD count = c.count;
    DWORD type = 99;
    EXPECT_EQ(
        P().RegQueryValueExA(key.get(), c.name, nullptr, &type,
                             c.withBuffer ? reinterpret_cast<BYTE*>(buffer) : nullptr, &count),
        c.status);
    EXPECT_EQ(count, c.countAfter);
    EXPECT_EQ(type, c.typeAfter);
    EXPECT_EQ(std::string(buffer, sizeof(buffer)), c.bufferAfter);
  }
}
