#pragma once
// Why a file could not be loaded. Loaders give "no object" and show no message; where
// they know a reason worth telling the user (a sound format no converter takes, a
// picture larger than its bytes can hold, the memory set aside for pictures spent),
// they note it for the thread that asked, and the caller that reports the failure
// names it after the file.
#include <string>

namespace movara {

// Notes the reason of the failure at hand; a later note on the same thread replaces it.
void NoteLoadFailure(const std::string& reason);
// The reason noted on this thread since the last call ("" when none), forgotten.
std::string TakeLoadFailure();

}  // namespace movara
