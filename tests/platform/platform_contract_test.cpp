// The Win32 behaviour the cleaner relies on, as one suite run against the
// in-memory machine and, on Windows (or Wine), against the real calls in a
// scratch folder under the temporary folder and a key under HKLM\SOFTWARE.
// Handles are opened, listed and disposed of through the walks' own helpers,
// so that the calls held to Windows are the very calls the walks make.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "folders/folder_walk.h"
#include "platform/scoped_handle.h"
#include "support/fake_platform.h"
#include "support/test_machine.h"
#ifdef _WIN32
#include "support/win32_test_machine.h"
#endif

using MakeMachine = std::unique_ptr<TestMachine> (*)();
void PrintTo(MakeMachine, std::ostream* out) { *out << "machine"; }  // names the test steadily

class PlatformContract : public ::testing::TestWithParam<MakeMachine> {
 protected:
  void SetUp() override;  // every case starts on the same scratch folder
  Platform& P() { return m_->platform(); }
  std::string At(const std::string& relative) const { return m_->scratch + "\\" + relative; }

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
  Names names{data.cFileName};
  while (p.FindNextFileA(handle.get(), &data)) names.push_back(data.cFileName);
  if (p.GetLastError() != ERROR_NO_MORE_FILES) names.push_back("ended badly");
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

void PlatformContract::SetUp() {
  m_ = GetParam()();
  for (const char* folder : {"sub", "full", "heldsub"}) m_->MakeFolder(At(folder));
  for (const char* file : {"full\\x", "held"}) m_->MakeFile(At(file), 0, kFile);
  m_->MakeFile(At("plain.txt"), 3, kFile);
  m_->MakeFile(At("Data.bin"), 70000, kReadOnly);
  m_->MakeFile(At("heldro"), 1, kReadOnly);
  for (const char* held : {"heldsub", "held", "heldro"}) m_->Hold(At(held));
}

// The cleaner lists with "*" and tests names itself: Wine's own matching of
// other patterns also matches short names. A listing gives what the cleaner
// reads of an entry: its name as stored, attributes and size.
TEST_P(PlatformContract, Listings) {
  const std::pair<std::string, Names> cases[] = {
      {At("full\\*"), {".", "..", "x"}},
      {m_->scratch + "\\\\FULL\\*", {".", "..", "x"}},
      {At("sub\\*"), {".", ".."}},
      {At("missing\\*"), {"error 3"}},
      {At(std::string(300, 'a') + "\\*"), {"error 206"}},
      // A file's entries: ERROR_DIRECTORY, where Wine says ERROR_INVALID_NAME.
      {At("plain.txt\\*"), {m_->wine ? "error 123" : "error 267"}},
  };
  for (const auto& [pattern, names] : cases) EXPECT_EQ(Listing(P(), pattern), names) << pattern;

  // Data.bin as a listing gives it.
  WIN32_FIND_DATAA d{};
  ScopedFindHandle handle(P(), P().FindFirstFileA(At("*").c_str(), &d));
  while (handle && std::string(d.cFileName) != "Data.bin" && P().FindNextFileA(handle.get(), &d)) {
  }
  EXPECT_TRUE(d.dwFileAttributes == kReadOnly && d.nFileSizeLow == 70000u) << d.cFileName;
}

namespace {

// ---- Handles, opened, read and disposed of by the walks' own calls ----

using folder_walk::DeleteOnClose;
using folder_walk::OpenedEntry;

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ACCESS_MASK kChange = DELETE | FILE_WRITE_ATTRIBUTES;

// `name` in `folder`, opened as a listing of that name and `kind` would have
// it opened: to delete on close, or with `access` and `share`.
OpenedEntry OpenIn(Platform& p, HANDLE folder, std::u16string_view name, DWORD kind,
                   bool toDelete = false, ACCESS_MASK access = kChange, ULONG share = kShareAll) {
  const std::basic_string<WCHAR> wide(name.begin(), name.end());
  ListedEntry entry;
  entry.name = wide;
  entry.attributes = kind;
  return toDelete ? folder_walk::OpenToDelete(p, folder, entry, share)
                  : folder_walk::OpenEntry(p, folder, entry, access, share);
}

// The attributes a listing through `folder` gives `ansi`, or kFailed.
DWORD Look(Platform& p, HANDLE folder, const std::string& ansi) {
  FolderListing listing(p, folder);
  for (ListedEntry e; listing.Next(e);) {
    if (e.ansi == ansi) return e.attributes;
  }
  return kFailed;
}

// "name attributes size" of each entry the walks' listing gives, sorted.
Names ListHandle(Platform& p, HANDLE folder) {
  Names names;
  FolderListing listing(p, folder);
  for (ListedEntry e; listing.Next(e);) {
    // Wine marks folders for archiving too.
    const DWORD attributes = (e.attributes & kFolder) != 0 ? e.attributes & ~kFile : e.attributes;
    names.push_back(std::string(e.ansi) + " " + std::to_string(attributes) + " " +
                    std::to_string(e.bytes));
  }
  std::sort(names.begin(), names.end());
  return names;
}

template <typename Info>
NTSTATUS Query(Platform& p, HANDLE handle, Info& info, FILE_INFORMATION_CLASS kind) {
  IO_STATUS_BLOCK io{};
  return p.NtQueryInformationFile(handle, &io, &info, sizeof(info), kind);
}

NTSTATUS SetAttributes(Platform& p, HANDLE handle, DWORD attributes) {
  FILE_BASIC_INFORMATION basic{};
  basic.FileAttributes = attributes;
  IO_STATUS_BLOCK io{};
  return p.NtSetInformationFile(handle, &io, &basic, sizeof(basic), FileBasicInformation);
}

}  // namespace

// A folder opened as itself and held without delete or write sharing; its
// entries listed and opened through its handle, asked what they are, made
// writable and deleted through their own handles.
TEST_P(PlatformContract, HandlesReachTheEntriesTheyOpened) {
  const std::string wideName = "caf\xc3\xa9\xe4\xb8\xad\xef\xbc\xbcx";  // café, U+4E2D, U+FF3C, x
  m_->MakeHardLink(At("Data.lnk"), At("Data.bin"));
  m_->MakeFile(At(wideName), 5, kFile);
  ScopedFileHandle folder = folder_walk::OpenFolder(P(), m_->scratch.c_str(), 0);
  ASSERT_TRUE(folder);
  EXPECT_EQ(ListHandle(P(), folder.get()),
            (Names{"Data.bin 33 70000", "Data.lnk 33 70000", "caf\xe9?\\x 32 5", "full 16 0",
                   "held 32 0", "heldro 33 1", "heldsub 16 0", "plain.txt 32 3", "sub 16 0"}));

  // Opens refused with the status the walks tell apart: a folder held by
  // another program opens for deletion for nobody; deletion on close is
  // refused at the open for a folder and for a read-only file.
  const struct {
    const char16_t* name;
    DWORD kind;
    bool toDelete;
    NTSTATUS status;
  } refused[] = {
      {u"missing", kFile, false, STATUS_OBJECT_NAME_NOT_FOUND},
      {u"held", kFile, false, STATUS_SHARING_VIOLATION},
      {u"heldsub", kFolder, false, STATUS_SHARING_VIOLATION},
      {u"sub", kFile, true, STATUS_FILE_IS_A_DIRECTORY},
      {u"Data.bin", kFile, true, STATUS_CANNOT_DELETE},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(OpenIn(P(), folder.get(), r.name, r.kind, r.toDelete).status, r.status)
        << "row " << &r - refused;
  }
  ASSERT_TRUE(OpenIn(P(), folder.get(), u"plain.txt", kFile, true).handle);  // closed at once
  EXPECT_EQ(Look(P(), folder.get(), "plain.txt"), kFailed);

  // A file with two names: read-only refuses the disposition; the bit is the
  // file's, and so shows under its other name too.
  OpenedEntry entry = OpenIn(P(), folder.get(), u"DATA.BIN", kFile);
  ASSERT_TRUE(entry.handle);
  EXPECT_EQ(entry.attributes, kReadOnly);
  FILE_STANDARD_INFORMATION standard{};
  EXPECT_TRUE(Query(P(), entry.handle.get(), standard, FileStandardInformation) == 0 &&
              standard.NumberOfLinks == 2 && !standard.Directory);
  EXPECT_EQ(DeleteOnClose(P(), entry.handle.get()), STATUS_CANNOT_DELETE);
  EXPECT_EQ(SetAttributes(P(), entry.handle.get(), kFile), 0);
  EXPECT_EQ(Look(P(), folder.get(), "Data.lnk"), kFile);
  EXPECT_EQ(DeleteOnClose(P(), entry.handle.get()), 0);
  entry.handle.reset();
  EXPECT_EQ(Look(P(), folder.get(), "Data.bin"), kFailed);
  EXPECT_EQ(Look(P(), folder.get(), "Data.lnk"), kFile);

  // A folder that is not empty stays; emptied through its own handle, it goes.
  entry = OpenIn(P(), folder.get(), u"full", kFolder, false, DELETE | FILE_LIST_DIRECTORY,
                 FILE_SHARE_READ);
  ASSERT_TRUE(entry.handle);
  EXPECT_TRUE(Query(P(), entry.handle.get(), standard, FileStandardInformation) == 0 &&
              standard.Directory);
  EXPECT_EQ(DeleteOnClose(P(), entry.handle.get()), STATUS_DIRECTORY_NOT_EMPTY);
  EXPECT_EQ(ListHandle(P(), entry.handle.get()), (Names{"x 32 0"}));
  EXPECT_EQ(DeleteOnClose(P(), OpenIn(P(), entry.handle.get(), u"x", kFile).handle.get()), 0);
  EXPECT_EQ(DeleteOnClose(P(), entry.handle.get()), 0);
  entry.handle.reset();
  // Windows refuses to delete a read-only folder; Wine stores no read-only
  // bit on folders.
  entry = OpenIn(P(), folder.get(), u"sub", kFolder, false, kChange, FILE_SHARE_READ);
  ASSERT_EQ(SetAttributes(P(), entry.handle.get(), FILE_ATTRIBUTE_READONLY), 0);
  EXPECT_EQ(DeleteOnClose(P(), entry.handle.get()), m_->wine ? 0 : STATUS_CANNOT_DELETE);
  SetAttributes(P(), entry.handle.get(), FILE_ATTRIBUTE_NORMAL);  // for the scratch's removal
  entry.handle.reset();
  // A name the ANSI code page cannot hold, deleted by its own name.
  entry = OpenIn(P(), folder.get(), u"caf\u00e9\u4e2d\uff3cx", kFile);
  EXPECT_EQ(DeleteOnClose(P(), entry.handle.get()), 0);
  entry.handle.reset();
  Names left = {".", "..", "Data.lnk", "held", "heldro", "heldsub", "sub"};
  if (m_->wine) left.pop_back();  // the read-only bit of "sub" was not kept
  EXPECT_EQ(Listing(P(), At("*")), left);
}

// A link lists as one, opens as itself and goes as itself, what it leads to
// untouched. Wine cannot make links (CreateSymbolicLink is a stub) and opens a
// host's symbolic link as its target, so there the walks' handling of links is
// proven against the in-memory machine alone. Other differences of Wine's the
// suite does not hold the in-memory machine to: Wine opens a file whose
// deletion is pending (Windows: STATUS_DELETE_PENDING) and answers
// FileBasicInformation on a handle without FILE_READ_ATTRIBUTES (Windows:
// STATUS_ACCESS_DENIED); the walks never do either. Like the in-memory
// machine, Wine moves entries into a folder held without write sharing.
TEST_P(PlatformContract, LinksOpenAndGoAsThemselves) {
  if (!m_->MakeFolderLink(At("link"), At("full"))) GTEST_SKIP() << "no link can be made here";
  ScopedFileHandle folder = folder_walk::OpenFolder(P(), m_->scratch.c_str(), 0);
  const DWORD kind = kFolder | FILE_ATTRIBUTE_REPARSE_POINT;
  OpenedEntry link = OpenIn(P(), folder.get(), u"link", kind);
  EXPECT_EQ(link.attributes, kind);
  EXPECT_EQ(DeleteOnClose(P(), link.handle.get()), 0);
  link.handle.reset();
  EXPECT_EQ(Look(P(), folder.get(), "link"), kFailed);
  EXPECT_EQ(Listing(P(), At("full\\*")), (Names{".", "..", "x"}));
}

// What names an entry whatever the path it was opened by: its volume and
// file index, the same for a folder reached by two spellings and for a
// file's two names, another for another entry. A volume's root alone has
// "\\" for its path on the volume.
TEST_P(PlatformContract, IdentitiesAndRoots) {
  auto identity = [&](const std::string& path) {
    ScopedFileHandle handle(
        P(), P().CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    folder_walk::Identity id;
    EXPECT_TRUE(handle && folder_walk::IdentityOf(P(), handle.get(), id)) << path;
    return id;
  };
  m_->MakeHardLink(At("Data.lnk"), At("Data.bin"));
  EXPECT_TRUE(identity(m_->scratch) == identity("\\\\?\\" + m_->scratch + "\\"));
  EXPECT_TRUE(identity(At("sub\\..\\full")) == identity(At("FULL")));
  EXPECT_TRUE(identity(At("Data.bin")) == identity(At("Data.lnk")));
  EXPECT_FALSE(identity(At("Data.bin")) == identity(At("plain.txt")));
  EXPECT_FALSE(identity(At("sub")) == identity(At("full")));
  // The file index alone, as the walks compare a folder they walked, agrees.
  std::int64_t index[2] = {};
  for (const int i : {0, 1}) {
    const ScopedFileHandle folder = folder_walk::OpenFolder(P(), At(i ? "sub" : "full").c_str(), 0);
    EXPECT_TRUE(folder_walk::FileIndexOf(P(), folder.get(), index[i]));
    const folder_walk::Identity id = identity(At(i ? "sub" : "full"));
    EXPECT_EQ(static_cast<std::uint64_t>(index[i]), std::uint64_t{id.high} << 32 | id.low);
  }

  for (const auto& [path, root] :
       {std::pair<std::string, bool>{"C:\\", true}, {m_->scratch, false}}) {
    ScopedFileHandle folder = folder_walk::OpenFolder(P(), path.c_str(), 0);
    union {
      FILE_NAME_INFORMATION name;
      unsigned char room[64];
    } information{};
    const NTSTATUS status = Query(P(), folder.get(), information, FileNameInformation);
    const bool isRoot = status == 0 && information.name.FileNameLength == sizeof(WCHAR) &&
                        information.name.FileName[0] == '\\';
    EXPECT_EQ(isRoot, root) << path;
  }
}

// Held as the walks hold it, without delete sharing, a folder cannot be
// renamed by another program, while others still move entries into it (a
// move opens the folder it goes into for writing). Held without write
// sharing, it takes none on Windows; Wine lets them in. Held with delete
// sharing, a folder can be renamed, and then a relative open still reaches
// into the very folder the handle holds, not the one made under its old name.
TEST_P(PlatformContract, HeldFoldersStayWhereTheyAre) {
  {
    ScopedFileHandle sub = folder_walk::OpenFolder(P(), At("sub").c_str(), 0);
    ASSERT_TRUE(sub);
    EXPECT_FALSE(m_->Rename(At("sub"), At("moved")));
    EXPECT_TRUE(m_->Rename(At("plain.txt"), At("sub\\plain.txt")));
    ScopedFileHandle readOnly(
        P(), P().CreateFileA(At("full").c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(readOnly);
    EXPECT_EQ(m_->Rename(At("sub\\plain.txt"), At("full\\plain.txt")), m_->wine);
  }
  ScopedFileHandle sub(
      P(),
      P().CreateFileA(At("sub").c_str(), FILE_LIST_DIRECTORY, kShareAll, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  ASSERT_TRUE(m_->Rename(At("sub"), At("moved")));
  m_->MakeFolder(At("sub"));
  m_->MakeFile(At("sub\\y"), 0, kFile);
  EXPECT_EQ(OpenIn(P(), sub.get(), u"y", kFile).status, STATUS_OBJECT_NAME_NOT_FOUND);
}

// Both answer the text's length without the zero when it fits, else the size
// needed, with nothing written, even when short by the zero alone.
TEST_P(PlatformContract, WellKnownFoldersFollowTheBufferRules) {
  char windows[MAX_PATH] = {}, temp[MAX_PATH] = {};
  const UINT windowsLength = P().GetWindowsDirectoryA(windows, MAX_PATH);
  const DWORD tempLength = P().GetTempPathA(MAX_PATH, temp);
  ASSERT_TRUE(windowsLength > 0 && tempLength > 0);
  EXPECT_EQ(std::string(windows).size() + std::string(temp).size(), windowsLength + tempLength);
  // The Windows directory without a separator at its end, the temporary folder with one.
  EXPECT_TRUE(windows[windowsLength - 1] != '\\' && temp[tempLength - 1] == '\\');
  for (const DWORD size : {DWORD{0}, DWORD{5}, tempLength}) {
    char buffer[MAX_PATH] = {'x'};
    EXPECT_EQ(P().GetTempPathA(size, buffer), tempLength + 1) << size;
    EXPECT_EQ(P().GetWindowsDirectoryA(buffer, std::min<UINT>(size, windowsLength)),
              windowsLength + 1);
    EXPECT_EQ(buffer[0], 'x') << size;
  }
}

TEST_P(PlatformContract, Registry) {
  const std::string base = m_->scratchKey;
  HKEY key = reinterpret_cast<HKEY>(std::uintptr_t{0x77});  // a failed open stores null
  EXPECT_EQ(P().RegOpenKeyA(HKEY_LOCAL_MACHINE, (base + "\\a\\b").c_str(), &key), 2);
  EXPECT_EQ(key, nullptr);
  // Made with every key on the way; names compare without case.
  ASSERT_EQ(P().RegCreateKeyA(HKEY_LOCAL_MACHINE, (base + "\\a\\b").c_str(), &key), ERROR_SUCCESS);
  EXPECT_EQ(P().RegCloseKey(key), ERROR_SUCCESS);
  ScopedRegKey parent = OpenRegKey(P(), HKEY_LOCAL_MACHINE, (base + "\\A").c_str());

  EXPECT_EQ(P().RegDeleteKeyA(HKEY_LOCAL_MACHINE, (base + "\\a").c_str()), ERROR_ACCESS_DENIED);
  EXPECT_EQ(P().RegDeleteKeyA(parent.get(), "c"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(P().RegDeleteKeyA(parent.get(), "B"), ERROR_SUCCESS);
  EXPECT_EQ(P().RegOpenKeyA(parent.get(), "b", &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(P().RegDeleteKeyA(HKEY_LOCAL_MACHINE, (base + "\\a").c_str()), ERROR_SUCCESS);
  // A handle outlives its key.
  DWORD count = 0;
  EXPECT_EQ(P().RegQueryValueExA(parent.get(), "v", nullptr, nullptr, nullptr, &count),
            ERROR_KEY_DELETED);

  // Values keep their bytes; names compare without case.
  ScopedRegKey scratch = OpenRegKey(P(), HKEY_LOCAL_MACHINE, base.c_str());
  const std::string date("2026/12/6", 10), none(12, 'x');
  ASSERT_EQ(P().RegSetValueExA(scratch.get(), "Date", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(date.data()), 10),
            ERROR_SUCCESS);
  const std::tuple<const char*, DWORD, LSTATUS> cases[] = {// count 0: no buffer, the size alone
                                                           {"date", 0, ERROR_SUCCESS},
                                                           {"DATE", 12, ERROR_SUCCESS},
                                                           {"Date", 10, ERROR_SUCCESS},
                                                           {"Date", 9, ERROR_MORE_DATA},
                                                           {"missing", 12, ERROR_FILE_NOT_FOUND}};
  for (const auto& [name, size, status] : cases) {
    SCOPED_TRACE(std::string(name) + " count " + std::to_string(size));
    std::string buffer = none;
    DWORD type = 99;
    count = size;
    BYTE* out = size != 0 ? reinterpret_cast<BYTE*>(&buffer[0]) : nullptr;
    EXPECT_EQ(P().RegQueryValueExA(scratch.get(), name, nullptr, &type, out, &count), status);
    const bool found = status != ERROR_FILE_NOT_FOUND;
    EXPECT_EQ(count, found ? 10u : size);
    EXPECT_EQ(type, found ? REG_SZ : REG_NONE);
    const bool written = status == ERROR_SUCCESS && out != nullptr;
    EXPECT_EQ(buffer, written ? date + "xx" : none);
  }
}

namespace {

class FakeMachine : public TestMachine {
 public:
  FakeMachine() : TestMachine("C:\\Scratch", "SOFTWARE\\Scratch", false) {
    fake_.AddFolder(scratch);
    fake_.AddRegKey(scratchKey);
  }
  Platform& platform() override { return fake_; }
  void MakeFolder(const std::string& path) override { fake_.AddFolder(path); }
  void MakeFile(const std::string& p, std::uint64_t n, DWORD a) override { fake_.AddFile(p, n, a); }
  void Hold(const std::string& path) override { fake_.SetInUse(path); }
  void MakeHardLink(const std::string& path, const std::string& existing) override {
    fake_.AddHardLink(path, existing);
  }
  bool Rename(const std::string& from, const std::string& to) override {
    return fake_.Rename(from, to);
  }
  bool MakeFolderLink(const std::string& path, const std::string& target) override {
    fake_.AddLink(path, target);
    return true;
  }

 private:
  FakePlatform fake_;
};

INSTANTIATE_TEST_SUITE_P(Fake, PlatformContract,
                         ::testing::Values<MakeMachine>([]() -> std::unique_ptr<TestMachine> {
                           return std::make_unique<FakeMachine>();
                         }));

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Win32, PlatformContract,
                         ::testing::Values<MakeMachine>([]() -> std::unique_ptr<TestMachine> {
                           return std::make_unique<Win32TestMachine>();
                         }));
#endif

}  // namespace
