#include "search/file_finder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_platform.h"

namespace {

using Results = std::vector<std::string>;

// One result as "<strFolder>|<cFileName>", so that a test states both.
Results Found(const CFileFinder& finder) {
  Results found;
  for (const FoundFile& result : finder.Results()) {
    found.push_back(result.strFolder + "|" + result.findData.cFileName);
  }
  return found;
}

FindSpec Spec(const std::string& folder, const std::string& include, bool recursive,
              bool returnFolders) {
  FindSpec spec;
  spec.bRecursive = recursive;
  spec.bReturnFolders = returnFolders;
  spec.strFolder = folder;
  spec.strIncludeFiles = include;
  return spec;
}

// The patterns of the listings that were opened, in order.
Results Listed(const FakePlatform& fake) {
  Results listed;
  for (const auto& call : fake.Calls()) {
    if (call.call == "FindFirstFileA") listed.push_back(call.target);
  }
  return listed;
}

// C:\Data holds A\f.txt, A\B\g.txt, h.tmp and the empty folder C, in this
// order, and C:\Windows a sample of what the cleaner's searches meet there.
void BuildMachine(FakePlatform& fake) {
  fake.AddFile("C:\\Data\\A\\f.txt");
  fake.AddFile("C:\\Data\\A\\B\\g.txt");
  fake.AddFile("C:\\Data\\h.tmp");
  fake.AddFolder("C:\\Data\\C");
  fake.AddFile("C:\\Windows\\a.tmp");
  fake.AddFile("C:\\Windows\\SETUP.TMP");
  fake.AddFolder("C:\\Windows\\$NtUninstallKB123456$");
  fake.AddFile("C:\\Windows\\x.tmp\\inner.tmp");
  fake.AddFile("C:\\Windows\\b.tmp", 1, FILE_ATTRIBUTE_HIDDEN);
  fake.AddFile("C:\\Windows\\a.a");
  fake.AddFile("C:\\Windows\\xa.a");
  fake.AddFile("C:\\Windows\\log.bak");
}

struct WalkCase {
  const char* what;
  void (*arrange)(FakePlatform&, FindSpec&);
  FindSpec spec;
  Results results;
  Results listed;
};

void Nothing(FakePlatform&, FindSpec&) {}

const WalkCase kWalkCases[] = {
    {"listing order kept, each folder after its children",
     Nothing,
     Spec("C:\\Data", "*", true, true),
     {"C:\\Data\\A|f.txt", "C:\\Data\\A\\B|g.txt", "C:\\Data\\A|B", "C:\\Data|A", "C:\\Data|h.tmp",
      "C:\\Data|C"},
     {"C:\\Data\\*", "C:\\Data\\A\\*", "C:\\Data\\A\\B\\*", "C:\\Data\\C\\*"}},
    {"listing order set, dot entries anywhere",
     [](FakePlatform& f, FindSpec&) {
       f.SetListingOrder("C:\\Data", {"h.tmp", ".", "C", "..", "A"});
     },
     Spec("C:\\Data", "*", false, true),
     {"C:\\Data|h.tmp", "C:\\Data|C", "C:\\Data|A"},
     {"C:\\Data\\*"}},
    {"recursive without folders",
     Nothing,
     Spec("C:\\Data", "*.txt", true, false),
     {"C:\\Data\\A|f.txt", "C:\\Data\\A\\B|g.txt"},
     {"C:\\Data\\*", "C:\\Data\\A\\*", "C:\\Data\\A\\B\\*", "C:\\Data\\C\\*"}},
    {"not recursive: nothing inside is entered or returned",
     Nothing,
     Spec("C:\\Data", "*", false, false),
     {"C:\\Data|h.tmp"},
     {"C:\\Data\\*"}},
    {"folder text kept as given",
     Nothing,
     Spec("C:\\Data\\A\\", "*", true, true),
     {"C:\\Data\\A\\|f.txt", "C:\\Data\\A\\B|g.txt", "C:\\Data\\A\\|B"},
     {"C:\\Data\\A\\*", "C:\\Data\\A\\B\\*"}},
    {"empty folder text: the current folder",
     [](FakePlatform& f, FindSpec&) { f.SetCurrentFolder("C:\\Data\\A"); },
     Spec("", "*", true, true),
     {"|f.txt", "B|g.txt", "|B"},
     {"C:\\Data\\A\\*", "C:\\Data\\A\\B\\*"}},
    {"the *.tmp search: files directly there, case-sensitive",
     Nothing,
     Spec("C:\\Windows", "*.tmp", false, false),
     {"C:\\Windows|a.tmp", "C:\\Windows|b.tmp"},
     {"C:\\Windows\\*"}},
    {"the folder search: folders whatever the include list says",
     Nothing,
     Spec("C:\\Windows", "a.a", false, true),
     {"C:\\Windows|$NtUninstallKB123456$", "C:\\Windows|x.tmp", "C:\\Windows|a.a"},
     {"C:\\Windows\\*"}},
    {"an empty include list returns folders only",
     Nothing,
     Spec("C:\\Windows", "", false, true),
     {"C:\\Windows|$NtUninstallKB123456$", "C:\\Windows|x.tmp"},
     {"C:\\Windows\\*"}},
    {"excluded folders are neither returned nor entered",
     [](FakePlatform& f, FindSpec& s) {
       f.AddFile("C:\\Data\\A\\C\\i.txt");
       f.AddFile("C:\\Data\\C.txt");  // a file: the folder list is not asked
       s.strExcludeFolders = "*.log;C";
     },
     Spec("C:\\Data", "*", true, true),
     {"C:\\Data\\A|f.txt", "C:\\Data\\A\\B|g.txt", "C:\\Data\\A|B", "C:\\Data|A", "C:\\Data|h.tmp",
      "C:\\Data|C.txt"},
     {"C:\\Data\\*", "C:\\Data\\A\\*", "C:\\Data\\A\\B\\*"}},
    {"excluded files are left out, folders of their names stay",
     [](FakePlatform& f, FindSpec& s) {
       f.AddFolder("C:\\Windows\\dir.bak");
       s.strExcludeFiles = "*.log;*.bak;*.tmp";
     },
     Spec("C:\\Windows", "*", false, true),
     {"C:\\Windows|SETUP.TMP", "C:\\Windows|$NtUninstallKB123456$", "C:\\Windows|x.tmp",
      "C:\\Windows|a.a", "C:\\Windows|xa.a", "C:\\Windows|dir.bak"},
     {"C:\\Windows\\*"}},
    {"missing folder", Nothing, Spec("C:\\Nowhere", "*", true, true), {}, {"C:\\Nowhere\\*"}},
    {"unlistable subfolder is still returned",
     [](FakePlatform& f, FindSpec&) {
       f.FailCall("FindFirstFileA", ERROR_ACCESS_DENIED, "C:\\Data\\A");
     },
     Spec("C:\\Data", "*", true, true),
     {"C:\\Data|A", "C:\\Data|h.tmp", "C:\\Data|C"},
     {"C:\\Data\\*", "C:\\Data\\A\\*", "C:\\Data\\C\\*"}},
};

TEST(FileFinder, FindsTheseInThisOrder) {
  for (const WalkCase& c : kWalkCases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    BuildMachine(fake);
    FindSpec spec = c.spec;
    c.arrange(fake, spec);
    fake.ClearLog();
    CFileFinder finder(fake, spec);
    finder.Find();
    EXPECT_EQ(Found(finder), c.results);
    EXPECT_EQ(Listed(fake), c.listed);
    EXPECT_EQ(fake.OpenFindHandles(), 0u) << fake.Dump();
  }
}

TEST(FileFinder, CopiesTheWholeEntry) {
  FakePlatform fake;
  fake.AddFile("C:\\Data\\big.tmp", 0x123456789ull,
               FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
  CFileFinder finder(fake, Spec("C:\\Data", "*.tmp", false, false));
  finder.Find();
  ASSERT_EQ(finder.Results().size(), 1u);
  const WIN32_FIND_DATAA& data = finder.Results()[0].findData;
  EXPECT_EQ(data.nFileSizeLow, 0x23456789u);
  EXPECT_EQ(data.nFileSizeHigh, 0x1u);
  EXPECT_EQ(data.dwFileAttributes,
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
}

TEST(FileFinder, FailingFindNextKeepsTheEarlierResultsAndClosesTheListing) {
  FakePlatform fake;
  for (const char* name : {"a", "b", "c", "d"}) fake.AddFile(std::string("C:\\Data\\") + name);
  // Calls: FindFirstFileA ("."), then FindNextFileA for "..", a, b, c.
  fake.FailNthCall(4, ERROR_ACCESS_DENIED);
  CFileFinder finder(fake, Spec("C:\\Data", "*", false, false));
  finder.Find();
  EXPECT_EQ(Found(finder), (Results{"C:\\Data|a", "C:\\Data|b"}));
  Results calls;
  for (const auto& call : fake.Calls()) calls.push_back(call.call);
  EXPECT_EQ(calls, (Results{"FindFirstFileA", "FindNextFileA", "FindNextFileA", "FindNextFileA",
                            "FindNextFileA", "FindClose"}));
}

TEST(FileFinder, FindAgainReplacesTheResultsResetEmptiesThemAndTheSpecIsItsOwn) {
  FakePlatform fake;
  fake.AddFile("C:\\Data\\a.tmp");
  fake.AddFile("C:\\Other\\b.tmp");
  FindSpec spec = Spec("C:\\Data", "*", false, false);
  CFileFinder finder(fake, spec);
  spec.strFolder = "C:\\Other";
  finder.Find();
  fake.AddFile("C:\\Data\\c.tmp");
  finder.Find();
  EXPECT_EQ(Found(finder), (Results{"C:\\Data|a.tmp", "C:\\Data|c.tmp"}));

  finder.Reset();
  EXPECT_TRUE(finder.Results().empty());
  EXPECT_EQ(finder.Spec().strFolder, "C:\\Data");
}

TEST(FileFinder, CancelFlagAlreadySetClosesTheFirstListing) {
  FakePlatform fake;
  BuildMachine(fake);
  std::atomic<bool> cancel{true};
  FindSpec spec = Spec("C:\\Data", "*", true, true);
  spec.pbCancel = &cancel;
  CFileFinder finder(fake, spec);
  finder.Find();
  EXPECT_EQ(Found(finder), Results{});
  EXPECT_EQ(Listed(fake), (Results{"C:\\Data\\*"}));
  EXPECT_EQ(fake.Calls().back().call, "FindClose");
  EXPECT_EQ(fake.OpenFindHandles(), 0u);

  cancel = false;
  finder.Find();
  EXPECT_EQ(finder.Results().size(), 6u);
}

// Sets the cancel flag when a given listing is opened, as another thread
// might while the walk runs.
class CancellingFake : public FakePlatform {
 public:
  CancellingFake(std::string pattern, std::atomic<bool>& flag)
      : pattern_(std::move(pattern)), flag_(flag) {}
  HANDLE FindFirstFileA(LPCSTR lpFileName, WIN32_FIND_DATAA* lpFindFileData) override {
    if (pattern_ == lpFileName) flag_ = true;
    return FakePlatform::FindFirstFileA(lpFileName, lpFindFileData);
  }

 private:
  std::string pattern_;
  std::atomic<bool>& flag_;
};

TEST(FileFinder, FlagSetInsideASubfolderEndsEveryLevel) {
  std::atomic<bool> cancel{false};
  CancellingFake fake("C:\\Data\\A\\*", cancel);
  BuildMachine(fake);
  FindSpec spec = Spec("C:\\Data", "*", true, true);
  spec.pbCancel = &cancel;
  CFileFinder finder(fake, spec);
  finder.Find();
  // A's walk stops at its first entry; the top level still returns A, then
  // stops at its own next entry.
  EXPECT_EQ(Found(finder), (Results{"C:\\Data|A"}));
  EXPECT_EQ(fake.OpenFindHandles(), 0u);
}

TEST(JoinPath, JoinsWithOneBackslash) {
  const char* const cases[][3] = {
      {"C:\\Windows", "*", "C:\\Windows\\*"},
      {"C:\\Windows", "a.tmp", "C:\\Windows\\a.tmp"},
      {"C:\\", "a.tmp", "C:\\a.tmp"},
      {"C:\\Temp\\", "x", "C:\\Temp\\x"},
      {"", "a.tmp", "a.tmp"},
      {"C:\\Windows", "", "C:\\Windows"},
      {"C:\\Temp\\", "", "C:\\Temp\\"},
      {"", "", ""},
      {"C:/Temp/", "x", "C:/Temp/\\x"},
      {"a\\\\", "b", "a\\\\b"},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinPath(c[0], c[1]), c[2]) << c[0] << " + " << c[1];
}

}  // namespace
