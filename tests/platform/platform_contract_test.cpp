// The Win32 behaviour the cleaner relies on, as one suite run against the
// in-memory machine and, on Windows (or Wine), against the real calls in a
// scratch folder under the temporary folder and a key under HKLM\SOFTWARE.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/find_data.h"
#include "platform/scoped_handle.h"
#include "support/fake_platform.h"
#ifdef _WIN32
#include "platform/win32_platform.h"
#include "support/win32_test_machine.h"
#endif

// Arranges files, holds and links behind the Platform's back, below an empty
// scratch folder (no trailing backslash) and an empty key below HKLM.
class TestMachine {
 public:
  virtual ~TestMachine() = default;
  virtual Platform& platform() = 0;
  virtual void MakeFolder(const std::string& path) = 0;
  virtual void MakeFile(const std::string& path, std::uint64_t size, DWORD attributes) = 0;
  // Held open, as by another program, without delete sharing, until released.
  virtual void Hold(const std::string& path) = 0;
  virtual void ReleaseHolds() = 0;
  virtual void SetCurrentFolder(const std::string& path) = 0;

  std::string scratch, scratchKey;
  bool wine = false;  // where Wine answers otherwise than Windows, the suite names it
};
using MakeMachine = std::unique_ptr<TestMachine> (*)();

class PlatformContract : public ::testing::TestWithParam<MakeMachine> {
 protected:
  void SetUp() override;  // every case starts on the same scratch folder
  Platform& P() { return m_->platform(); }
  std::string At(const std::string& relative) const { return m_->scratch + "\\" + relative; }
  bool IsWine() const { return m_->wine; }

  std::unique_ptr<TestMachine> m_;
};

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
  m_ = GetParam()();
  for (const char* folder : {"sub", "full", "heldsub", "heldfull", "current"}) {
    m_->MakeFolder(At(folder));
  }
  for (const char* file : {"full\\x", "heldfull\\x", "held"}) m_->MakeFile(At(file), 0, kFile);
  m_->MakeFile(At("plain.txt"), 3, kFile);
  m_->MakeFile(At("Data.bin"), 70000, kReadOnly);
  m_->MakeFile(At("heldro"), 1, kReadOnly);
  for (const char* held : {"heldsub", "heldfull", "held", "heldro"}) m_->Hold(At(held));
  m_->SetCurrentFolder(At("current"));
}

TEST_P(PlatformContract, PathsAndAttributes) {
  const std::string s = m_->scratch;
  // The ANSI calls take MAX_PATH characters with the zero: 260 are too many on
  // Windows, but Wine lets exactly 260 through.
  const std::string exactly260 = At(std::string(259 - s.size(), 'a'));
  const std::tuple<std::string, DWORD, DWORD> cases[] = {
      {At("sub"), kFolder, 0},
      {At("sub\\"), kFolder, 0},
      {At("plain.txt"), kFile, 0},
      {At("Data.bin"), kReadOnly, 0},
      {At("PLAIN.TXT. "), kFile, 0},  // trailing dots and blanks dropped, case folded
      {s + "\\\\sub//..\\plain.txt", kFile, 0},
      {"..\\plain.txt", kFile, 0},  // from the current folder
      {At("missing"), kFailed, ERROR_FILE_NOT_FOUND},
      {At("missing\\x"), kFailed, ERROR_PATH_NOT_FOUND},
      {At("plain.txt\\"), kFailed, ERROR_PATH_NOT_FOUND},
      {"", kFailed, ERROR_PATH_NOT_FOUND},
      {exactly260, kFailed,
       static_cast<DWORD>(IsWine() ? ERROR_FILE_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE)},
  };
  for (const auto& [path, attributes, error] : cases) {
    DWORD got = P().GetFileAttributesA(path.c_str());
    if (got != kFailed && (got & kFolder) != 0) got &= ~kFile;  // Wine's
    EXPECT_EQ(got, attributes) << path;
    EXPECT_EQ(error != 0 ? P().GetLastError() : 0u, error) << path;
  }
}

