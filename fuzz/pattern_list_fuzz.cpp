// Fuzz target: the wildcard pattern-list matcher must agree with its plainly
// written model on any bytes. The input is the list, a line break, the name;
// an input without a line break is tested as both list and name.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "search/pattern_list.h"
#include "support/pattern_model.h"

namespace {

// The model knows nothing of the working buffers: an item or a name that
// does not fit them matches nothing.
bool Fits(const std::string& text) { return text.size() < kPatternBufferSize; }

bool ModelItem(const std::string& item, const std::string& name) {
  return Fits(item) && Fits(name) &&
         pattern_model::ModelPattern(pattern_model::ModelPieces(item), name);
}

[[noreturn]] void Disagree(const char* function, const std::string& pattern,
                           const std::string& name, bool expected) {
  std::fprintf(stderr,
               "%s disagrees with the model, which says %s, on\n"
               "  pattern (%zu bytes) \"%s\"\n  name (%zu bytes) \"%s\"\n",
               function, expected ? "match" : "no match", pattern.size(), pattern.c_str(),
               name.size(), name.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t lineBreak = input.find('\n');
  const std::string list = input.substr(0, lineBreak);
  const std::string name = lineBreak == std::string::npos ? input : input.substr(lineBreak + 1);

  bool expected = false;
  for (const std::string& item : pattern_model::Split(list, ';')) {
    const bool itemMatches = ModelItem(item, name);
    if (MatchPattern(item, name) != itemMatches) Disagree("MatchPattern", item, name, itemMatches);
    expected = expected || itemMatches;
  }
  if (MatchPatternList(name, list) != expected) {
    Disagree("MatchPatternList", list, name, expected);
  }
  return 0;
}
