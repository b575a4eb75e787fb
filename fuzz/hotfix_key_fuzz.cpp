// Fuzz target: the hotfix key name of any folder name is a simple model's: from
// the first "KB" in any letter case to the end, less the last character; empty
// without "KB", for "KB" or "K" alone, or beyond kMaxHotfixKeyName.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/run_cleanup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string folder(reinterpret_cast<const char*>(data), size);
  std::string folded = folder;
  for (char& c : folded) c = c == 'k' ? 'K' : c == 'b' ? 'B' : c;
  const std::size_t at = folded.find("KB");
  std::string key = at == std::string::npos ? "" : folder.substr(at, folder.size() - at - 1);
  if (key.size() <= 2 || key.size() > kMaxHotfixKeyName) key.clear();
  if (HotfixKeyName(folder) != key) std::abort();
  return 0;
}