TEST_P(PlatformContract, DeletingAndRemoving) {
  const std::string tooLong(300, 'a');
  const std::tuple<bool, std::string, DWORD> cases[] = {
      // RemoveDirectoryA, else DeleteFileA
      {false, "sub", ERROR_ACCESS_DENIED},
      {false, "Data.bin", ERROR_ACCESS_DENIED},  // read-only
      {false, "held", ERROR_SHARING_VIOLATION},
      {false, "heldro", ERROR_SHARING_VIOLATION},  // held counts before read-only
      {false, "missing", ERROR_FILE_NOT_FOUND},
      {false, "plain.txt\\", ERROR_INVALID_NAME},
      {false, tooLong, ERROR_FILENAME_EXCED_RANGE},
      {true, "plain.txt", ERROR_DIRECTORY},
      {true, "full", ERROR_DIR_NOT_EMPTY},
      {true, "heldfull", ERROR_SHARING_VIOLATION},
      {true, "current", ERROR_SHARING_VIOLATION},
      {true, "missing", ERROR_FILE_NOT_FOUND},
      {false, "plain.txt", 0},
      {true, "sub", 0},
  };
  for (const auto& [folder, name, error] : cases) {
    SCOPED_TRACE((folder ? "RemoveDirectoryA " : "DeleteFileA ") + name);
    const std::string path = At(name);
    EXPECT_EQ((folder ? P().RemoveDirectoryA(path.c_str()) : P().DeleteFileA(path.c_str())) != 0,
              error == 0);
    EXPECT_EQ(error != 0 ? P().GetLastError() : 0u, error);
  }
  // What failed is still there.
  EXPECT_EQ(Listing(P(), At("*")), (Names{".", "..", "Data.bin", "current", "full", "held",
                                          "heldfull", "heldro", "heldsub"}));

  // Clearing the read-only bit works while the file is held; the deletion waits.
  ASSERT_TRUE(P().SetFileAttributesA(At("heldro").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(P().DeleteFileA(At("heldro").c_str()));
  m_->ReleaseHolds();
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
  const std::pair<std::string, Names> cases[] = {
      {At("full\\*"), full},
      {At("full\\*.*"), full},
      {m_->scratch + "\\\\FULL//*.*", full},
      {At("sub\\*"), {".", ".."}},
      {At("DATA.BIN"), {"Data.bin"}},  // a name alone: that entry, as stored
      {At("missing\\*"), {"error 3"}},
      {At("sub\\"), {"error 2"}},  // a folder, with nothing to match
      {"", {"error 3"}},
      {At(std::string(300, 'a') + "\\*"), {"error 206"}},
      // A file's entries: ERROR_DIRECTORY, where Wine says ERROR_INVALID_NAME.
      {At("plain.txt\\*"), {IsWine() ? "error 123" : "error 267"}},
  };
  for (const auto& [pattern, names] : cases) EXPECT_EQ(Listing(P(), pattern), names) << pattern;

  WIN32_FIND_DATAA d{};
  ScopedFindHandle handle(P(), P().FindFirstFileA(At("Data.bin").c_str(), &d));
  EXPECT_TRUE(handle && d.dwFileAttributes == kReadOnly && d.nFileSizeLow == 70000u);
}

// Both answer the text's length without the zero when it fits, else the size
// needed, with nothing written, even when short by the zero alone.
TEST_P(PlatformContract, WellKnownFoldersFollowTheBufferRules) {
  char windows[MAX_PATH] = {}, temp[MAX_PATH] = {};
  const UINT windowsLength = P().GetWindowsDirectoryA(windows, MAX_PATH);
  const DWORD tempLength = P().GetTempPathA(MAX_PATH, temp);
  ASSERT_TRUE(windowsLength > 0 && tempLength > 0);
  EXPECT_EQ(std::string(windows).size(), windowsLength);
  EXPECT_EQ(std::string(temp).size(), tempLength);
  EXPECT_EQ(P().GetFileAttributesA(windows), kFolder);
  EXPECT_NE(windows[windowsLength - 1], '\\');
  EXPECT_EQ(temp[tempLength - 1], '\\');
  for (const DWORD size : {DWORD{0}, DWORD{5}, tempLength}) {
    char buffer[MAX_PATH] = {'x'};
    EXPECT_EQ(P().GetTempPathA(size, buffer), tempLength + 1) << size;
    EXPECT_EQ(P().GetWindowsDirectoryA(buffer, std::min<UINT>(size, windowsLength)),
              windowsLength + 1);
    EXPECT_EQ(buffer[0], 'x') << size;
  }
}

TEST_P(PlatformContract, RegistryKeys) {
  const std::string base = m_->scratchKey;
  HKEY key = reinterpret_cast<HKEY>(std::uintptr_t{0x77});  // a failed open stores null
  EXPECT_EQ(P().RegOpenKeyA(HKEY_LOCAL_MACHINE, (base + "\\a\\b").c_str(), &key), 2);
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
  ScopedRegKey key = OpenRegKey(P(), HKEY_LOCAL_MACHINE, m_->scratchKey.c_str());
  ASSERT_TRUE(key);
  const std::string limit("\x14\0\0\0", 4), date("2026/12/6", 10), none(12, 'x');
  for (const auto& [name, type, data] :
       {std::tuple("Limit", REG_DWORD, limit), {"Date", REG_SZ, date}}) {
    ASSERT_EQ(P().RegSetValueExA(key.get(), name, 0, type,
                                 reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size())),
              ERROR_SUCCESS);
  }
  const struct {
    const char* name;
    DWORD count;  // 0: no buffer, the size alone asked
    LSTATUS status;
    const std::string* data;
  } cases[] = {
      {"date", 0, ERROR_SUCCESS, &date},    {"DATE", 12, ERROR_SUCCESS, &date},
      {"Date", 10, ERROR_SUCCESS, &date},   {"Date", 9, ERROR_MORE_DATA, &date},
      {"limit", 12, ERROR_SUCCESS, &limit}, {"missing", 12, ERROR_FILE_NOT_FOUND, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " count " + std::to_string(c.count));
    char buffer[12];
    std::memset(buffer, 'x', sizeof(buffer));
    DWORD count = c.count, type = 99;
    BYTE* out = c.count != 0 ? reinterpret_cast<BYTE*>(buffer) : nullptr;
    EXPECT_EQ(P().RegQueryValueExA(key.get(), c.name, nullptr, &type, out, &count), c.status);
    EXPECT_EQ(count, c.data ? c.data->size() : c.count);
    EXPECT_EQ(type, !c.data ? REG_NONE : c.data == &limit ? REG_DWORD : REG_SZ);
    const bool written = c.status == ERROR_SUCCESS && out != nullptr;
    EXPECT_EQ(std::string(buffer, 12), written ? *c.data + none.substr(c.data->size()) : none);
  }
}

namespace {

// The owners of handles and keys, and the reading of a listed entry's name.
TEST(PlatformHelpers, OwnersCloseOnceAndNamesStopAtTheField) {
  FakePlatform fake;
  ScopedRegKey created = CreateRegKey(fake, HKEY_LOCAL_MACHINE, "SOFTWARE\\New");
  ScopedRegKey other = OpenRegKey(fake, HKEY_LOCAL_MACHINE, "SOFTWARE");
  other = std::move(created);  // the key it held is closed, the moved one kept
  EXPECT_EQ(fake.OpenRegKeys(), 1u);
  ScopedRegKey& same = other;
  other = std::move(same);
  EXPECT_TRUE(other && fake.RegKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\New"));
  other.reset();
  EXPECT_EQ(fake.OpenRegKeys(), 0u);
  fake.FailCall("RegCreateKeyA", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CreateRegKey(fake, HKEY_LOCAL_MACHINE, "SOFTWARE\\Refused"));

  WIN32_FIND_DATAA entry{};
  std::memset(entry.cFileName, 'a', sizeof(entry.cFileName));  // no zero at all
  EXPECT_EQ(EntryName(entry).size(), sizeof(entry.cFileName));
  entry.cFileName[3] = '\0';
  EXPECT_EQ(EntryName(entry), "aaa");
  for (const char* name : {"", "...", ".a", "a."}) EXPECT_FALSE(IsSelfOrParent(name)) << name;
}

class FakeMachine : public TestMachine {
 public:
  FakeMachine() {
    scratch = "C:\\Scratch";
    scratchKey = "SOFTWARE\\Scratch";
    fake_.AddFolder(scratch);
    fake_.AddRegKey(HKEY_LOCAL_MACHINE, scratchKey);
  }
  Platform& platform() override { return fake_; }
  void MakeFolder(const std::string& path) override { fake_.AddFolder(path); }
  void MakeFile(const std::string& path, std::uint64_t size, DWORD attributes) override {
    fake_.AddFile(path, size, attributes);
  }
  void Hold(const std::string& path) override { fake_.SetInUse(held_.emplace_back(path)); }
  void ReleaseHolds() override {
    for (const std::string& path : held_) fake_.SetInUse(path, false);
  }
  void SetCurrentFolder(const std::string& path) override { fake_.SetCurrentFolder(path); }

 private:
  FakePlatform fake_;
  std::vector<std::string> held_;
};

INSTANTIATE_TEST_SUITE_P(Fake, PlatformContract,
                         ::testing::Values<MakeMachine>([]() -> std::unique_ptr<TestMachine> {
                           return std::make_unique<FakeMachine>();
                         }));

#ifdef _WIN32
class Win32Machine : public TestMachine {
 public:
  Win32Machine() {
    scratch = real_.Scratch();
    scratchKey = real_.ScratchKey();
    wine = Win32TestMachine::IsWine();
  }
  Platform& platform() override { return platform_; }
  void MakeFolder(const std::string& path) override { real_.MakeFolder(path); }
  void MakeFile(const std::string& path, std::uint64_t size, DWORD attributes) override {
    real_.MakeFile(path, size, attributes);
  }
  void Hold(const std::string& path) override { real_.Hold(path); }
  void ReleaseHolds() override { real_.ReleaseHolds(); }
  void SetCurrentFolder(const std::string& path) override { real_.SetCurrentFolder(path); }

 private:
  Win32TestMachine real_;
  Win32Platform platform_;
};

INSTANTIATE_TEST_SUITE_P(Win32, PlatformContract,
                         ::testing::Values<MakeMachine>([]() -> std::unique_ptr<TestMachine> {
                           return std::make_unique<Win32Machine>();
                         }));
#endif

}  // namespace
