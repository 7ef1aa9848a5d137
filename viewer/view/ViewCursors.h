// The cursors of the image view: the hands of hand mode and the magnifier of lens
// mode, drawn here because desktops have no themed cursor for a lens.
#pragma once

#include <QCursor>

namespace orvenna {

enum class ViewCursor { Arrow, Hand, HandClosed, Lens, LensPressed };

QCursor MakeViewCursor(ViewCursor kind);

}  // namespace orvenna
