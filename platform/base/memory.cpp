#include "platform/base/memory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace vel {
struct GlobalBlock {
  BYTE* data = nullptr;
  size_t size = 0;
  int locks = 0;
};
}  // namespace vel

namespace {
std::mutex g_mutex;
std::unordered_map<const void*, vel::GlobalBlock*>& Owners() {
  static auto* m = new std::unordered_map<const void*, vel::GlobalBlock*>;
  return *m;
}
void Track(vel::GlobalBlock* b) {
  std::lock_guard lock(g_mutex);
  Owners()[b->data] = b;
}
void Untrack(const void* data) {
  std::lock_guard lock(g_mutex);
  Owners().erase(data);
}
// One block never needs more than this; larger requests come from bad input.
constexpr size_t kMaxBlock = size_t(1) << 32;
}  // namespace

HGLOBAL GlobalAlloc(UINT flags, size_t bytes) {
  if (bytes > kMaxBlock) return nullptr;
  auto* block = new (std::nothrow) vel::GlobalBlock;
  if (!block) return nullptr;
  // Always hand out at least one byte so a zero-size block still has an address.
  void* p = (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!p) {
    delete block;
    return nullptr;
  }
  block->data = static_cast<BYTE*>(p);
  block->size = bytes;
  Track(block);
  return block;
}

HGLOBAL GlobalHandle(const void* pointer) {
  std::lock_guard lock(g_mutex);
  auto it = Owners().find(pointer);
  return it == Owners().end() ? nullptr : it->second;
}

HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, UINT flags) {
  if (!block || bytes > kMaxBlock) return nullptr;
  void* p = std::realloc(block->data, bytes ? bytes : 1);
  if (!p) return nullptr;
  Untrack(block->data);
  block->data = static_cast<BYTE*>(p);
  if ((flags & GMEM_ZEROINIT) && bytes > block->size) std::memset(block->data + block->size, 0, bytes - block->size);
  block->size = bytes;
  Track(block);
  return block;
}

void* GlobalLock(HGLOBAL block) {
  if (!block) return nullptr;
  ++block->locks;
  return block->data;
}

BOOL GlobalUnlock(HGLOBAL block) {
  if (!block || block->locks == 0) return FALSE;
  return --block->locks > 0 ? TRUE : FALSE;
}

size_t GlobalSize(HGLOBAL block) { return block ? block->size : 0; }

HGLOBAL GlobalFree(HGLOBAL block) {
  if (!block) return nullptr;
  Untrack(block->data);
  std::free(block->data);
  delete block;
  return nullptr;
}
