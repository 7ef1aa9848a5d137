#include "viewer/core/ViewerSettings.h"

#include <cstring>
#include <string>

#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "viewer/core/Commands.h"

namespace orvenna {
namespace {

std::string KeyPath() { return std::string("Software\\") + kMakerKey + "\\" + kAppName; }

bool ReadValue(HKEY key, const char* name, DWORD* value) {
  DWORD type = 0, size = sizeof(DWORD);
  DWORD v = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) != ERROR_SUCCESS) return false;
  if (size != sizeof(DWORD)) return false;
  *value = v;
  return true;
}

void WriteValue(HKEY key, const char* name, DWORD value) {
  RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

}  // namespace

CViewerSettings ReadViewerSettings() {
  const CViewerSettings defaults;
  vel::OwnedKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath().c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return defaults;
  DWORD v[11] = {};
  static const char* const kNames[11] = {"m_bHandMode",   "m_nBatchSrcExtNumber", "m_nBatchDestFormatNumber",
                                          "m_nLensCX",     "m_nLensCY",            "m_nLensMode",
                                          "crRotationBackColor", "crRasterizeColor", "nZoomMethod",
                                          "nRasterMethod", "nPropStretch"};
  for (int i = 0; i < 11; ++i)
    if (!ReadValue(key.get(), kNames[i], &v[i])) return defaults;
  CViewerSettings s;
  s.m_bHandMode = static_cast<int>(v[0]);
  s.m_nBatchSrcExtNumber = static_cast<int>(v[1]);
  s.m_nBatchDestFormatNumber = static_cast<int>(v[2]);
  s.m_nLensCX = static_cast<int>(v[3]);
  s.m_nLensCY = static_cast<int>(v[4]);
  s.m_dLensMagnification = static_cast<int>(v[5]) / 1000.0;
  s.crRotationBackColor = v[6];
  s.crRasterizeColor = v[7];
  s.nZoomMethod = static_cast<int>(v[8]);
  s.nRasterMethod = static_cast<int>(v[9]);
  s.nPropStretch = static_cast<int>(v[10]);
  return s;
}

void WriteViewerSettings(const CViewerSettings& s) {
  vel::OwnedKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  WriteValue(key.get(), "m_nBatchSrcExtNumber", static_cast<DWORD>(s.m_nBatchSrcExtNumber));
  WriteValue(key.get(), "m_nBatchDestFormatNumber", static_cast<DWORD>(s.m_nBatchDestFormatNumber));
  WriteValue(key.get(), "m_bHandMode", s.m_bHandMode ? 1u : 0u);
  WriteValue(key.get(), "m_nLensCX", static_cast<DWORD>(s.m_nLensCX));
  WriteValue(key.get(), "m_nLensCY", static_cast<DWORD>(s.m_nLensCY));
  WriteValue(key.get(), "m_nLensMode", static_cast<DWORD>(static_cast<int>(s.m_dLensMagnification * 1000.0 + 1e-9)));
  WriteValue(key.get(), "crRotationBackColor", s.crRotationBackColor);
  WriteValue(key.get(), "crRasterizeColor", s.crRasterizeColor);
  WriteValue(key.get(), "nZoomMethod", static_cast<DWORD>(s.nZoomMethod));
  WriteValue(key.get(), "nRasterMethod", static_cast<DWORD>(s.nRasterMethod));
  WriteValue(key.get(), "nPropStretch", s.nPropStretch ? 1u : 0u);
}

}  // namespace orvenna
