// Reads the program's own command line: the program path as its first token
// and the optional integer that forces a run on a day that has seen one.
#pragma once

#include <string>

struct CommandLine {
  std::string program;  // the first token, its double quotes removed
  int force = 0;        // the integer after it, 0 when there is none
};

// The first token runs to the first white space outside double quotes (the
// quotes toggle and are dropped), as Windows splits a program's path off its
// command line. After it, white space is skipped and a decimal integer with
// an optional sign is read as "%d" would: "12abc" gives 12, "abc" gives 0.
// Values beyond the range of int saturate rather than wrap, so a long run of
// digits never reads as 0. A null text is an empty command line.
CommandLine ParseCommandLine(const char* text);
