#include "search/file_finder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "platform/fake_platform.h"

namespace {

// One result as "<strFolder>|<cFileName>", so that a test states both.
std::vector<std::string> Found(const CFileFinder& finder) {
  std::vector<std::string> found;
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

class FileFinderTest : public testing::Test {
 protected:
  std::vector<std::string> Run(const FindSpec& spec) {
    CFileFinder finder(fake_, spec);
    finder.Find();
    EXPECT_EQ(fake_.OpenFindHandles(), 0u) << fake_.Dump();
    return Found(finder);
  }

  // The patterns of the listings that were opened, in order.
  std::vector<std::string> Listed() const {
    std::vector<std::string> listed;
    for (const auto& call : fake_.Calls()) {
      if (call.call == "FindFirstFileA") listed.push_back(call.target);
    }
    return listed;
  }

  std::size_t CallsNamed(const std::string& name) const {
    std::size_t count = 0;
    for (const auto& call : fake_.Calls()) count += call.call == name ? 1u : 0u;
    return count;
  }

  FakePlatform fake_;
};

using Results = std::vector<std::string>;

TEST_F(FileFinderTest, KeepsTheListingOrderAndSkipsDotEntries) {
  fake_.AddFile("C:\\Data\\c.tmp");
  fake_.AddFile("C:\\Data\\a.tmp");
  fake_.AddFile("C:\\Data\\b.tmp");
  EXPECT_EQ(Run(Spec("C:\\Data", "*", false, false)),
            (Results{"C:\\Data|c.tmp", "C:\\Data|a.tmp", "C:\\Data|b.tmp"}));

  fake_.SetListingOrder("C:\\Data", {"b.tmp", ".", "c.tmp", "..", "a.tmp"});
  EXPECT_EQ(Run(Spec("C:\\Data", "*", false, false)),
            (Results{"C:\\Data|b.tmp", "C:\\Data|c.tmp", "C:\\Data|a.tmp"}));
}

TEST_F(FileFinderTest, ListsEveryEntryAndTestsTheNamesItself) {
  fake_.AddFile("C:\\Data\\a.tmp");
  fake_.ClearLog();
  Run(Spec("C:\\Data", "*.tmp", false, false));
  EXPECT_EQ(Listed(), (Results{"C:\\Data\\*"}));
}

TEST_F(FileFinderTest, WalksDepthFirstWithEachFolderAfterItsChildren) {
  fake_.AddFile("C:\\Data\\A\\f.txt");
  fake_.AddFile("C:\\Data\\A\\B\\g.txt");
  fake_.AddFile("C:\\Data\\h.txt");
  fake_.AddFolder("C:\\Data\\C");
  EXPECT_EQ(Run(Spec("C:\\Data", "*", true, true)),
            (Results{"C:\\Data\\A|f.txt", "C:\\Data\\A\\B|g.txt", "C:\\Data\\A|B", "C:\\Data|A",
                     "C:\\Data|h.txt", "C:\\Data|C"}));
  EXPECT_EQ(Listed(),
            (Results{"C:\\Data\\*", "C:\\Data\\A\\*", "C:\\Data\\A\\B\\*", "C:\\Data\\C\\*"}));

  // Without folders as results the files still come from the whole tree.
  EXPECT_EQ(Run(Spec("C:\\Data", "*", true, false)),
            (Results{"C:\\Data\\A|f.txt", "C:\\Data\\A\\B|g.txt", "C:\\Data|h.txt"}));
}

TEST_F(FileFinderTest, KeepsTheFolderTextAsGiven) {
  fake_.AddFile("C:\\Data\\A\\f.txt");
  fake_.AddFile("C:\\Data\\g.txt");
  EXPECT_EQ(Run(Spec("C:\\Data\\", "*", true, true)),
            (Results{"C:\\Data\\A|f.txt", "C:\\Data\\|A", "C:\\Data\\|g.txt"}));

  // An empty folder lists the current folder; results then carry no folder.
  fake_.SetCurrentFolder("C:\\Data");
  fake_.ClearLog();
  EXPECT_EQ(Run(Spec("", "*", true, true)), (Results{"A|f.txt", "|A", "|g.txt"}));
  EXPECT_EQ(Listed(), (Results{"C:\\Data\\*", "C:\\Data\\A\\*"}));
}

TEST_F(FileFinderTest, NonRecursiveSearchNeitherEntersNorReturnsInnerEntries) {
  fake_.AddFile("C:\\Data\\A\\f.tmp");
  fake_.AddFile("C:\\Data\\g.tmp");
  fake_.ClearLog();
  EXPECT_EQ(Run(Spec("C:\\Data", "*", false, false)), (Results{"C:\\Data|g.tmp"}));
  EXPECT_EQ(Listed(), (Results{"C:\\Data\\*"}));
}

TEST_F(FileFinderTest, CopiesTheWholeEntry) {
  fake_.AddFile("C:\\Data\\big.tmp", 0x123456789ull,
                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
  CFileFinder finder(fake_, Spec("C:\\Data", "*.tmp", false, false));
  finder.Find();
  ASSERT_EQ(finder.Results().size(), 1u);
  const WIN32_FIND_DATAA& data = finder.Results()[0].findData;
  EXPECT_EQ(data.nFileSizeLow, 0x23456789u);
  EXPECT_EQ(data.nFileSizeHigh, 0x1u);
  EXPECT_EQ(data.dwFileAttributes,
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
}

// The two searches the cleaner makes in the Windows directory.
TEST_F(FileFinderTest, TemporaryFilesSearchReturnsMatchingFilesOnly) {
  fake_.AddFile("C:\\Windows\\a.tmp");
  fake_.AddFile("C:\\Windows\\SETUP.TMP");
  fake_.AddFolder("C:\\Windows\\x.tmp");
  fake_.AddFile("C:\\Windows\\x.tmp\\inner.tmp");
  fake_.AddFile("C:\\Windows\\b.tmp", 1, FILE_ATTRIBUTE_HIDDEN);
  fake_.AddFile("C:\\Windows\\notes.txt");
  EXPECT_EQ(Run(Spec("C:\\Windows", "*.tmp", false, false)),
            (Results{"C:\\Windows|a.tmp", "C:\\Windows|b.tmp"}));
}

TEST_F(FileFinderTest, FoldersAreReturnedWhateverTheIncludeListSays) {
  fake_.AddFolder("C:\\Windows\\$NtUninstallKB123456$");
  fake_.AddFile("C:\\Windows\\a.ab");
  fake_.AddFolder("C:\\Windows\\x.tmp");
  fake_.AddFile("C:\\Windows\\xa.a");
  fake_.AddFile("C:\\Windows\\a.a");
  fake_.AddFolder("C:\\Windows\\System32");
  const Results folders{"C:\\Windows|$NtUninstallKB123456$", "C:\\Windows|x.tmp",
                        "C:\\Windows|System32"};
  EXPECT_EQ(Run(Spec("C:\\Windows", "a.a", false, true)),
            (Results{folders[0], folders[1], "C:\\Windows|a.a", folders[2]}));
  EXPECT_EQ(Run(Spec("C:\\Windows", "", false, true)), folders);
  EXPECT_EQ(Run(Spec("C:\\Windows", "*.tmp", false, true)), folders);

  // Names compare case-sensitively even where the file system does not.
  fake_.AddFile("C:\\Upper\\A.A");
  EXPECT_EQ(Run(Spec("C:\\Upper", "a.a", false, true)), Results{});
}

TEST_F(FileFinderTest, ExcludedFoldersAreNeitherReturnedNorEntered) {
  fake_.AddFile("C:\\Data\\skip.me\\f.tmp");
  fake_.AddFile("C:\\Data\\keep\\g.tmp");
  fake_.AddFile("C:\\Data\\keep\\skip.me\\h.tmp");
  fake_.AddFile("C:\\Data\\skip.me.not");  // a file: the folder list is not asked
  FindSpec spec = Spec("C:\\Data", "*", true, true);
  spec.strExcludeFolders = "*.log;skip.me";
  fake_.ClearLog();
  EXPECT_EQ(Run(spec), (Results{"C:\\Data\\keep|g.tmp", "C:\\Data|keep", "C:\\Data|skip.me.not"}));
  EXPECT_EQ(Listed(), (Results{"C:\\Data\\*", "C:\\Data\\keep\\*"}));
}

TEST_F(FileFinderTest, ExcludedFilesAreLeftOutButFoldersOfTheSameNameStay) {
  fake_.AddFile("C:\\Data\\a.tmp");
  fake_.AddFile("C:\\Data\\b.log");
  fake_.AddFolder("C:\\Data\\c.log");
  FindSpec spec = Spec("C:\\Data", "*", false, true);
  spec.strExcludeFiles = "*.bak;*.log";
  EXPECT_EQ(Run(spec), (Results{"C:\\Data|a.tmp", "C:\\Data|c.log"}));
}

TEST_F(FileFinderTest, MissingFolderGivesNothing) {
  fake_.AddFolder("C:\\Data");
  CFileFinder finder(fake_, Spec("C:\\Nowhere", "*", true, true));
  finder.Find();
  EXPECT_TRUE(finder.Results().empty());
  EXPECT_EQ(CallsNamed("FindFirstFileA"), 1u);
  EXPECT_EQ(CallsNamed("FindNextFileA"), 0u);
  EXPECT_EQ(CallsNamed("FindClose"), 0u);  // nothing was opened
}

TEST_F(FileFinderTest, UnlistableSubfolderContributesNothingButIsStillReturned) {
  fake_.AddFile("C:\\Data\\Locked\\secret.tmp");
  fake_.AddFile("C:\\Data\\after.tmp");
  fake_.FailCall("FindFirstFileA", ERROR_ACCESS_DENIED, "C:\\Data\\Locked");
  EXPECT_EQ(Run(Spec("C:\\Data", "*", true, true)),
            (Results{"C:\\Data|Locked", "C:\\Data|after.tmp"}));
}

TEST_F(FileFinderTest, FailingFindNextKeepsTheEarlierResults) {
  fake_.AddFile("C:\\Data\\a.tmp");
  fake_.AddFile("C:\\Data\\b.tmp");
  fake_.AddFile("C:\\Data\\c.tmp");
  fake_.AddFile("C:\\Data\\d.tmp");
  // Calls: FindFirstFileA ("."), then FindNextFileA for "..", a, b, c.
  fake_.FailNthCall(4, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(Spec("C:\\Data", "*", false, false)),
            (Results{"C:\\Data|a.tmp", "C:\\Data|b.tmp"}));
  ASSERT_GT(fake_.Calls().size(), 5u);
  EXPECT_EQ(fake_.Calls()[4].call, "FindNextFileA");
  EXPECT_FALSE(fake_.Calls()[4].succeeded);
  EXPECT_EQ(fake_.Calls()[5].call, "FindClose");
  EXPECT_EQ(fake_.Calls().size(), 6u);
}

TEST_F(FileFinderTest, FindAgainReplacesTheResultsAndResetEmptiesThem) {
  fake_.AddFile("C:\\Data\\a.tmp");
  const FindSpec spec = Spec("C:\\Data", "*", false, false);
  CFileFinder finder(fake_, spec);
  finder.Find();
  fake_.AddFile("C:\\Data\\b.tmp");
  finder.Find();
  EXPECT_EQ(Found(finder), (Results{"C:\\Data|a.tmp", "C:\\Data|b.tmp"}));

  finder.Reset();
  EXPECT_TRUE(finder.Results().empty());
  EXPECT_EQ(finder.Spec().strFolder, "C:\\Data");
  finder.Find();
  EXPECT_EQ(finder.Results().size(), 2u);
}

TEST_F(FileFinderTest, KeepsItsOwnCopyOfTheSpecification) {
  fake_.AddFile("C:\\Data\\a.tmp");
  fake_.AddFile("C:\\Other\\b.tmp");
  FindSpec spec = Spec("C:\\Data", "*", false, false);
  CFileFinder finder(fake_, spec);
  spec.strFolder = "C:\\Other";
  spec.strIncludeFiles = "";
  finder.Find();
  EXPECT_EQ(Found(finder), (Results{"C:\\Data|a.tmp"}));
}

TEST_F(FileFinderTest, CancelFlagAlreadySetClosesTheFirstListing) {
  fake_.AddFile("C:\\Data\\A\\f.tmp");
  fake_.AddFile("C:\\Data\\b.tmp");
  std::atomic<bool> cancel{true};
  FindSpec spec = Spec("C:\\Data", "*", true, true);
  spec.pbCancel = &cancel;
  EXPECT_EQ(Run(spec), Results{});
  EXPECT_EQ(Listed(), (Results{"C:\\Data\\*"}));
  EXPECT_EQ(CallsNamed("FindClose"), 1u);
  EXPECT_EQ(fake_.Calls().back().call, "FindClose");

  cancel = false;
  EXPECT_EQ(Run(spec), (Results{"C:\\Data\\A|f.tmp", "C:\\Data|A", "C:\\Data|b.tmp"}));
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

TEST(FileFinderCancel, FlagSetInsideASubfolderEndsEveryLevel) {
  std::atomic<bool> cancel{false};
  CancellingFake fake("C:\\Data\\A\\*", cancel);
  fake.AddFile("C:\\Data\\A\\f.tmp");
  fake.AddFile("C:\\Data\\A\\g.tmp");
  fake.AddFile("C:\\Data\\b.tmp");
  fake.AddFolder("C:\\Data\\C");
  FindSpec spec = Spec("C:\\Data", "*", true, true);
  spec.pbCancel = &cancel;
  CFileFinder finder(fake, spec);
  finder.Find();
  // A's walk stops at its first entry; the top level still returns A, then
  // stops at its own next entry.
  EXPECT_EQ(Found(finder), (Results{"C:\\Data|A"}));
  EXPECT_EQ(fake.OpenFindHandles(), 0u);
}

struct JoinCase {
  const char* folder;
  const char* name;
  const char* joined;
};

class JoinPathTable : public testing::TestWithParam<JoinCase> {};

TEST_P(JoinPathTable, JoinsWithOneBackslash) {
  const JoinCase& c = GetParam();
  EXPECT_EQ(JoinPath(c.folder, c.name), c.joined);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JoinPathTable,
    testing::Values(JoinCase{"C:\\Windows", "*", "C:\\Windows\\*"},
                    JoinCase{"C:\\Windows", "a.tmp", "C:\\Windows\\a.tmp"},
                    JoinCase{"C:\\", "a.tmp", "C:\\a.tmp"},
                    JoinCase{"C:\\Temp\\", "x", "C:\\Temp\\x"}, JoinCase{"", "a.tmp", "a.tmp"},
                    JoinCase{"C:\\Windows", "", "C:\\Windows"},
                    JoinCase{"C:\\Temp\\", "", "C:\\Temp\\"}, JoinCase{"", "", ""},
                    JoinCase{"C:/Temp/", "x", "C:/Temp/\\x"}, JoinCase{"a\\\\", "b", "a\\\\b"}));

}  // namespace
