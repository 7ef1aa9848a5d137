// The viewer's program-wide settings: mouse modes, lens, edit and batch choices.
// They live as 4-byte binary values under HKEY_CURRENT_USER\Software\Velmark\Malvito,
// are read once when the main window is made and written once when it goes.
#pragma once

#include <array>

#include "platform/base/wintypes.h"

namespace orvenna {

// The zoom ladder: index 10 is 100 %.
inline constexpr std::array<double, 15> kZoomLadder = {0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7,
                                                       0.8,  0.9, 1.0, 1.5, 2.0, 3.0, 4.0};

struct CViewerSettings {
  int m_nBatchSrcExtNumber = 3;
  int m_nBatchDestFormatNumber = 0;
  int m_bHandMode = 1;  // 1 hand mode, 0 lens mode
  int m_nLensCX = 150;
  int m_nLensCY = 100;
  double m_dLensMagnification = 2.0;  // stored as "m_nLensMode", times 1000
  COLORREF crRotationBackColor = 0xFFFFFF;
  COLORREF crRasterizeColor = 0xFFFFFF;
  int nZoomMethod = 3;
  int nRasterMethod = 0;  // kept, used by no command
  int nPropStretch = 1;
};

// All eleven values or none: a missing or unreadable value leaves every setting at
// its default, also those read before it.
CViewerSettings ReadViewerSettings();
// Writes all eleven values (making the key); errors are ignored.
void WriteViewerSettings(const CViewerSettings& settings);

}  // namespace orvenna
