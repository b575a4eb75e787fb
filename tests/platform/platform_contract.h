// The behaviour every Platform must show, as one parameterised suite run
// against the in-memory fake and, on Windows, against the real Win32 calls.
// A TestMachine arranges the files, holds and registry values the cases need
// behind the Platform's back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"

class TestMachine {
 public:
  virtual ~TestMachine() = default;

  virtual Platform& platform() = 0;
  // An existing, empty folder for the case, without a trailing backslash.
  virtual std::string Scratch() const = 0;
  // An existing, empty key below HKEY_LOCAL_MACHINE for the case.
  virtual std::string ScratchKey() const = 0;

  virtual void MakeFolder(const std::string& path) = 0;
  virtual void MakeFile(const std::string& path, std::uint64_t size, DWORD attributes) = 0;
  // Held open, as by another program, without delete sharing, until released.
  virtual void Hold(const std::string& path) = 0;
  virtual void ReleaseHolds() = 0;
  virtual void SetCurrentFolder(const std::string& path) = 0;
  virtual void SetRegValue(const std::string& key, const std::string& name, DWORD type,
                           const std::vector<BYTE>& data) = 0;

  // Windows keeps the read-only bit of a folder; Wine does not store it.
  virtual bool StoresReadOnlyFolders() const = 0;
};

struct MachineKind {
  std::string name;
  std::function<std::unique_ptr<TestMachine>()> make;
};

inline void PrintTo(const MachineKind& kind, std::ostream* out) { *out << kind.name; }

class PlatformContract : public ::testing::TestWithParam<MachineKind> {
 protected:
  void SetUp() override;

  Platform& P() { return machine_->platform(); }
  // A path inside the scratch folder.
  std::string At(const std::string& relative) const;
  DWORD LastError() { return P().GetLastError(); }
  // The names a pattern lists, sorted, or {"error N"} when it lists nothing.
  std::vector<std::string> SortedListing(const std::string& pattern);

  std::unique_ptr<TestMachine> machine_;
};
