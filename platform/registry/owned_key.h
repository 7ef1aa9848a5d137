// An opened registry key that closes itself.
#pragma once

#include "platform/base/owned.h"
#include "platform/registry/registry.h"

namespace vel {

struct CloseKey {
  // The predefined roots are not opened keys; RegCloseKey leaves them alone.
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using OwnedKey = Owned<HKEY, CloseKey>;

}  // namespace vel
