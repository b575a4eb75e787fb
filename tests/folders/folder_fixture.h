// Shared ground for the folder tests: a fresh fake machine per test, its log
// of changing calls as readable lines, and a check that no find handle leaks.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_platform.h"

// "DeleteFileA C:\T\a.txt", with " fails <error>" when the call failed.
inline std::string DescribeCall(const FakePlatform::CallRecord& record) {
  std::string line = record.call + " " + record.target;
  if (!record.succeeded) line += " fails " + std::to_string(record.error);
  return line;
}

inline std::vector<std::string> ChangeLines(const FakePlatform& fake) {
  std::vector<std::string> lines;
  for (const FakePlatform::CallRecord& record : fake.Changes()) {
    lines.push_back(DescribeCall(record));
  }
  return lines;
}

// The targets of every logged call named `call`, in order.
inline std::vector<std::string> TargetsOf(const FakePlatform& fake, const std::string& call) {
  std::vector<std::string> targets;
  for (const FakePlatform::CallRecord& record : fake.Calls()) {
    if (record.call == call) targets.push_back(record.target);
  }
  return targets;
}

// `path` is `folder` itself or lies below it (ASCII letters compared as Win32 does).
inline bool IsAtOrBelow(std::string path, std::string folder) {
  auto upper = [](std::string text) {
    for (char& c : text) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
  };
  path = upper(std::move(path));
  folder = upper(std::move(folder));
  if (path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || path[folder.size()] == '\\';
}

// A test name for a parameter described in words: its letters and digits.
inline std::string CaseName(const char* what) {
  std::string name;
  for (const char* c = what; *c != '\0'; ++c) {
    if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
  }
  return name;
}

class FolderTest : public ::testing::Test {
 protected:
  static constexpr const char* kTemp = "C:\\Users\\Admin\\AppData\\Local\\Temp";
  static constexpr const char* kTempText = "C:\\Users\\Admin\\AppData\\Local\\Temp\\";

  void TearDown() override { EXPECT_EQ(fake_.OpenFindHandles(), 0u) << fake_.Dump(); }

  static std::string Temp(const std::string& name) { return std::string(kTemp) + "\\" + name; }

  // Every changing call that named `folder` or something below it.
  std::vector<std::string> ChangesAtOrBelow(const std::string& folder) const {
    std::vector<std::string> lines;
    for (const FakePlatform::CallRecord& record : fake_.Changes()) {
      if (IsAtOrBelow(record.target, folder)) lines.push_back(DescribeCall(record));
    }
    return lines;
  }

  // Every listing opened on `folder` or below it.
  std::vector<std::string> ListingsAtOrBelow(const std::string& folder) const {
    std::vector<std::string> listed;
    for (const std::string& target : TargetsOf(fake_, "FindFirstFileA")) {
      if (IsAtOrBelow(target, folder)) listed.push_back(target);
    }
    return listed;
  }

  FakePlatform fake_;
};
