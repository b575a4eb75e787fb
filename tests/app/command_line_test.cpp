#include "app/command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

namespace {

struct Case {
  const char* text;
  const char* program;
  int force;
};

void PrintTo(const Case& c, std::ostream* os) { *os << '[' << c.text << ']'; }

class ParseCommandLineTest : public testing::TestWithParam<Case> {};

TEST_P(ParseCommandLineTest, SplitsProgramAndForce) {
  const Case& c = GetParam();
  const CommandLine parsed = ParseCommandLine(c.text);
  EXPECT_EQ(parsed.program, c.program);
  EXPECT_EQ(parsed.force, c.force);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseCommandLineTest,
    testing::Values(
        Case{"C:\\Tools\\sweepwell.exe", "C:\\Tools\\sweepwell.exe", 0},
        Case{"C:\\Tools\\sweepwell.exe 1", "C:\\Tools\\sweepwell.exe", 1},
        Case{"C:\\Tools\\sweepwell.exe\t7", "C:\\Tools\\sweepwell.exe", 7},
        Case{"  \tC:\\x.exe   -3", "C:\\x.exe", -3},
        Case{"x.exe +5", "x.exe", 5}, Case{"x.exe 12abc", "x.exe", 12},
        Case{"x.exe abc", "x.exe", 0}, Case{"x.exe abc 1", "x.exe", 0},
        Case{"x.exe 0", "x.exe", 0}, Case{"x.exe -0", "x.exe", 0}, Case{"x.exe -", "x.exe", 0},
        Case{"x.exe 0x10", "x.exe", 0}, Case{"x.exe ", "x.exe", 0}, Case{"", "", 0},
        Case{"   ", "", 0},
        // Huge numbers saturate: a wrap could turn a forcing argument into 0.
        Case{"x.exe 4294967296", "x.exe", INT_MAX}, Case{"x.exe 99999999999999999999", "x.exe", INT_MAX},
        Case{"x.exe -99999999999999999999", "x.exe", INT_MIN},
        // Quoted paths keep their blanks; what follows the closing quote is the argument.
        Case{"\"C:\\Program Files\\Sweepwell\\sweepwell.exe\" 1",
             "C:\\Program Files\\Sweepwell\\sweepwell.exe", 1},
        Case{"\"C:\\Tools 2\\sweepwell.exe\"", "C:\\Tools 2\\sweepwell.exe", 0},
        Case{"\"C:\\Tools 2\\sweepwell.exe\" 0", "C:\\Tools 2\\sweepwell.exe", 0},
        Case{"\"C:\\a b\\x.exe\"\t-4", "C:\\a b\\x.exe", -4},
        Case{"\"unterminated path 5", "unterminated path 5", 0},
        // Unquoted, the path ends at its first blank and its next piece is read.
        Case{"C:\\Tools 2\\sweepwell.exe", "C:\\Tools", 2},
        Case{"C:\\Program Files\\x.exe 1", "C:\\Program", 0}));

TEST(ParseCommandLine, NullIsAnEmptyCommandLine) {
  const CommandLine parsed = ParseCommandLine(nullptr);
  EXPECT_EQ(parsed.program, "");
  EXPECT_EQ(parsed.force, 0);
}

TEST(ParseCommandLine, LongPathsKeepTheirArgument) {
  for (std::size_t length : {49u, 50u, 51u, 199u, 200u, 201u, 1000u, 5000u}) {
    const std::string path = "C:\\" + std::string(length - 3, 'p');
    ASSERT_EQ(path.size(), length);
    for (const std::string& program : {path, "\"" + path + "\""}) {
      SCOPED_TRACE(program.substr(0, 12) + "... of length " + std::to_string(program.size()));
      const CommandLine forced = ParseCommandLine((program + " 1").c_str());
      EXPECT_EQ(forced.program, path);
      EXPECT_EQ(forced.force, 1);
      EXPECT_EQ(ParseCommandLine(program.c_str()).force, 0);
    }
  }
}

}  // namespace
