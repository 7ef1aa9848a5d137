// The library's side of LastLoadFailure: the loaders note why they failed.
#pragma once

#include <string>

namespace lorimer {

// How much a reason says. A reader that recognised the file and then found it damaged
// knows more than one that never recognised it; a load keeps the first reason of the
// highest rank it was given.
enum class FailureRank { kNotRecognised = 0, kRecognised = 1 };

void ClearLoadFailure();
void NoteLoadFailure(const std::string& reason, FailureRank rank);

}  // namespace lorimer
