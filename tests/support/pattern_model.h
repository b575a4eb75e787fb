// An independent, plainly written model of the wildcard pattern-list rules,
// against which the matcher is checked by its tests and its fuzz target.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pattern_model {

inline std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == separator) {
      pieces.emplace_back();
    } else {
      pieces.back() += c;
    }
  }
  return pieces;
}

// '?' stands for any one byte, every other byte for itself.
inline bool PieceAt(const std::string& piece, const std::string& name, std::size_t at) {
  if (at + piece.size() > name.size()) return false;
  for (std::size_t k = 0; k < piece.size(); ++k) {
    if (piece[k] != '?' && piece[k] != name[at + k]) return false;
  }
  return true;
}

// The rules restated plainly, on an item cut at every '*' (Split(item, '*')):
// the first piece must sit at the start of the name, the last at its end,
// every piece between somewhere; without a '*' the one piece must cover the
// whole name. An empty item or name matches nothing.
inline bool Matches(const std::vector<std::string>& pieces, const std::string& name) {
  const std::string &first = pieces.front(), &last = pieces.back();
  if (name.empty() || last.size() > name.size()) return false;
  if (pieces.size() == 1) return first.size() == name.size() && PieceAt(first, name, 0);
  bool all = PieceAt(first, name, 0) && PieceAt(last, name, name.size() - last.size());
  for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
    bool found = false;
    for (std::size_t at = 0; at < name.size(); ++at) found = found || PieceAt(pieces[i], name, at);
    all = all && found;
  }
  return all;
}

}  // namespace pattern_model
