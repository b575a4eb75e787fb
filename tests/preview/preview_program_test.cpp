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
  const std::string usage = "Usage: sweepwell-preview [--csv]\n";
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

}  // namespace
