// A machine the contract suite arranges behind the Platform's back: an empty
// scratch folder (no trailing backslash) and an empty key below HKLM, in which
// files, holds, renames and the current folder are set up the same way on the
// in-memory machine and on real Windows. Paths are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/platform.h"

class TestMachine {
 public:
  TestMachine(std::string folder, std::string key, bool onWine)
      : scratch(std::move(folder)), scratchKey(std::move(key)), wine(onWine) {}
  virtual ~TestMachine() = default;
  TestMachine(const TestMachine&) = delete;
  TestMachine& operator=(const TestMachine&) = delete;

  virtual Platform& platform() = 0;
  virtual void MakeFolder(const std::string& path) = 0;
  virtual void MakeFile(const std::string& path, std::uint64_t size, DWORD attributes) = 0;
  // Held open, as by another program, without delete sharing, to the end.
  virtual void Hold(const std::string& path) = 0;
  virtual void MakeHardLink(const std::string& path, const std::string& existing) = 0;
  // As another program would; false when it cannot.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  // A directory symbolic link to `target`; false where none can be made
  // (under Wine, or on Windows without the right to make one).
  virtual bool MakeFolderLink(const std::string& path, const std::string& target) = 0;

  const std::string scratch, scratchKey;
  const bool wine;  // where Wine answers otherwise than Windows, the suite names it
};
