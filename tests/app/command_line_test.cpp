// The command line: the program's path as its first token, then "%d". The
// fuzz target holds the parser to a model of these rules on any text.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(ParseCommandLine, SplitsProgramAndForce) {
  const std::string longPath = "C:\\" + std::string(300, 'p');
  const struct {
    std::string text;
    std::string program;
    int force;
  } cases[] = {
      {" \tC:\\x.exe\t7", "C:\\x.exe", 7},
      {"x.exe -3x", "x.exe", -3},
      {"x.exe 0x10", "x.exe", 0},
      // Beyond int the value saturates: a wrap could turn a forcing argument into 0.
      {"x.exe 4294967296", "x.exe", INT_MAX},
      {"x.exe -2147483648", "x.exe", INT_MIN},
      {"x.exe -99999999999999999999", "x.exe", INT_MIN},
      // A quoted path keeps its blanks; unquoted, the path ends at its first blank.
      {"\"C:\\Program Files\\x.exe\" 1", "C:\\Program Files\\x.exe", 1},
      {"\"unterminated 5", "unterminated 5", 0},
      {"C:\\Tools 2\\x.exe", "C:\\Tools", 2},
      {longPath + " 1", longPath, 1},
  };
  for (const auto& c : cases) {
    const CommandLine parsed = ParseCommandLine(c.text.c_str());
    EXPECT_EQ(parsed.program, c.program) << c.text;
    EXPECT_EQ(parsed.force, c.force) << c.text;
  }
  EXPECT_EQ(ParseCommandLine(nullptr).program, "");
}

}  // namespace
