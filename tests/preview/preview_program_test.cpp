#include "preview/preview_program.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "preview/preview_format.h"
#include "sample_machine.h"

namespace {

TEST(PreviewProgram, AnswersEachCommandLine) {
  const std::string usage = "Usage: sweepwell-preview [--csv | --check]\n";
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string out;  // how the output starts
    std::string err;
  };
  const Case cases[] = {
      {{}, kPreviewOk, "Sweepwell preview: ", ""},
      {{"--csv"}, kPreviewOk, std::string(kPreviewCsvHeader) + "\n", ""},
      {{"--help"}, kPreviewOk, usage, ""},
      {{"-h"}, kPreviewOk, usage, ""},
      {{"/?"}, kPreviewOk, usage, ""},
      {{"--bogus"}, kPreviewBadUsage, "", "sweepwell-preview: unknown option '--bogus'\n" + usage},
      {{"--csv", "-x"}, kPreviewBadUsage, "", "sweepwell-preview: unknown option '-x'\n" + usage},
      {{"--CSV"}, kPreviewBadUsage, "", "sweepwell-preview: unknown option '--CSV'\n" + usage},
      {{"1"}, kPreviewBadUsage, "", "sweepwell-preview: unexpected argument '1'\n" + usage},
      {{"--check", "--csv"},
       kPreviewBadUsage,
       "",
       "sweepwell-preview: --csv and --check exclude each other\n" + usage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "no arguments" : c.args.back());
    FakePlatform fake;
    sample::Build(fake);
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunPreview(fake, c.args, out, err), c.exitCode);
    EXPECT_EQ(out.str().rfind(c.out, 0), 0u) << out.str();
    EXPECT_EQ(err.str().rfind(c.err, 0), 0u) << err.str();
    EXPECT_EQ(c.out.empty(), out.str().empty());
    EXPECT_EQ(c.err.empty(), err.str().empty());
    EXPECT_TRUE(fake.Changes().empty()) << fake.Dump();
    if (c.err.empty() && c.out != usage) {  // a report: system error boxes are silenced
      EXPECT_EQ(fake.ErrorMode(),
                static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
    } else {  // refused or help: nothing is read
      EXPECT_TRUE(fake.Calls().empty());
    }
  }
}

// --check over a temporary folder holding 20 MB, with the threshold set
// around it: the one line and the exit code a detection script reads.
TEST(PreviewProgram, ChecksTheEstimateAgainstTheThreshold) {
  const std::string kSettings = "SOFTWARE\\Brisca\\Sweepwell";
  struct Case {
    const char* what;
    bool keyExists;
    DWORD limitMB;
    int exitCode;
    std::string line;
  };
  const Case cases[] = {
      {"threshold under the estimate", true, 19, kPreviewCheckCleans,
       "Reclaimable 20480 KB, threshold 19456 KB (Limit 19 MB): a forced start would clean.\n"},
      {"threshold equal to it", true, 20, kPreviewCheckCleans,
       "Reclaimable 20480 KB, threshold 20480 KB (Limit 20 MB): a forced start would clean.\n"},
      {"threshold over it", true, 21, kPreviewOk,
       "Reclaimable 20480 KB, threshold 21504 KB (Limit 21 MB): a forced start would delete "
       "nothing.\n"},
      {"a threshold no estimate reaches", true, 4194304, kPreviewOk,
       "Reclaimable 20480 KB, threshold 4294967296 KB (Limit 4194304 MB): a forced start would "
       "delete nothing.\n"},
      {"no settings key: the first start's 20", false, 0, kPreviewCheckCleans,
       "Reclaimable 20480 KB, threshold 20480 KB (Limit 20 MB): a forced start would clean.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    fake.AddFile("C:\\Users\\Admin\\AppData\\Local\\Temp\\setup\\data.cab", 20u << 20);
    if (c.keyExists) fake.SetRegDword(HKEY_LOCAL_MACHINE, kSettings, "Limit", c.limitMB);
    fake.ClearLog();
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunPreview(fake, {"--check"}, out, err), c.exitCode);
    EXPECT_EQ(out.str(), c.line);
    EXPECT_EQ(err.str(), "");
    EXPECT_TRUE(fake.Changes().empty()) << fake.Dump();
  }
}

}  // namespace
