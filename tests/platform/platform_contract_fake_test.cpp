// The platform contract on the in-memory machine.
#include "platform_contract.h"
#include "support/fake_platform.h"

namespace {

class FakeMachine : public TestMachine {
 public:
  FakeMachine() {
    fake_.AddFolder(Scratch());
    fake_.AddRegKey(HKEY_LOCAL_MACHINE, ScratchKey());
  }
  Platform& platform() override { return fake_; }
  std::string Scratch() const override { return "C:\\Scratch"; }
  std::string ScratchKey() const override { return "SOFTWARE\\Scratch"; }
  void MakeFolder(const std::string& path) override { fake_.AddFolder(path); }
  void MakeFile(const std::string& path, std::uint64_t size, DWORD attributes) override {
    fake_.AddFile(path, size, attributes);
  }
  void Hold(const std::string& path) override {
    fake_.SetInUse(path);
    held_.push_back(path);
  }
  void ReleaseHolds() override {
    for (const std::string& path : held_) fake_.SetInUse(path, false);
    held_.clear();
  }
  void SetCurrentFolder(const std::string& path) override { fake_.SetCurrentFolder(path); }
  bool MakeLink(const std::string& path, const std::string& target, bool folder) override {
    fake_.AddLink(path, target, folder);
    return true;
  }
  bool IsWine() const override { return false; }

 private:
  FakePlatform fake_;
  std::vector<std::string> held_;
};

INSTANTIATE_TEST_SUITE_P(Fake, PlatformContract,
                         ::testing::Values(MachineKind{
                             "Fake", [] { return std::make_unique<FakeMachine>(); }}),
                         MachineName);

}  // namespace
