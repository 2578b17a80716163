#pragma once
// The pictures and cursors of the project window, drawn in code: the scale's slider
// ("SLIDERBMP"), the marching frame of selected blocks ("MOTIONFRAME"), the patterns of
// keying blocks ("KEYGRAPH", "KEYVIDEO"), the razor cursors ("RAZOR_ENABLED",
// "RAZOR_DISABLED"), the row icons beside video rows A and B and the three sound rows,
// and the pictures of the snapping and scale buttons. Each is made once.
#include <QCursor>
#include <QFont>
#include <QImage>

namespace movara {

enum TTimeLineBitmap {
  tbSlider,        // SLIDERBMP: its transparent colour is its pixel at (1, height - 1)
  tbMotionFrame,   // MOTIONFRAME: 8 x 8
  tbKeyGraph,      // KEYGRAPH: 8 x 8
  tbKeyVideo,      // KEYVIDEO: 8 x 8
  tbRazorEnabled,  // RAZOR_ENABLED: 32 x 32
  tbRazorDisabled, // RAZOR_DISABLED: 32 x 32
  tbVideo1,        // the row icons
  tbVideo2,
  tbAudio1,
  tbAudio2,
  tbAudio3,
  tbSnap,          // the snapping button
  tbZoom           // the scale button
};

const QImage& TimeLineBitmap(TTimeLineBitmap which);
// The slider picture with its transparent colour made transparent.
const QImage& SliderImage();
// The razor cursors: over a block that can be cut, and elsewhere.
QCursor RazorCursor(bool enabled);
// The rows' and the scale's font: "MS Sans Serif" 9 points (12 pixels on a 96 dpi
// screen), served by Liberation Sans.
QFont TimeLineFont();

}  // namespace movara
