// The identifiers of the test server, shared by the server and its tests.
#pragma once

#include "platform/com/com.h"

inline constexpr CLSID kTestHandlerClsid = {
    0x6D1F3A52, 0x8C4E, 0x4B7A, {0x9E, 0x21, 0x5A, 0x33, 0xC0, 0x7D, 0x14, 0xB8}};
inline constexpr GUID kTestLibid = {0x2B9C04E7, 0x71D3, 0x4F5E, {0xA6, 0x88, 0x0C, 0x5E, 0x92, 0x1B, 0x47, 0xD3}};
inline constexpr const char* kTestHandlerKey = "*\\shellex\\ContextMenuHandlers\\TestHandler";
