// Why a picture did not load.
//
// Loads keep their plain results (0 or a null handle); the reason a reader gave is
// kept per thread for tools and logs to show, in the manner of errno.
#pragma once

#include <string>

#include "lorimer/ImageInterface.h"

namespace lorimer {

// Why the last CImageInterface::Load on this thread failed, such as "PCX header: bytes
// per line 0" or "no reader recognises the file"; empty after a load that succeeded.
LORIMER_API std::string LastLoadFailure();

}  // namespace lorimer
