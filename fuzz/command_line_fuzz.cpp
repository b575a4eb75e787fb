// Fuzz target: the command-line parser must not fail on any text and must
// give the same program token and `force` as a small model of its rules.

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/command_line.h"

namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The first token ends at the first white space preceded by an even number of
// double quotes; the quotes themselves are not part of the program path. The
// rest is read as "%d" would read it, values beyond int held at its ends.
CommandLine Model(const std::string& line) {
  std::size_t start = 0;
  while (start < line.size() && IsSpace(line[start])) ++start;
  std::size_t end = start;
  std::size_t quotes = 0;
  while (end < line.size() && !(quotes % 2 == 0 && IsSpace(line[end]))) {
    if (line[end] == '"') ++quotes;
    ++end;
  }
  CommandLine expected;
  expected.program = line.substr(start, end - start);
  expected.program.erase(std::remove(expected.program.begin(), expected.program.end(), '"'),
                         expected.program.end());
  // strtoll holds its own overflow at the ends of long long, far beyond int.
  const long long value = std::strtoll(line.c_str() + end, nullptr, 10);
  expected.force = static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
  return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The command line is a C string: it ends at its first zero byte.
  const std::string line(std::string(reinterpret_cast<const char*>(data), size).c_str());
  const CommandLine parsed = ParseCommandLine(line.c_str());
  const CommandLine expected = Model(line);
  if (parsed.program != expected.program || parsed.force != expected.force) {
    std::fprintf(stderr,
                 "ParseCommandLine disagrees with the model on \"%s\"\n"
                 "  parsed:   program \"%s\", force %d\n  expected: program \"%s\", force %d\n",
                 line.c_str(), parsed.program.c_str(), parsed.force, expected.program.c_str(),
                 expected.force);
    std::abort();
  }
  return 0;
}
