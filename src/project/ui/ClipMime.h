#pragma once
// The drag of a resource thumbnail onto the time line: the data carries the thumbnail's
// index in the clip box as decimal ASCII under this MIME type.
namespace movara {

inline constexpr char kClipMimeType[] = "application/x-movara-clip";

}  // namespace movara
