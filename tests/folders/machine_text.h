// An in-memory machine written as text, so that one row of a table can hold
// one: entries separated by blanks, each a path below C:\ and what it is.
//   Windows\a.tmp=5g+rh   a file of 5 GiB (k, m, g: KiB, MiB, GiB), read-only
//                         and hidden; +s system, +u held open by another process,
//                         +o an oplock held on it whose break is never acknowledged;
//                         +d30 created and last written 30 days ago (+d-1: in a
//                         day), +c30 created, +w30 last written (files and folders)
//   T\sub\                a folder (with flags as a file's)
//   T\j>Outside           a folder link to C:\Outside; T\l@Outside\f a file
//                         link (+r sets the link's own read-only bit);
//                         T\h&Outside\f another name for the file Outside\f;
//                         T\x^X~1 gives T\x the short name X~1
//   T!NtOpenFile=5        such calls naming T or below fail with error 5
// In paths, %T stands for the temporary folder below C:\, %G for a GUID-shaped
// name and %250d for 250 d's.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "support/fake_platform.h"

inline std::string Expand(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
    } else if (text[++i] == 'T') {
      out += "Users\\Admin\\AppData\\Local\\Temp";
    } else if (text[i] == 'G') {
      out += "{6F1A0C2B-9D3E-4A7B-8C5D-1E2F3A4B5C6D}";
    } else {
      char* end = nullptr;
      const std::size_t count = std::strtoul(text.c_str() + i, &end, 10);
      i = static_cast<std::size_t>(end - text.c_str());
      out.append(count, text[i]);
    }
  }
  return out;
}

inline void Build(FakePlatform& f, const std::string& text) {
  std::istringstream tokens(Expand(text));
  for (std::string token; tokens >> token;) {
    const std::size_t cut = token.find_first_of("=+>@!&^");
    std::string path = "C:\\" + token.substr(0, cut);
    const std::string rest = cut == std::string::npos ? "" : token.substr(cut);
    const std::string flags =
        rest.find('+') == std::string::npos ? "" : rest.substr(rest.find('+'));
    const std::string value = rest.empty() ? "" : rest.substr(1, rest.find('+') - 1);
    auto has = [&](char flag) { return flags.find(flag) != std::string::npos; };
    const DWORD attributes = (has('r') ? FILE_ATTRIBUTE_READONLY : 0) |
                             (has('h') ? FILE_ATTRIBUTE_HIDDEN : 0) |
                             (has('s') ? FILE_ATTRIBUTE_SYSTEM : 0);
    if (!rest.empty() && rest[0] == '!') {
      const std::size_t at = value.find('=');
      const auto error = static_cast<DWORD>(std::stoul(value.substr(at + 1)));
      f.FailCall(value.substr(0, at), error, path == "C:\\" ? "" : path);
    } else if (!rest.empty() && rest[0] == '^') {
      f.SetShortName(path, value);
    } else if (!rest.empty() && rest[0] == '&') {
      f.AddHardLink(path, "C:\\" + value);
    } else if (!rest.empty() && (rest[0] == '>' || rest[0] == '@')) {
      f.AddLink(path, "C:\\" + value, rest[0] == '>');
      if (has('r')) f.SetAttributes(path, FILE_ATTRIBUTE_READONLY);
    } else if (path.back() == '\\') {
      path.pop_back();
      f.AddFolder(path, FILE_ATTRIBUTE_DIRECTORY | attributes);
    } else {
      char* unit = nullptr;
      const std::uint64_t size = std::strtoull(value.c_str(), &unit, 10);
      const std::size_t power = std::string("kmg").find(*unit) + 1;  // 0 when there is none
      f.AddFile(path, size << (10 * power), attributes == 0 ? FILE_ATTRIBUTE_ARCHIVE : attributes);
    }
    // Days before the machine's now, after a time flag; the machine's now when absent.
    const auto ago = [&](char flag, char both) {
      std::size_t at = flags.find(flag);
      if (at == std::string::npos) at = flags.find(both);
      const long days =
          at == std::string::npos ? 0 : std::strtol(flags.c_str() + at + 1, nullptr, 10);
      return f.Now() - days * FakePlatform::kTicksPerDay;
    };
    if (flags.find_first_of("dcw") != std::string::npos)
      f.SetTimes(path, ago('c', 'd'), ago('w', 'd'));
    if (has('u')) f.SetInUse(path);
    if (has('o')) f.SetOplocked(path);
  }
  f.ClearLog();
}
