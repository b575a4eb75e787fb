// The platform contract on the real Win32 calls, in a scratch folder under the
// temporary folder and a scratch key under HKEY_LOCAL_MACHINE\SOFTWARE.
#include "platform/win32_platform.h"
#include "support/win32_test_machine.h"
#include "platform_contract.h"

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
  void SetRegValue(const std::string& key, const std::string& name, DWORD type,
                   const std::vector<BYTE>& data) override {
    real_.SetRegValue(key, name, type, data);
  }
  // Wine keeps a folder's read-only bit nowhere.
  bool StoresReadOnlyFolders() const override { return !Win32TestMachine::IsWine(); }

 private:
  Win32TestMachine real_;
  Win32Platform platform_;
};

INSTANTIATE_TEST_SUITE_P(
    Win32, PlatformContract,
    ::testing::Values(MachineKind{"Win32", [] { return std::make_unique<Win32Machine>(); }}),
    [](const ::testing::TestParamInfo<MachineKind>& param) { return param.param.name; });

}  // namespace
