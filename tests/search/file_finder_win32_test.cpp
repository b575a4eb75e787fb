// The finder over real listings, in a scratch folder. Windows's own pattern
// matching would also take short names (b.tmpx for *.tmp): the finder lists
// every entry and tests the names itself.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32_platform.h"
#include "search/file_finder.h"
#include "support/win32_test_machine.h"

namespace {

TEST(FileFinderWin32, WalksRealListings) {
  Win32TestMachine machine;
  Win32Platform platform;
  const std::string& s = machine.Scratch();
  for (const char* folder : {"\\A", "\\A\\B", "\\x.tmp"}) machine.MakeFolder(s + folder);
  for (const char* file : {"\\A\\B\\g.tmp", "\\b.tmpx", "\\SETUP.TMP"}) {
    machine.MakeFile(s + file, 0, FILE_ATTRIBUTE_NORMAL);
  }
  machine.MakeFile(s + "\\h.tmp", 1234, FILE_ATTRIBUTE_HIDDEN);
  CFileFinder finder(platform, {true, true, nullptr, s, "*.tmp", "", ""});
  finder.Find();
  std::string names;
  for (const FoundFile& r : finder.Results()) {
    names += r.strFolder.substr(s.size()) + "|" + r.findData.cFileName + "|" +
             std::to_string(r.findData.nFileSizeLow) + " ";
  }
  // Wine lists in name order; a folder's own record follows what is in it.
  EXPECT_EQ(names, "\\A\\B|g.tmp|0 \\A|B|0 |A|0 |h.tmp|1234 |x.tmp|0 ");
}

}  // namespace
