// The folder walks on the in-memory machine: what a purge deletes and in what
// order, and what the size of the same tree counts. Each case is sized and
// purged on a fresh machine, so a size that counts what a purge would not
// delete shows up beside it.
#include "folders/folder_walk.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "folders/purge_folder.h"
#include "folders/reclaimable.h"
#include "machine_text.h"

namespace {

// The changing calls as "rd T 145, del T\a, attrib T\b": the command, the
// path below C:\, and the error when the call failed.
std::string Changes(const FakePlatform& fake) {
  std::string text;
  for (const FakePlatform::CallRecord& c : fake.Changes()) {
    const char* verb = c.call == "DeleteFileA"          ? "del"
                       : c.call == "SetFileAttributesA" ? "attrib"
                                                        : "rd";
    text += (text.empty() ? "" : ", ") + std::string(verb) + " " + c.target.substr(3);
    if (!c.succeeded) text += " " + std::to_string(c.error);
  }
  return text;
}

// How a case walks C:\T: PurgeFolder, PurgeFolderContents (and the size of
// "C:\T\"), or, for any other value, RemoveFolderEntry with that value as the
// attributes a listing gave (and GetFolderEntrySize).
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

// A listing gone stale: at the walk's first look at an entry's attributes the
// folder "swapped" becomes a junction; at its second, "swapped.txt" a file link.
void SwapAfterListing(FakePlatform& f) {
  f.SetCallHook([&f, looks = 0](std::string_view call, std::size_t) mutable {
    if (call != "GetFileAttributesA" || ++looks > 2) return;
    const std::string path = looks == 1 ? "C:\\T\\swapped" : "C:\\T\\swapped.txt";
    f.Remove(path);
    f.AddLink(path, looks == 1 ? "C:\\Outside" : "C:\\Outside\\system.dll", looks == 1);
  });
}

const WalkCase kWalkCases[] = {
    // An empty folder goes at the first step; a missing one is tried once.
    {"T\\", true, 0, "rd T"},
    {"", true, 0, "rd T 2"},
    // A refused removal leaves the inside alone; a folder held open is emptied.
    {"T\\a=1 T!RemoveDirectoryA=5", false, 1, "rd T 5"},
    {"T\\a=1 T\\+u", false, 1, "rd T 32, del T\\a"},
    // A file in use ends its own folder's walk; sizes count in full.
    {"T\\a-long-name=5g T\\s\\held=2+u T\\s\\after=4 T\\b=8+u T\\c=16 T\\d\\e=32", false,
     (5ull << 30) + 62,
     "rd T 145, del T\\a-long-name, rd T\\s 145, del T\\s\\held 32, rd T\\s 145, del T\\b 32"},
    // Read-only files are made normal first; hidden and system ones are not.
    {"T\\r=1+rh T\\h=2+hs T\\held=4+ru", false, 7,
     "rd T 145, attrib T\\r, del T\\r, del T\\h, attrib T\\held, del T\\held 32"},
    // Deepest first, the top stays; sizes stop at the largest count.
    {"T\\a\\b\\f=18446744073709551610 T\\g=10", true, UINT64_MAX,
     "rd T 145, rd T\\a 145, rd T\\a\\b 145, del T\\a\\b\\f, rd T\\a\\b, rd T\\a, del T\\g"},
    // A failed listing step ends the folder (listings begin with "." and "..").
    {"T\\a=1 !FindNextFileA=21", false, 0, "rd T 145"},
    // The guard spares GUID-shaped folders and folder links at the top only.
    {"T\\%G\\kept=1 T\\%G-link>Outside T\\s\\%G\\gone=2 T\\%G-file=4", true, 6,
     "rd T 145, rd T\\s 145, rd T\\s\\%G 145, del T\\s\\%G\\gone, rd T\\s\\%G, rd T\\s, "
     "del T\\%G-file"},
    // Paths of MAX_PATH characters or more are never named, nor listed.
    {"T\\%254f=1 T\\%255g=2 T\\%250d\\abc=4 T\\%250d\\abcd=8 T\\%252p\\a=16", false, 5,
     "rd T 145, del T\\%254f, rd T\\%250d 145, del T\\%250d\\abc, rd T\\%250d 145, "
     "rd T\\%252p 145, rd T\\%252p 145"},
    // Links are removed as links, once, asked nothing, never entered nor
    // counted; a read-only one stays and the walk goes on.
    {"T\\a@Outside\\system.dll+r T\\b>Outside T\\c@Outside\\system.dll T\\d=1k "
     "T\\e>Outside+r T\\b!GetFileAttributesA=5",
     true, 1024, "rd T 145, del T\\a 5, rd T\\b, del T\\c, del T\\d, rd T\\e 5"},
    // What became a link after the listing is removed as one.
    {"T\\swapped\\inner=4 T\\swapped.txt=2+r", true, 2,
     "rd T 145, rd T\\swapped, del T\\swapped.txt", kPurge, SwapAfterListing},
    // A folder that cannot be asked again is left alone.
    {"T\\s\\f=1 T\\s!GetFileAttributesA=5", false, 0, "rd T 145"},
    // A contents purge keeps the folder, even an empty one.
    {"T\\a=1", false, 1, "del T\\a", kContents},
    {"T\\", false, 0, "", kContents},
    // A listed folder is purged without the guard and removed; a listed link
    // is removed without another look; one that is a link or a file now, as
    // what it is now.
    {"T\\%G\\k=1 T\\g=2", false, 3,
     "rd T 145, rd T\\%G 145, del T\\%G\\k, rd T\\%G, del T\\g, rd T", FILE_ATTRIBUTE_DIRECTORY},
    {"T>Outside !GetFileAttributesA=5", false, 0, "rd T", kListedLink},
    {"T>Outside", false, 0, "rd T", FILE_ATTRIBUTE_DIRECTORY},
    {"T=1", false, 0, "", FILE_ATTRIBUTE_DIRECTORY},
};

TEST(FolderWalk, SizeCountsWhatPurgeDeletes) {
  for (const WalkCase& c : kWalkCases) {
    SCOPED_TRACE(c.machine);
    for (bool purge : {false, true}) {
      FakePlatform fake;
      Build(fake, std::string("Outside\\system.dll=1m+r Outside\\sub\\data.bin=1m ") + c.machine);
      if (c.stage) c.stage(fake);
      if (purge && c.walk == kPurge) PurgeFolder(fake, "C:\\T", c.guard);
      if (purge && c.walk == kContents) PurgeFolderContents(fake, "C:\\T", c.guard);
      if (purge && c.walk > kContents) RemoveFolderEntry(fake, "C:\\T", c.walk);
      if (!purge) {
        EXPECT_EQ(c.walk > kContents ? GetFolderEntrySize(fake, "C:\\T", c.walk)
                                     : GetFolderSize(fake, c.walk ? "C:\\T\\" : "C:\\T", c.guard),
                  c.size);
      }
      EXPECT_EQ(Changes(fake), purge ? Expand(c.changes) : "");
      EXPECT_EQ(fake.OpenFindHandles(), 0u);
      for (const FakePlatform::CallRecord& call : fake.Calls()) {
        EXPECT_LT(call.target.size(), static_cast<std::size_t>(MAX_PATH)) << call.call;
      }
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
    EXPECT_EQ(GetFolderEntrySize(fake, text, FILE_ATTRIBUTE_DIRECTORY), 0u);
    PurgeFolder(fake, text, false);
    PurgeFolderContents(fake, text, false);
    RemoveFolderEntry(fake, text, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(fake.Calls().empty()) << text.size();
  }
}

}  // namespace
