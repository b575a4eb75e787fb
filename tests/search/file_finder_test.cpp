// The finder over the in-memory machine: what each specification returns, in
// which order.
#include "search/file_finder.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_platform.h"

namespace {

// C:\D lists A (f.txt, B\g.txt, with "." and ".." among them), h.tmp, C.txt and
// C (empty).
void Build(FakePlatform& fake) {
  for (const char* file : {"A\\f.txt", "A\\B\\g.txt", "h.tmp", "C.txt"}) {
    fake.AddFile(std::string("C:\\D\\") + file);
  }
  fake.AddFolder("C:\\D\\C");
  fake.SetListingOrder("C:\\D\\A", {"f.txt", ".", "B", ".."});
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
    FakePlatform fake;
    Build(fake);
    fake.ClearLog();
    if (c.failCall != 0) fake.FailNthCall(c.failCall - 1, ERROR_ACCESS_DENIED);
    CFileFinder finder(fake, c.spec);
    finder.Find();
    std::string found;  // "<strFolder>|<cFileName>" without "C:\", one blank between
    for (const FoundFile& r : finder.Results()) {
      found += (found.empty() ? "" : " ") + r.strFolder.substr(3) + "|" + r.findData.cFileName;
    }
    EXPECT_EQ(found, c.results);
    EXPECT_EQ(fake.OpenFindHandles(), 0u) << fake.Dump();
  }
}

}  // namespace
