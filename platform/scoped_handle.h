// Move-only owners of find handles, file handles and registry keys, closed
// through the Platform that opened them, so that no path of the cleaner closes
// one by hand, and the registry opens that hand back an owner.
#pragma once

#include <utility>

#include "platform/platform.h"

template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  explicit ScopedHandle(Platform& platform, Handle handle = Traits::Invalid())
      : platform_(&platform), handle_(handle) {}
  ~ScopedHandle() { reset(); }

  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept
      : platform_(other.platform_), handle_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      reset();
      platform_ = other.platform_;
      handle_ = other.release();
    }
    return *this;
  }

  Handle get() const { return handle_; }
  explicit operator bool() const { return Traits::IsValid(handle_); }

  Handle release() { return std::exchange(handle_, Traits::Invalid()); }

  void reset(Handle handle = Traits::Invalid()) {
    Handle old = std::exchange(handle_, handle);
    if (Traits::IsValid(old)) Traits::Close(*platform_, old);
  }

 private:
  Platform* platform_;
  Handle handle_;
};

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Platform& platform, Handle h) { platform.FindClose(h); }
};

// Handles of CreateFileA (INVALID_HANDLE_VALUE when it fails) and NtOpenFile
// (left null by the caller when it fails), closed with NtClose.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Platform& platform, Handle h) { platform.NtClose(h); }
};

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Platform& platform, Handle h) { platform.RegCloseKey(h); }
};

using ScopedFindHandle = ScopedHandle<FindHandleTraits>;
using ScopedFileHandle = ScopedHandle<FileHandleTraits>;
using ScopedRegKey = ScopedHandle<RegKeyTraits>;

// The key `subKey` under `root`, opened or (CreateRegKey) made and opened; an
// empty owner when the call fails, whatever it left in its out slot. The
// call's result goes to `status` when one is given.
inline ScopedRegKey OpenRegKey(Platform& platform, HKEY root, LPCSTR subKey,
                               LSTATUS* status = nullptr) {
  HKEY key = nullptr;
  const LSTATUS result = platform.RegOpenKeyA(root, subKey, &key);
  if (status != nullptr) *status = result;
  return ScopedRegKey(platform, result == ERROR_SUCCESS ? key : nullptr);
}

inline ScopedRegKey CreateRegKey(Platform& platform, HKEY root, LPCSTR subKey) {
  HKEY key = nullptr;
  const LSTATUS status = platform.RegCreateKeyA(root, subKey, &key);
  return ScopedRegKey(platform, status == ERROR_SUCCESS ? key : nullptr);
}
