#pragma once
// The project window's two keying dialogs: the key of an image-row block, picked from
// the block's picture at a time of the block, and the colour key of a key row.
#include <cstdint>

#include "base/Dib.h"
#include "project/VfxData.h"

class QWidget;

namespace movara {

class TLayerItem;

// The block's picture at timeMs from its start (an AVI's frame there, a still, a title
// page or a solid colour). False, picture empty, when it cannot be had.
bool BlockPictureAt(const TLayerItem& item, int64_t timeMs, TDIB& picture);

// The keying window on the block's picture. Always true: on OK the chosen colour and
// mode, on cancel mode cmNone (the block's keying removed).
bool ChooseImageKey(QWidget* parent, const TLayerItem& item, int64_t timeMs, TColor& colorKey, TComposeMode& mode);
// The key row's colour key: true on OK with the colour, the mode and both thresholds 0.
bool ChooseKeyRowColor(QWidget* parent, TColor& colorKey, TComposeMode& mode, int32_t& yuvHi, int32_t& yuvLo);

}  // namespace movara
