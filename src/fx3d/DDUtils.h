#pragma once
// Picture transfer helpers of the 3D effects: readable texts for the renderer's result
// codes, row order of TDIB pictures, palette lookup and the still-picture saver.
#include <cstdint>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "base/Exceptions.h"

namespace movara {

MOVARA_EXCEPTION(ED3DRM);

struct TResultCodeName {
  uint32_t Code;
  const char* Name;
};

// The DirectDraw and Retained Mode result codes by their header names, in header
// order (142 entries; success has none).
const std::vector<TResultCodeName>& ResultCodeTable();

// "NAME = $CODE (HIGH + LOW)." with "Unknown code" as the name of a code not in the
// table, e.g. "D3DRMERR_BADVALUE = $88760316 (8876 + 790).".
std::string ResultText(uint32_t code);
// Nothing for 0; otherwise raises ED3DRM with ResultText(code).
void CheckResult(uint32_t code);
// As CheckResult, the message being "[where] " + ResultText(code).
void CheckResultAt(uint32_t code, const std::string& where);

// Reverses the row order of dib in place.
void FlipDIBVertical(TDIB& dib);
// Copies a top-down buffer of Height() rows of RowSize() bytes each into dib, so that
// the buffer's first row becomes the picture's top row.
void CopyRowsToDIB(const void* source, TDIB& dib);
// 0 for no picture; index itself (already a colour) for pictures deeper than 8 bits;
// 0 for an index outside the palette; else the palette entry as a TColor.
TColor PaletteColor(const TDIB* dib, int index);

// Saves dib as BMP, JPEG or GIF by the extension of fileName; a name without a known
// extension gets ".Bmp" appended. With toSavedFolder the file goes to the folder
// "AppData/Zapisane Obrazki/" of the user folder (made when missing) under its bare
// name. fileName receives the name written. False when nothing was written.
bool SavePictureFile(const TDIB& dib, std::string& fileName, bool toSavedFolder);

}  // namespace movara
