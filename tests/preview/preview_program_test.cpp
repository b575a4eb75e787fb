#include "preview/preview_program.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/fake_platform.h"
#include "preview/preview_format.h"
#include "sample_machine.h"

namespace {

class PreviewProgramTest : public testing::Test {
 protected:
  PreviewProgramTest() { sample::Build(fake_); }

  int Run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    fake_.ClearLog();
    return RunPreview(fake_, args, out_, err_);
  }

  FakePlatform fake_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(PreviewProgramTest, RefusedArgumentsExitWithTwoBeforeReadingAnything) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--bogus"}, "sweepwell-preview: unknown option '--bogus'\n"},
      {{"--csv", "-x"}, "sweepwell-preview: unknown option '-x'\n"},
      {{"--CSV"}, "sweepwell-preview: unknown option '--CSV'\n"},
      {{"1"}, "sweepwell-preview: unexpected argument '1'\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    EXPECT_EQ(Run(c.args), kPreviewBadUsage);
    EXPECT_EQ(err_.str().rfind(c.message, 0), 0u) << err_.str();
    EXPECT_NE(err_.str().find("Usage: sweepwell-preview [--csv]"), std::string::npos);
    EXPECT_EQ(out_.str(), "");
    EXPECT_TRUE(fake_.Calls().empty());
  }
}

TEST_F(PreviewProgramTest, HelpPrintsTheUsageOnly) {
  for (const char* help : {"--help", "-h", "/?"}) {
    EXPECT_EQ(Run({help}), kPreviewOk);
    EXPECT_EQ(out_.str().rfind("Usage: sweepwell-preview [--csv]\n", 0), 0u);
    EXPECT_EQ(err_.str(), "");
    EXPECT_TRUE(fake_.Calls().empty());
  }
}

TEST_F(PreviewProgramTest, PrintsTextOrCsvAndChangesNothing) {
  EXPECT_EQ(Run({}), kPreviewOk);
  EXPECT_EQ(out_.str().rfind("Sweepwell preview: ", 0), 0u) << out_.str();
  EXPECT_EQ(err_.str(), "");
  EXPECT_TRUE(fake_.Changes().empty()) << fake_.Dump();
  EXPECT_EQ(fake_.ErrorMode() & (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX),
            SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

  EXPECT_EQ(Run({"--csv"}), kPreviewOk);
  EXPECT_EQ(out_.str().rfind(std::string(kPreviewCsvHeader) + "\n", 0), 0u) << out_.str();
  EXPECT_TRUE(fake_.Changes().empty()) << fake_.Dump();
}

}  // namespace
