// A codec image that closes itself.
#pragma once

#include "imagelib/codec/codec_api.h"
#include "platform/base/owned.h"

namespace lorimer::codec {

struct CloseImage {
  void operator()(HIMG image) const { ::fnImgClose(image); }
};
using OwnedImage = vel::Owned<HIMG, CloseImage>;

}  // namespace lorimer::codec
