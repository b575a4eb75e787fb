#include "app/command_line.h"

#include <climits>

namespace {

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads "%d" at p; returns 0 when no integer starts there.
int ReadInteger(const char* p) {
  while (IsWhiteSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  if (!IsDigit(*p)) return 0;
  long long value = 0;
  constexpr long long kCap = static_cast<long long>(INT_MAX) + 1;
  for (; IsDigit(*p); ++p) {
    if (value < kCap) value = value * 10 + (*p - '0');
  }
  if (value > kCap) value = kCap;
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(value < kCap ? value : INT_MAX);
}

}  // namespace

CommandLine ParseCommandLine(const char* text) {
  CommandLine result;
  if (text == nullptr) return result;
  const char* p = text;
  while (IsWhiteSpace(*p)) ++p;
  bool quoted = false;
  for (; *p != '\0' && (quoted || !IsWhiteSpace(*p)); ++p) {
    if (*p == '"') {
      quoted = !quoted;
    } else {
      result.program += *p;
    }
  }
  result.force = ReadInteger(p);
  return result;
}
