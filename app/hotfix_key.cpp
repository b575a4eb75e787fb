#include "app/hotfix_key.h"

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

// Only the letters A to Z fold; other bytes compare exactly.
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string HotfixKeyName(const std::string& folderName) {
  for (std::size_t i = 0; i + 1 < folderName.size(); ++i) {
    if (UpperAscii(folderName[i]) == 'K' && UpperAscii(folderName[i + 1]) == 'B') {
      const std::size_t length = folderName.size() - i - 1;
      if (length <= 2 || length > kMaxHotfixKeyName) return {};
      return folderName.substr(i, length);
    }
  }
  return {};
}
