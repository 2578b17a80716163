#pragma once
// Result codes of the renderer's calls, by the names of the platform headers they stand
// in for. 0 is success; callers turn the others into exceptions (CheckResult).
#include <cstdint>

namespace movara {

using TRmResult = uint32_t;

inline constexpr TRmResult D3DRM_OK = 0;
inline constexpr TRmResult DD_OK = 0;

// Generic codes.
inline constexpr TRmResult DDERR_GENERIC = 0x80004005u;
inline constexpr TRmResult DDERR_UNSUPPORTED = 0x80004001u;
inline constexpr TRmResult DDERR_INVALIDPARAMS = 0x80070057u;
inline constexpr TRmResult DDERR_OUTOFMEMORY = 0x8007000Eu;

// Surface codes (facility 0x876).
inline constexpr TRmResult DDERR_INVALIDOBJECT = 0x88760000u + 130;
inline constexpr TRmResult DDERR_INVALIDRECT = 0x88760000u + 150;
inline constexpr TRmResult DDERR_SURFACELOST = 0x88760000u + 450;

// Retained-mode codes.
inline constexpr TRmResult D3DRMERR_BADOBJECT = 0x8876030Du;
inline constexpr TRmResult D3DRMERR_BADTYPE = 0x8876030Eu;
inline constexpr TRmResult D3DRMERR_BADALLOC = 0x8876030Fu;
inline constexpr TRmResult D3DRMERR_NOTFOUND = 0x88760311u;
inline constexpr TRmResult D3DRMERR_FILENOTFOUND = 0x88760313u;
inline constexpr TRmResult D3DRMERR_BADFILE = 0x88760314u;
inline constexpr TRmResult D3DRMERR_BADDEVICE = 0x88760315u;
inline constexpr TRmResult D3DRMERR_BADVALUE = 0x88760316u;

}  // namespace movara
