// The platform contract on the real Win32 calls, in a scratch folder under the
// temporary folder and a scratch key under HKEY_LOCAL_MACHINE\SOFTWARE.
#include "platform/win32_platform.h"
#include "platform_contract.h"
#include "support/win32_test_machine.h"

namespace {

class Win32Machine : public TestMachine {
 public:
  Platform& platform() override { return platform_; }
  std::string Scratch() const override { return real_.Scratch(); }
  std::string ScratchKey() const override { return real_.ScratchKey(); }
  void MakeFolder(const std::string& path) override { real_.MakeFolder(path); }
  void MakeFile(const std::string& path, std::uint64_t size, DWORD attributes) override {
    real_.MakeFile(path, size, attributes);
  }
  void Hold(const std::string& path) override { real_.Hold(path); }
  void ReleaseHolds() override { real_.ReleaseHolds(); }
  void SetCurrentFolder(const std::string& path) override { real_.SetCurrentFolder(path); }
  // Making links needs a privilege on Windows and cannot be done under Wine.
  bool MakeLink(const std::string&, const std::string&, bool) override { return false; }
  bool IsWine() const override { return Win32TestMachine::IsWine(); }

 private:
  Win32TestMachine real_;
  Win32Platform platform_;
};

INSTANTIATE_TEST_SUITE_P(Win32, PlatformContract,
                         ::testing::Values(MachineKind{
                             "Win32", [] { return std::make_unique<Win32Machine>(); }}),
                         MachineName);

}  // namespace
