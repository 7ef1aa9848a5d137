#include "imagelib/core/load_failure.h"

#include "lorimer/LoadFailure.h"

namespace lorimer {
namespace {

struct Slot {
  std::string reason;
  FailureRank rank = FailureRank::kNotRecognised;
};

Slot& ThisThread() {
  thread_local Slot slot;
  return slot;
}

}  // namespace

void ClearLoadFailure() { ThisThread() = Slot{}; }

void NoteLoadFailure(const std::string& reason, FailureRank rank) {
  Slot& slot = ThisThread();
  if (reason.empty()) return;
  if (slot.reason.empty() || rank > slot.rank) {
    slot.reason = reason;
    slot.rank = rank;
  }
}

std::string LastLoadFailure() { return ThisThread().reason; }

}  // namespace lorimer
