// Fuzz target: the command-line parser gives the program token and `force`
// of a small model of its rules on any text.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A command line is a C string: it ends at its first zero byte.
  const std::string line(std::string(reinterpret_cast<const char*>(data), size).c_str());
  const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  // The token ends at the first white space after an even number of quotes,
  // which are dropped; the rest is read as "%d", held at the ends of int.
  std::size_t start = 0;
  while (start < line.size() && space(line[start])) ++start;
  std::size_t end = start, quotes = 0;
  while (end < line.size() && (quotes % 2 != 0 || !space(line[end]))) quotes += line[end++] == '"';
  std::string program = line.substr(start, end - start);
  program.erase(std::remove(program.begin(), program.end(), '"'), program.end());
  const long long force =
      std::clamp<long long>(std::strtoll(line.c_str() + end, nullptr, 10), INT_MIN, INT_MAX);
  const CommandLine parsed = ParseCommandLine(line.c_str());
  if (parsed.program != program || parsed.force != force) std::abort();
  return 0;
}
