// Fuzz target: the pattern-list matcher agrees with its plainly written model
// on any bytes. The input is the list, a line break and the name; without a
// line break it is both. Items and names that do not fit the working buffers
// match nothing, which the model does not know.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "search/pattern_list.h"
#include "support/pattern_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t lineBreak = input.find('\n');
  const std::string list = input.substr(0, lineBreak);
  const std::string name = lineBreak == std::string::npos ? input : input.substr(lineBreak + 1);
  bool expected = false;
  for (const std::string& item : pattern_model::Split(list, ';')) {
    const bool fits = item.size() < kPatternBufferSize && name.size() < kPatternBufferSize;
    const bool matches = fits && pattern_model::Matches(pattern_model::Split(item, '*'), name);
    if (MatchPattern(item, name) != matches) std::abort();
    expected = expected || matches;
  }
  if (MatchPatternList(name, list) != expected) std::abort();
  return 0;
}
