#pragma once
// The exception of the sound readers, the converters and the codec catalogue.
#include "base/Exceptions.h"

namespace movara {

MOVARA_EXCEPTION(EAudioError);

}  // namespace movara
