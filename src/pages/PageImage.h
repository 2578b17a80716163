#pragma once
// Drawing a page into a QImage, for the page editor window's own painting (the core
// works with TDIB through TPageEditBox::RenderToBitmap).
#include <QImage>

#include "pages/PageEditBox.h"

namespace movara {

// Draws the page into image (made RGB32 of the page size) and sets every item's
// bounds. False when text cannot be drawn (the image then holds the page colour).
bool RenderPageToImage(TPageEditBox& box, QImage& image);

}  // namespace movara
