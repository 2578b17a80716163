#pragma once
// What the time line takes by drag and drop besides resource thumbnails (ClipMime.h):
// - a marked part of a clip from a clip player: the thumbnail's index in the clip box,
//   the part's clip type (ordinal), its start and its length in milliseconds (a
//   negative length: the whole clip), as decimal ASCII separated by blanks;
// - the paste command's drag of the time line itself: the box's identity as decimal
//   ASCII, so that only the box the blocks were copied in takes it.
namespace movara {

inline constexpr char kClipPartMimeType[] = "application/x-movara-clip-part";
inline constexpr char kPasteMimeType[] = "application/x-movara-paste";

}  // namespace movara
