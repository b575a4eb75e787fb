// A scratch corner of a real Windows machine for tests of the Win32 calls: a
// folder under the temporary folder and a key under
// HKEY_LOCAL_MACHINE\SOFTWARE, both removed with the machine, and the means to
// arrange files and held handles in them. Its arrangers throw
// std::runtime_error, naming the Win32 error, when they fail; so does the
// constructor when the scratch folder or key cannot be made.
#pragma once

#include <vector>

#include "platform/win32_platform.h"
#include "support/test_machine.h"

class Win32TestMachine : public TestMachine {
 public:
  Win32TestMachine();
  ~Win32TestMachine() override;

  Platform& platform() override { return platform_; }
  void MakeFolder(const std::string& path) override;
  void MakeFile(const std::string& path, std::uint64_t size, DWORD attributes) override;
  void Hold(const std::string& path) override;  // opened without delete sharing
  // Left for the scratch folder's parent at the end.
  void MakeHardLink(const std::string& path, const std::string& existing) override;
  bool Rename(const std::string& from, const std::string& to) override;
  bool MakeFolderLink(const std::string& path, const std::string& target) override;

 private:
  explicit Win32TestMachine(const std::string& folder);  // made already
  Win32Platform platform_;
  std::vector<HANDLE> holds_;
};
