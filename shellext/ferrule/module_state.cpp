#include "shellext/ferrule/module_state.h"

#include <atomic>

const CLSID CLSID_FerruleATL = {0xA118FEA0, 0x1D1B, 0x4165, {0xBC, 0x37, 0x88, 0xF9, 0x5B, 0x25, 0x0E, 0x7A}};
const GUID LIBID_FERRULELib = {0xACFA83F0, 0xDC7E, 0x4CC7, {0xA7, 0x53, 0xD6, 0x6F, 0xC5, 0x2A, 0xAD, 0x49}};
const IID IID_IFerruleATL = {0x42C5DD17, 0x9671, 0x41B3, {0x8F, 0xEB, 0x7A, 0xBB, 0xB3, 0x00, 0xC2, 0x31}};

namespace ferrule {
namespace {
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
}  // namespace

void ObjectCreated() { ++g_objects; }
void ObjectDestroyed() { --g_objects; }
void Lock(bool lock) {
  if (lock) {
    ++g_locks;
  } else if (g_locks > 0) {
    --g_locks;
  }
}
bool CanUnload() { return g_objects == 0 && g_locks == 0; }

}  // namespace ferrule
