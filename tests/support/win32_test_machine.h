// A scratch corner of a real Windows machine for tests of the Win32 calls: a
// folder under the temporary folder and a key under
// HKEY_LOCAL_MACHINE\SOFTWARE, both removed with the machine, and the means to
// arrange files and held handles in them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32_types.h"

class Win32TestMachine {
 public:
  // Throws std::runtime_error when the scratch folder or key cannot be made.
  Win32TestMachine();
  ~Win32TestMachine();
  Win32TestMachine(const Win32TestMachine&) = delete;
  Win32TestMachine& operator=(const Win32TestMachine&) = delete;

  const std::string& Scratch() const { return scratch_; }
  const std::string& ScratchKey() const { return scratchKey_; }

  // These throw std::runtime_error, naming the Win32 error, when they fail.
  void MakeFolder(const std::string& path);
  void MakeFile(const std::string& path, std::uint64_t size, DWORD attributes);
  void Hold(const std::string& path);  // opened without delete sharing
  void ReleaseHolds();
  void SetCurrentFolder(const std::string& path);  // left for the temporary folder at the end

  static bool IsWine();

 private:
  std::string scratch_;
  std::string scratchKey_;
  std::vector<HANDLE> holds_;
};
