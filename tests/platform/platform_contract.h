// The Win32 behaviour the cleaner relies on, as one suite run against the
// in-memory machine and, on Windows (or Wine), against the real calls. A
// TestMachine arranges files, holds and links behind the Platform's back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "platform/platform.h"

class TestMachine {
 public:
  virtual ~TestMachine() = default;
  virtual Platform& platform() = 0;
  // An existing, empty folder (no trailing backslash) and key below HKLM.
  virtual std::string Scratch() const = 0;
  virtual std::string ScratchKey() const = 0;
  virtual void MakeFolder(const std::string& path) = 0;
  virtual void MakeFile(const std::string& path, std::uint64_t size, DWORD attributes) = 0;
  // Held open, as by another program, without delete sharing, until released.
  virtual void Hold(const std::string& path) = 0;
  virtual void ReleaseHolds() = 0;
  virtual void SetCurrentFolder(const std::string& path) = 0;
  // False where links cannot be made: Wine's CreateSymbolicLinkA is a stub.
  virtual bool MakeLink(const std::string& path, const std::string& target, bool folder) = 0;
  // Where Wine answers otherwise than Windows, the suite names the difference.
  virtual bool IsWine() const = 0;
};

struct MachineKind {
  std::string name;
  std::function<std::unique_ptr<TestMachine>()> make;
};
inline void PrintTo(const MachineKind& kind, std::ostream* out) { *out << kind.name; }
inline std::string MachineName(const ::testing::TestParamInfo<MachineKind>& info) {
  return info.param.name;
}

// Every case starts on the same scratch folder: see SetUp.
class PlatformContract : public ::testing::TestWithParam<MachineKind> {
 protected:
  void SetUp() override;
  Platform& P() { return machine_->platform(); }
  std::string At(const std::string& relative) const {
    return machine_->Scratch() + "\\" + relative;
  }
  bool IsWine() const { return machine_->IsWine(); }

  std::unique_ptr<TestMachine> machine_;
};
