// The folder walks on the in-memory machine: what a purge deletes and in what
// order, and what the size of the same tree counts. Each case is sized and
// purged on a fresh machine, so a size that counts what a purge would not
// delete shows up beside it. The race sweep of the hardening tests stages a
// swap at every call of a whole start; the swap here shows the rule.
#include "folders/folder_walk.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "folders/purge_folder.h"
#include "folders/reclaimable.h"
#include "machine_text.h"
#include "platform/scoped_handle.h"

namespace {

// The changing calls as "del T full, attrib T\b, del T\b": the verb (a
// disposition, or a relative open to delete that failed; setting attributes), the path
// below C:\ that the entry had, and why it failed (full: not empty; ro:
// read-only; busy: held open by another program; else the code).
std::string Changes(const FakePlatform& fake) {
  std::string text;
  for (const FakePlatform::CallRecord& c : fake.Changes()) {
    const bool deletes = c.value == "FILE_DELETE_ON_CLOSE";
    if (c.call == "CreateFileA" || (c.call == "NtOpenFile" && c.succeeded && !deletes)) continue;
    const bool attrib = c.value == "FileBasicInformation";
    text +=
        (text.empty() ? "" : ", ") + std::string(attrib ? "attrib " : "del ") + c.target.substr(3);
    if (c.succeeded) continue;
    text += c.error == static_cast<DWORD>(STATUS_DIRECTORY_NOT_EMPTY) ? " full"
            : c.error == static_cast<DWORD>(STATUS_CANNOT_DELETE)     ? " ro"
            : c.error == static_cast<DWORD>(STATUS_SHARING_VIOLATION)
                ? " busy"
                : " " + std::to_string(c.error);
  }
  return text;
}

// How a case walks C:\T: PurgeFolder, PurgeHeldFolder (and the size of
// "C:\T\"), or, for any other value, RemoveListedFolder with that value as
// the attributes a listing of C:\ gave (and GetListedEntrySize).
constexpr DWORD kPurge = 0;
constexpr DWORD kContents = 1;
constexpr DWORD kListedLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;

struct WalkCase {
  const char* machine;
  bool guard;
  std::uint64_t size;
  const char* changes;
  DWORD walk = kPurge;
  void (*stage)(FakePlatform&) = nullptr;
};

// A racing user: as the walk opens an entry it listed, the folder "swapped"
// has become a junction, and then "swapped.txt" a link to a system file.
void SwapAfterListing(FakePlatform& f) {
  f.SetCallHook([&f, opens = 0](std::string_view call, std::size_t) mutable {
    if (call != "NtOpenFile" || ++opens > 2) return;
    const std::string path = opens == 1 ? "C:\\T\\swapped" : "C:\\T\\swapped.txt";
    if (f.Rename(path, path + "~")) {
      f.AddLink(path, opens == 1 ? "C:\\Outside" : "C:\\Outside\\system.dll", opens == 1);
    }
  });
}

const WalkCase kWalkCases[] = {
    // An empty folder goes at once; a missing one is left as it is.
    {"T\\", true, 0, "del T"},
    {"", true, 0, ""},
    // A folder that cannot go leaves its inside alone; one held open by
    // another program is emptied and stays.
    {"T\\+r T\\a=1", false, 1, "del T ro"},
    {"T\\a=1 T\\+u", false, 1, "del T\\a"},
    // A file in use ends its own folder's walk; sizes count in full.
    {"T\\a-long-name=5g T\\s\\held=2+u T\\s\\after=4 T\\b=8+u T\\c=16 T\\d\\e=32", false,
     (5ull << 30) + 62,
     "del T full, del T\\a-long-name, del T\\s\\held busy, del T\\s full, del T\\b busy"},
    // So does one on which another program holds an oplock it never lets go:
    // the open does not wait for it (marked for deletion, the file goes only
    // when its holder, who shares delete access, lets go). A subfolder so held
    // is passed over.
    {"T\\a=1 T\\s\\+o T\\s\\f=8 T\\o=2+o T\\c=4", false, 7, "del T full, del T\\a, del T\\o"},
    // Read-only files are made writable first, their other bits kept, unless
    // they have another name (whose bits they are too): such a one stays.
    {"T\\r=1+rh T\\h=2+hs T\\held=4+ru", false, 7,
     "del T full, attrib T\\r, del T\\r, del T\\h, del T\\held busy"},
    {"T\\hl&Outside\\system.dll T\\after=1", false, (1u << 20) + 1, "del T full, del T\\hl ro"},
    // Deepest first, the top stays; sizes stop at the largest count.
    {"T\\a\\b\\f=18446744073709551610 T\\g=10", true, UINT64_MAX,
     "del T full, del T\\a\\b\\f, del T\\a\\b, del T\\a, del T\\g"},
    // A failed read of a listing ends the folder.
    {"T\\a=1 !NtQueryDirectoryFile=3221225506", false, 0, "del T full"},
    // The guard spares GUID-shaped folders and folder links at the top only.
    {"T\\%G\\kept=1 T\\%G-link>Outside T\\s\\%G\\gone=2 T\\%G-file=4", true, 6,
     "del T full, del T\\s\\%G\\gone, del T\\s\\%G, del T\\s, del T\\%G-file"},
    // No path is built: entries deeper than MAX_PATH go like any other.
    {"T\\%250d\\%20e\\abc=4 T\\%252p\\a=16", false, 20,
     "del T full, del T\\%250d\\%20e\\abc, del T\\%250d\\%20e, del T\\%250d, del T\\%252p\\a, "
     "del T\\%252p"},
    // Each entry is acted on by its own name, even one the ANSI code page
    // turns into "a\b" (a full-width backslash).
    {"T\\a\xef\xbc\xbc"
     "b=1 T\\a\\b=2",
     false, 3,
     "del T full, del T\\a\xef\xbc\xbc"
     "b, del T\\a\\b, del T\\a"},
    // Links are removed as links, never entered nor counted; one that stays
    // ends its folder's walk.
    {"T\\b>Outside T\\c@Outside\\system.dll T\\d=1k T\\a@Outside\\system.dll+r T\\e=1", true, 1025,
     "del T full, del T\\b, del T\\c, del T\\d, del T\\a ro"},
    // What is not, on its own handle, what the listing said is left alone: a
    // folder is passed over, a file ends the walk.
    {"T\\swapped\\inner=4 T\\swapped.txt=2+r T\\after=1", true, 3, "", kContents, SwapAfterListing},
    // A folder that cannot be opened is left alone.
    {"T\\s\\f=1 T\\s!NtOpenFile=3221225506", false, 0, "del T full"},
    // A contents purge keeps the folder, even an empty one.
    {"T\\a=1", false, 1, "del T\\a", kContents},
    {"T\\", false, 0, "", kContents},
    // A listed folder is purged without the guard and removed; a listed link
    // is removed as itself; one that is something else now is left alone.
    {"T\\%G\\k=1 T\\g=2", false, 3, "del T\\%G\\k, del T\\%G, del T\\g, del T",
     FILE_ATTRIBUTE_DIRECTORY},
    {"T>Outside", false, 0, "del T", kListedLink},
    {"T\\a=1", false, 0, "", kListedLink},
    {"T>Outside", false, 0, "", FILE_ATTRIBUTE_DIRECTORY},
    {"T=1", false, 0, "", FILE_ATTRIBUTE_DIRECTORY},
};

// C:\T as a listing of C:\ would give it, with the attributes `listed`.
ListedEntry ListedT(DWORD listed) {
  static const WCHAR kName[] = {'T'};
  ListedEntry entry;
  entry.name = WideName(kName, 1);
  entry.ansi = "T";
  entry.attributes = listed;
  return entry;
}

TEST(FolderWalk, SizeCountsWhatPurgeDeletes) {
  for (const WalkCase& c : kWalkCases) {
    SCOPED_TRACE(c.machine);
    for (bool purge : {false, true}) {
      FakePlatform fake;
      Build(fake, std::string("Outside\\system.dll=1m+r Outside\\sub\\data.bin=1m ") + c.machine);
      if (c.stage) c.stage(fake);
      ScopedFileHandle root(fake), held(fake);
      if (c.walk > kContents) root = folder_walk::OpenFolder(fake, "C:\\", 0);
      if (c.walk == kContents) held = folder_walk::OpenFolder(fake, "C:\\T", 0);
      fake.ClearLog();
      if (purge && c.walk == kPurge) PurgeFolder(fake, "C:\\T", c.guard);
      if (purge && c.walk == kContents) PurgeHeldFolder(fake, held.get(), c.guard);
      if (purge && c.walk > kContents) RemoveListedFolder(fake, root.get(), ListedT(c.walk));
      if (!purge) {
        EXPECT_EQ(c.walk > kContents ? GetListedEntrySize(fake, root.get(), ListedT(c.walk), 0)
                                     : GetFolderSize(fake, c.walk ? "C:\\T\\" : "C:\\T", c.guard),
                  c.size);
      }
      EXPECT_EQ(Changes(fake), purge ? Expand(c.changes) : "");
      EXPECT_EQ(fake.OpenHandles(), (root ? 1u : 0u) + (held ? 1u : 0u));
      // Outside, nothing changed.
      EXPECT_EQ(fake.Attributes("C:\\Outside\\system.dll"), FILE_ATTRIBUTE_READONLY);
    }
  }
}

// An empty text, or one cut short by a zero byte, would name the current
// folder or another: nothing is called.
TEST(FolderWalk, UnusableFolderTextsTouchNothing) {
  for (const std::string& text : {std::string(), std::string("C:\\T\0U", 6)}) {
    FakePlatform fake;
    Build(fake, "T\\a=1");
    EXPECT_EQ(GetFolderSize(fake, text, false), 0u);
    PurgeFolder(fake, text, false);
    EXPECT_TRUE(fake.Calls().empty()) << text.size();
  }
}

// A reply that ends inside its last record (the last two bytes of its name
// cut off): that record is not read, past the bytes the reply filled.
TEST(FolderWalk, ARecordCutShortIsNotRead) {
  struct CutShort : FakePlatform {
    NTSTATUS NtQueryDirectoryFile(HANDLE h, HANDLE e, PIO_APC_ROUTINE r, PVOID c,
                                  IO_STATUS_BLOCK* io, PVOID buffer, ULONG length,
                                  FILE_INFORMATION_CLASS kind, BOOLEAN single,
                                  UNICODE_STRING* pattern, BOOLEAN restart) override {
      const NTSTATUS status = FakePlatform::NtQueryDirectoryFile(h, e, r, c, io, buffer, length,
                                                                 kind, single, pattern, restart);
      if (NtSuccess(status)) io->Information -= 2;
      return status;
    }
  } fake;
  Build(fake, "T\\a=1 T\\bb=2");
  EXPECT_EQ(GetFolderSize(fake, "C:\\T", false), 1u);
}

}  // namespace
