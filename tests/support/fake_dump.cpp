// The fake machine as readable text, for test failure messages.
#include <cstdio>
#include <sstream>

#include "support/fake_state.h"

namespace {

std::string AttributeLetters(DWORD bits) {
  static const struct {
    DWORD bit;
    char letter;
  } kLetters[] = {{FILE_ATTRIBUTE_READONLY, 'R'},  {FILE_ATTRIBUTE_HIDDEN, 'H'},
                  {FILE_ATTRIBUTE_SYSTEM, 'S'},    {FILE_ATTRIBUTE_ARCHIVE, 'A'},
                  {FILE_ATTRIBUTE_TEMPORARY, 'T'}, {FILE_ATTRIBUTE_REPARSE_POINT, 'L'}};
  std::string letters;
  for (const auto& entry : kLetters) {
    if ((bits & entry.bit) != 0) letters += entry.letter;
  }
  return letters;
}

void DumpNode(const fake::Node& node, int depth, std::ostringstream& out) {
  out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << node.name;
  if (node.folder) out << '\\';
  const std::string letters = AttributeLetters(node.Reported());
  if (!node.folder) out << "  " << node.size << " bytes";
  if (!letters.empty()) out << "  [" << letters << ']';
  if (node.link) out << "  -> " << fake::JoinParts("C", node.linkTarget);
  if (node.inUse) out << "  (in use)";
  out << '\n';
  for (const auto& child : node.children) DumpNode(*child, depth + 1, out);
}

std::string ValueText(const FakePlatform::RegValue& value) {
  std::ostringstream out;
  if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ) && !value.data.empty() &&
      value.data.back() == 0) {
    out << "REG_SZ \"" << std::string(value.data.begin(), value.data.end() - 1) << '"';
  } else if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD number = 0;
    for (std::size_t i = 0; i < 4; ++i) number |= static_cast<DWORD>(value.data[i]) << (8 * i);
    out << "REG_DWORD " << number;
  } else {
    out << "type " << value.type << " bytes";
    for (BYTE byte : value.data) {
      char hex[4];
      std::snprintf(hex, sizeof(hex), " %02x", byte);
      out << hex;
    }
  }
  return out.str();
}

void DumpKey(const fake::RegKey& key, int depth, std::ostringstream& out) {
  const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  out << indent << key.name << '\n';
  for (const auto& value : key.values) {
    out << indent << "  = " << (value.first.empty() ? "(default)" : value.first) << ": "
        << ValueText(value.second) << '\n';
  }
  for (const auto& subkey : key.subkeys) DumpKey(*subkey, depth + 1, out);
}

}  // namespace

std::string FakePlatform::Dump() const {
  std::ostringstream out;
  out << "C:\\\n";
  for (const auto& child : state_->root->children) DumpNode(*child, 1, out);
  out << "current folder: " << fake::JoinParts("C", state_->currentParts) << '\n';
  DumpKey(*state_->localMachine, 0, out);
  DumpKey(*state_->currentUser, 0, out);
  out << "open find handles: " << state_->listings.size()
      << ", open registry keys: " << state_->keys.size() << '\n';
  return out.str();
}
