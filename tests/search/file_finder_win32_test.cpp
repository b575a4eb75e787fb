// The finder over real listings, in a scratch folder under the temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "platform/win32_platform.h"
#include "support/win32_test_machine.h"
#include "search/file_finder.h"

namespace {

class FileFinderWin32Test : public testing::Test {
 protected:
  // scratch: A\B\g.tmp, A\f.txt, $NtUninstallKB123$, a.a, b.tmpx, h.tmp, SETUP.TMP, x.tmp\ .
  void SetUp() override {
    const std::string& s = machine_.Scratch();
    machine_.MakeFolder(s + "\\A");
    machine_.MakeFolder(s + "\\A\\B");
    machine_.MakeFile(s + "\\A\\B\\g.tmp", 0, FILE_ATTRIBUTE_NORMAL);
    machine_.MakeFile(s + "\\A\\f.txt", 0, FILE_ATTRIBUTE_NORMAL);
    machine_.MakeFolder(s + "\\$NtUninstallKB123$");
    machine_.MakeFile(s + "\\a.a", 0, FILE_ATTRIBUTE_NORMAL);
    machine_.MakeFile(s + "\\b.tmpx", 0, FILE_ATTRIBUTE_NORMAL);
    machine_.MakeFile(s + "\\h.tmp", 1234, FILE_ATTRIBUTE_HIDDEN);
    machine_.MakeFile(s + "\\SETUP.TMP", 0, FILE_ATTRIBUTE_NORMAL);
    machine_.MakeFolder(s + "\\x.tmp");
  }

  FindSpec Spec(const std::string& include, bool recursive, bool returnFolders) const {
    FindSpec spec;
    spec.bRecursive = recursive;
    spec.bReturnFolders = returnFolders;
    spec.strFolder = machine_.Scratch();
    spec.strIncludeFiles = include;
    return spec;
  }

  // Each result as its folder (relative to the scratch folder) and name.
  std::vector<std::string> Run(const FindSpec& spec) {
    CFileFinder finder(platform_, spec);
    finder.Find();
    std::vector<std::string> found;
    for (const FoundFile& result : finder.Results()) {
      found.push_back(result.strFolder.substr(machine_.Scratch().size()) + "|" +
                      result.findData.cFileName);
    }
    return found;
  }

  static std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
  }

  Win32TestMachine machine_;
  Win32Platform platform_;
};

using Results = std::vector<std::string>;

TEST_F(FileFinderWin32Test, WalksTheTreeDepthFirstWithFoldersAfterTheirChildren) {
  const Results found = Run(Spec("*", true, true));
  EXPECT_EQ(Sorted(found), (Results{"\\A\\B|g.tmp", "\\A|B", "\\A|f.txt", "|$NtUninstallKB123$",
                                    "|A", "|SETUP.TMP", "|a.a", "|b.tmpx", "|h.tmp", "|x.tmp"}));
  auto at = [&found](const std::string& entry) {
    return std::find(found.begin(), found.end(), entry) - found.begin();
  };
  EXPECT_LT(at("\\A\\B|g.tmp"), at("\\A|B"));
  EXPECT_LT(at("\\A|B"), at("|A"));
  EXPECT_LT(at("\\A|f.txt"), at("|A"));
}

TEST_F(FileFinderWin32Test, TemporaryFilesSearchTestsNamesCaseSensitively) {
  CFileFinder finder(platform_, Spec("*.tmp", false, false));
  finder.Find();
  ASSERT_EQ(finder.Results().size(), 1u);
  const FoundFile& found = finder.Results()[0];
  EXPECT_STREQ(found.findData.cFileName, "h.tmp");
  EXPECT_EQ(found.strFolder, machine_.Scratch());
  EXPECT_EQ(found.findData.nFileSizeLow, 1234u);
  EXPECT_NE(found.findData.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN, 0u);
}

TEST_F(FileFinderWin32Test, HotfixSearchReturnsEveryFolderAndTheOneFile) {
  EXPECT_EQ(Sorted(Run(Spec("a.a", false, true))),
            (Results{"|$NtUninstallKB123$", "|A", "|a.a", "|x.tmp"}));
}

TEST_F(FileFinderWin32Test, TrailingBackslashIsKeptInTheResults) {
  FindSpec spec = Spec("*.txt", true, false);
  spec.strFolder += "\\";
  EXPECT_EQ(Run(spec), (Results{"\\A|f.txt"}));
}

TEST_F(FileFinderWin32Test, MissingFolderOrSetCancelFlagGivesNothing) {
  FindSpec missing = Spec("*", true, true);
  missing.strFolder += "\\missing\\deeper";
  EXPECT_EQ(Run(missing), Results{});

  std::atomic<bool> cancel{true};
  FindSpec cancelled = Spec("*", true, true);
  cancelled.pbCancel = &cancel;
  EXPECT_EQ(Run(cancelled), Results{});
}

}  // namespace
