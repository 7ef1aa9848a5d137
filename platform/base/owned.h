// A move-only owner of a handle that releases it when the owner goes away, so early
// returns need no clean-up code. The Win32-shaped functions keep taking and giving
// plain handles: `get()` lends one, `release()` hands it over.
//
//   vel::gdi::OwnedBitmap page(CreateDIBSection(...));
//   if (!page) return vel::Fail("no memory for the page");
//   ...
//   return page.release();  // the caller owns it now
#pragma once

#include <utility>

namespace vel {

template <typename Handle, typename Release>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, Handle{}));
    return *this;
  }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }
  // Gives up ownership without releasing.
  [[nodiscard]] Handle release() { return std::exchange(handle_, Handle{}); }
  // Releases what it holds and gives the place to store a new one, for the functions
  // that hand a handle out through a pointer: RegOpenKeyExA(..., key.put()).
  Handle* put() {
    reset();
    return &handle_;
  }
  // Releases what it holds and takes `handle` instead.
  void reset(Handle handle = Handle{}) {
    const Handle old = std::exchange(handle_, handle);
    if (old != Handle{} && old != handle) Release{}(old);
  }

 private:
  Handle handle_{};
};

}  // namespace vel
