#include "base/LoadFailure.h"

#include <utility>

namespace movara {
namespace {

thread_local std::string t_reason;

}  // namespace

void NoteLoadFailure(const std::string& reason) { t_reason = reason; }

std::string TakeLoadFailure() { return std::exchange(t_reason, std::string()); }

}  // namespace movara
