// Fuzz target: the hotfix key name derived from any folder name must equal a
// simple model: from the first "KB" in any letter case to the end, less the
// last character; empty without "KB", when nothing follows the "KB" in the
// key, or when longer than kMaxHotfixKeyName.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/run_cleanup.h"

namespace {

std::string Model(const std::string& folderName) {
  std::string folded = folderName;
  for (char& c : folded) {
    if (c == 'k') c = 'K';
    if (c == 'b') c = 'B';
  }
  const std::size_t at = folded.find("KB");
  if (at == std::string::npos) return {};
  std::string key = folderName.substr(at);
  key.pop_back();
  return key.size() > 2 && key.size() <= kMaxHotfixKeyName ? key : std::string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string folderName(reinterpret_cast<const char*>(data), size);
  const std::string key = HotfixKeyName(folderName);
  const std::string expected = Model(folderName);
  if (key != expected) {
    std::fprintf(stderr,
                 "HotfixKeyName disagrees with the model on \"%s\" (%zu bytes)\n"
                 "  derived \"%s\", expected \"%s\"\n",
                 folderName.c_str(), folderName.size(), key.c_str(), expected.c_str());
    std::abort();
  }
  return 0;
}
