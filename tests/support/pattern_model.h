// An independent, plainly written model of the wildcard pattern-list rules,
// against which the matcher is checked by its tests and its fuzz target.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pattern_model {

// The rules restated plainly: cut the pattern at every '*'; the first piece
// must sit at the start of the name, the last at its end, every piece between
// somewhere; without a '*' the one piece must cover the whole name.
inline bool PieceAt(const std::string& piece, const std::string& name, std::size_t at) {
  if (at + piece.size() > name.size()) return false;
  for (std::size_t k = 0; k < piece.size(); ++k) {
    if (piece[k] != '?' && piece[k] != name[at + k]) return false;
  }
  return true;
}

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

// One item as its pieces; an empty item has none and matches nothing.
inline std::vector<std::string> ModelPieces(const std::string& item) {
  return item.empty() ? std::vector<std::string>() : Split(item, '*');
}

inline bool ModelPattern(const std::vector<std::string>& pieces, const std::string& name) {
  if (pieces.empty() || name.empty()) return false;
  const std::string &first = pieces.front(), &last = pieces.back();
  if (pieces.size() == 1) return first.size() == name.size() && PieceAt(first, name, 0);
  bool all = PieceAt(first, name, 0) && last.size() <= name.size() &&
             PieceAt(last, name, name.size() - last.size());
  for (std::size_t i = 1; all && i + 1 < pieces.size(); ++i) {
    bool found = false;
    for (std::size_t at = 0; at + pieces[i].size() <= name.size(); ++at) {
      found = found || PieceAt(pieces[i], name, at);
    }
    all = found;
  }
  return all;
}

// A list as the model sees it, cut up once so that testing many names is cheap.
class ModelList {
 public:
  explicit ModelList(const std::string& list) {
    for (const std::string& item : Split(list, ';')) items_.push_back(ModelPieces(item));
  }
  bool Matches(const std::string& name) const {
    for (const auto& pieces : items_) {
      if (ModelPattern(pieces, name)) return true;
    }
    return false;
  }

 private:
  std::vector<std::vector<std::string>> items_;
};

}  // namespace pattern_model
