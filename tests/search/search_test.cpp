// The search over the in-memory machine. The wildcard pattern lists: the
// working buffers' limits, and every short list and name against the plainly
// written model (which the fuzz target also holds it to on any bytes). The
// finder: what each set of search options returns, in which order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/scoped_handle.h"
#include "search/file_finder.h"
#include "search/pattern_list.h"
#include "support/fake_platform.h"
#include "support/pattern_model.h"

namespace {

TEST(MatchPatternList, ItemsAndNamesBeyondTheBuffersMatchNothing) {
  const std::size_t fits = kPatternBufferSize - 1;
  EXPECT_TRUE(MatchPatternList(std::string(fits, 'a'), "a*a"));
  EXPECT_FALSE(MatchPatternList(std::string(fits + 1, 'a'), "*"));
  EXPECT_TRUE(MatchPattern(std::string(fits - 1, '*') + "a", "a"));
  EXPECT_FALSE(MatchPattern(std::string(fits, '*') + "a", "a"));
  // The item that does not fit is passed over; the list goes on.
  EXPECT_TRUE(MatchPatternList("a.tmp", "x;" + std::string(5000, '*') + ";*.tmp"));
}

// Every string of `alphabet`'s bytes up to `length` bytes long.
std::vector<std::string> AllStrings(const std::string& alphabet, std::size_t length) {
  std::vector<std::string> all{""};
  for (std::size_t i = 0; all[i].size() < length; ++i) {
    for (char c : alphabet) all.push_back(all[i] + c);
  }
  return all;
}

TEST(MatchPatternList, AgreesWithTheModelOnEveryShortListAndName) {
  // In a name, '*', '?' and ';' are plain bytes; letters keep their case.
  const std::vector<std::string> names = AllStrings("abA?* ;", 3);
  for (const std::string& list : AllStrings("ab*?; ", 5)) {
    std::vector<std::vector<std::string>> items;
    for (const std::string& item : pattern_model::Split(list, ';')) {
      items.push_back(pattern_model::Split(item, '*'));
    }
    for (const std::string& name : names) {
      bool expected = false;
      for (const auto& pieces : items) expected = expected || pattern_model::Matches(pieces, name);
      ASSERT_EQ(MatchPatternList(name, list), expected) << "list " << list << ", name " << name;
      if (list.find(';') == std::string::npos) {
        ASSERT_EQ(MatchPattern(list, name), expected) << "pattern " << list << ", name " << name;
      }
    }
  }
}

// The folder at `path`, opened as itself and held.
HANDLE HoldFolder(Platform& p, const std::string& path) {
  const HANDLE folder = p.CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr);
  return folder == INVALID_HANDLE_VALUE ? nullptr : folder;
}

FindSpec Spec(bool recursive, bool folders, const char* folder, const char* include,
              const char* excludeFiles = "", const char* excludeFolders = "") {
  return {recursive, folders, nullptr, folder, include, excludeFiles, excludeFolders};
}

TEST(FileFinder, FindsTheseInThisOrder) {
  struct Case {
    FindSpec spec;
    const char* results;
    std::size_t failCall = 0;  // the call that fails, counted from 1
  };
  const Case cases[] = {
      // Depth first, each folder after its children, "." and ".." never.
      {Spec(true, true, "C:\\D", "*"), "D\\A|f.txt D\\A\\B|g.txt D\\A|B D|A D|h.tmp D|C.txt D|C"},
      // The folder text kept as given, no second backslash.
      {Spec(true, true, "C:\\D\\A\\", "*"), "D\\A\\|f.txt D\\A\\B|g.txt D\\A\\|B"},
      // Excluded folders are neither returned nor entered; each list asks of its own kind only.
      {Spec(true, true, "C:\\D", "*", "*.txt;C", "A;h.tmp"), "D|h.tmp D|C"},
      // The cleaner's own searches (what they meet in the Windows directory is
      // pinned by the pass's tests): one level, files of the include list only.
      {Spec(false, false, "C:\\D", "*.tmp"), "D|h.tmp"},
      {Spec(true, true, "C:\\Nowhere", "*"), ""},
      // A failing FindNextFileA ends the folder; what came before stays.
      {Spec(false, true, "C:\\D", "*"), "D|A", 4},
      // A subfolder that cannot be listed is still returned.
      {Spec(true, true, "C:\\D", "*"), "D|A D|h.tmp D|C.txt D|C", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.results);
    // C:\D lists A (".", "..", f.txt, B\g.txt), h.tmp,
    // C.txt and C (empty).
    // Listed by path, and (but for the failures, which fall on other calls)
    // through a handle held on the folder, which finds the same.
    for (const bool held : {false, true}) {
      if (held && c.failCall != 0) continue;
      FakePlatform fake;
      for (const char* f : {"A\\f.txt", "A\\B\\g.txt", "h.tmp", "C.txt"})
        fake.AddFile("C:\\D\\" + std::string(f));
      fake.AddFolder("C:\\D\\C");
      ScopedFileHandle folder(fake);
      if (held) folder.reset(HoldFolder(fake, c.spec.strFolder));
      fake.ClearLog();
      if (c.failCall != 0) fake.FailNthCall(c.failCall - 1, ERROR_ACCESS_DENIED);
      CFileFinder finder(fake, c.spec, held ? folder.get() : nullptr);
      finder.Find();
      std::string found;  // "<strFolder>|<cFileName>" without "C:\", one blank between
      for (const FoundFile& r : finder.Results()) {
        found += (found.empty() ? "" : " ") + r.strFolder.substr(3) + "|" + r.findData.cFileName;
        // Each result can be opened by its own name.
        const std::string name(r.strName.begin(), r.strName.end());
        EXPECT_EQ(name, held ? std::string(r.findData.cFileName) : "");
      }
      EXPECT_EQ(found, c.results) << (held ? "held" : "by path");
      EXPECT_EQ(fake.OpenHandles(), held && folder ? 1u : 0u);
    }
  }
}

// Through a held folder, the finder goes down to kMaxWalkDepth levels and
// no further, and holds no handle after it.
TEST(FileFinder, HeldSearchesStopAtTheDepthBound) {
  FakePlatform fake;
  std::string folder = "C:\\D";
  for (std::size_t level = 1; level <= kMaxWalkDepth + 3; ++level) {
    folder += "\\d";
    fake.AddFile(folder + "\\f");
  }
  ScopedFileHandle held(fake, HoldFolder(fake, "C:\\D"));
  CFileFinder finder(fake, Spec(true, false, "C:\\D", "f"), held.get());
  finder.Find();
  EXPECT_EQ(finder.Results().size(), kMaxWalkDepth);
  EXPECT_EQ(fake.OpenHandles(), 1u);
}

}  // namespace
