// The platform contract on the in-memory machine.
#include <set>

#include "support/fake_platform.h"
#include "platform_contract.h"

namespace {

class FakeMachine : public TestMachine {
 public:
  FakeMachine() {
    fake_.AddFolder(kScratch);
    fake_.AddRegKey(HKEY_LOCAL_MACHINE, kScratchKey);
  }

  Platform& platform() override { return fake_; }
  std::string Scratch() const override { return kScratch; }
  std::string ScratchKey() const override { return kScratchKey; }

  void MakeFolder(const std::string& path) override { fake_.AddFolder(path); }
  void MakeFile(const std::string& path, std::uint64_t size, DWORD attributes) override {
    fake_.AddFile(path, size, attributes);
  }
  void Hold(const std::string& path) override {
    fake_.SetInUse(path);
    held_.insert(path);
  }
  void ReleaseHolds() override {
    for (const std::string& path : held_) fake_.SetInUse(path, false);
    held_.clear();
  }
  void SetCurrentFolder(const std::string& path) override { fake_.SetCurrentFolder(path); }
  void SetRegValue(const std::string& key, const std::string& name, DWORD type,
                   const std::vector<BYTE>& data) override {
    fake_.SetRegValue(HKEY_LOCAL_MACHINE, key, name, type, data);
  }
  bool StoresReadOnlyFolders() const override { return true; }

 private:
  static constexpr const char* kScratch = "C:\\Scratch";
  static constexpr const char* kScratchKey = "SOFTWARE\\Scratch";
  FakePlatform fake_;
  std::set<std::string> held_;
};

INSTANTIATE_TEST_SUITE_P(
    Fake, PlatformContract,
    ::testing::Values(MachineKind{"Fake", [] { return std::make_unique<FakeMachine>(); }}),
    [](const ::testing::TestParamInfo<MachineKind>& param) { return param.param.name; });

}  // namespace
