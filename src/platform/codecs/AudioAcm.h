#pragma once
// The audio compression manager: a catalogue of drivers and their formats, and
// conversion streams between them. The calls, their arguments and their results are
// those of the platform's ACM, so the program above reads as designed:
//
//   acmDriverEnum(callback, 0);                     // driver ids and support flags
//   acmDriverDetails(id, &details, 0);
//   acmDriverOpen(&had, id, 0);
//   acmFormatEnum(had, &afd, callback, 0);          // the driver's formats
//   acmDriverClose(had, 0);
//
//   acmStreamOpen(&has, had, &source, &dest, ACM_STREAMOPENF_NONREALTIME);
//   acmStreamPrepareHeader(has, &header, 0);
//   acmStreamConvert(has, &header, ACM_STREAMCONVERTF_BLOCKALIGN);  // again and again
//   acmStreamConvert(has, &header, ACM_STREAMCONVERTF_END);         // the rest
//   acmStreamUnprepareHeader(has, &header, 0);
//   acmStreamClose(has, 0);
//
// The drivers: "MS-PCM", the PCM converter (rate, channel and depth conversion with
// libswresample), and codecs made with libavcodec that convert between their format and
// PCM of the same rate and channels: "MS-ADPCM", "IMA ADPCM", "CCITT G.711 A-Law",
// "CCITT G.711 µ-Law", "GSM 6.10" and "MPEG Layer-3". A codec whose decoder is missing
// in libavcodec is not offered; one whose encoder is missing only decodes.
//
// A stream keeps its state between calls: an ADPCM block or an MP3 frame cut by the end
// of one call is finished by the next, and an encoder collects whole frames. Every call
// takes all the source it is given; what does not fit the destination is kept and
// delivered by the next call (a call with no source just delivers). The PCM converter
// gives, over a stream, exactly floor(source frames x destination rate / source rate)
// frames, so a block of source always yields the same number of frames; its filter's
// look-ahead delays the sound by a few samples. ACM_STREAMCONVERTF_END finishes the
// stream (the last partial frame is encoded, encoders are drained); the next call
// starts afresh.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/avifile/RiffTypes.h"

namespace movara {

using MMRESULT = uint32_t;

// General results.
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
// ACM results.
inline constexpr MMRESULT ACMERR_BASE = 512;
inline constexpr MMRESULT ACMERR_NOTPOSSIBLE = ACMERR_BASE + 0;
inline constexpr MMRESULT ACMERR_BUSY = ACMERR_BASE + 1;
inline constexpr MMRESULT ACMERR_UNPREPARED = ACMERR_BASE + 2;
inline constexpr MMRESULT ACMERR_CANCELED = ACMERR_BASE + 3;

// acmMetrics.
inline constexpr uint32_t ACM_METRIC_COUNT_DRIVERS = 1;
inline constexpr uint32_t ACM_METRIC_COUNT_CODECS = 2;
inline constexpr uint32_t ACM_METRIC_COUNT_CONVERTERS = 3;
inline constexpr uint32_t ACM_METRIC_COUNT_FILTERS = 4;
inline constexpr uint32_t ACM_METRIC_COUNT_DISABLED = 5;
inline constexpr uint32_t ACM_METRIC_COUNT_HARDWARE = 6;
inline constexpr uint32_t ACM_METRIC_COUNT_LOCAL_DRIVERS = 20;
inline constexpr uint32_t ACM_METRIC_COUNT_LOCAL_CODECS = 21;
inline constexpr uint32_t ACM_METRIC_COUNT_LOCAL_CONVERTERS = 22;
inline constexpr uint32_t ACM_METRIC_COUNT_LOCAL_FILTERS = 23;
inline constexpr uint32_t ACM_METRIC_COUNT_LOCAL_DISABLED = 24;
inline constexpr uint32_t ACM_METRIC_MAX_SIZE_FORMAT = 50;
inline constexpr uint32_t ACM_METRIC_MAX_SIZE_FILTER = 51;
inline constexpr uint32_t ACM_METRIC_DRIVER_SUPPORT = 100;
inline constexpr uint32_t ACM_METRIC_DRIVER_PRIORITY = 101;

// Driver support flags.
inline constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_CODEC = 0x00000001;
inline constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_CONVERTER = 0x00000002;
inline constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_FILTER = 0x00000004;
inline constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_HARDWARE = 0x00000008;
inline constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_ASYNC = 0x00000010;
inline constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_LOCAL = 0x40000000;
inline constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_DISABLED = 0x80000000;
inline constexpr uint32_t ACMDRIVERDETAILS_FCCTYPE_AUDIOCODEC = mmioFOURCC('a', 'u', 'd', 'c');

// acmDriverEnum flags.
inline constexpr uint32_t ACM_DRIVERENUMF_NOLOCAL = 0x40000000;
inline constexpr uint32_t ACM_DRIVERENUMF_DISABLED = 0x80000000;

// acmFormatEnum flags. The restricting flags take their value from the wanted format
// (or, without one, from the format in the details).
inline constexpr uint32_t ACM_FORMATENUMF_WFORMATTAG = 0x00010000;
inline constexpr uint32_t ACM_FORMATENUMF_NCHANNELS = 0x00020000;
inline constexpr uint32_t ACM_FORMATENUMF_NSAMPLESPERSEC = 0x00040000;
inline constexpr uint32_t ACM_FORMATENUMF_WBITSPERSAMPLE = 0x00080000;
inline constexpr uint32_t ACM_FORMATENUMF_CONVERT = 0x00100000;
inline constexpr uint32_t ACM_FORMATENUMF_SUGGEST = 0x00200000;
inline constexpr uint32_t ACM_FORMATENUMF_HARDWARE = 0x00400000;
inline constexpr uint32_t ACM_FORMATENUMF_INPUT = 0x00800000;
inline constexpr uint32_t ACM_FORMATENUMF_OUTPUT = 0x01000000;

// Stream flags.
inline constexpr uint32_t ACM_STREAMOPENF_QUERY = 0x00000001;
inline constexpr uint32_t ACM_STREAMOPENF_ASYNC = 0x00000002;
inline constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x00000004;
inline constexpr uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
inline constexpr uint32_t ACM_STREAMCONVERTF_START = 0x00000010;
inline constexpr uint32_t ACM_STREAMCONVERTF_END = 0x00000020;
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_INQUEUE = 0x00100000;
inline constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000;
inline constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x00000001;

inline constexpr size_t ACMDRIVERDETAILS_SHORTNAME_CHARS = 32;
inline constexpr size_t ACMDRIVERDETAILS_LONGNAME_CHARS = 128;
inline constexpr size_t ACMDRIVERDETAILS_COPYRIGHT_CHARS = 80;
inline constexpr size_t ACMDRIVERDETAILS_LICENSING_CHARS = 128;
inline constexpr size_t ACMDRIVERDETAILS_FEATURES_CHARS = 512;
inline constexpr size_t ACMFORMATDETAILS_FORMAT_CHARS = 128;

// Handles (opaque). A driver id names a driver; a driver handle is an opened driver; a
// stream handle an opened conversion.
struct TAcmDriverIdTag;
struct TAcmDriverTag;
struct TAcmStreamTag;
using HACMDRIVERID = TAcmDriverIdTag*;
using HACMDRIVER = TAcmDriverTag*;
using HACMSTREAM = TAcmStreamTag*;
using HACMOBJ = const void*;  // any of the three, or nullptr

struct ACMDRIVERDETAILS {
  uint32_t cbStruct = sizeof(ACMDRIVERDETAILS);
  FOURCC fccType = 0;
  FOURCC fccComp = 0;
  uint16_t wMid = 0;
  uint16_t wPid = 0;
  uint32_t vdwACM = 0;
  uint32_t vdwDriver = 0;
  uint32_t fdwSupport = 0;
  uint32_t cFormatTags = 0;
  uint32_t cFilterTags = 0;
  char szShortName[ACMDRIVERDETAILS_SHORTNAME_CHARS] = {};
  char szLongName[ACMDRIVERDETAILS_LONGNAME_CHARS] = {};
  char szCopyright[ACMDRIVERDETAILS_COPYRIGHT_CHARS] = {};
  char szLicensing[ACMDRIVERDETAILS_LICENSING_CHARS] = {};
  char szFeatures[ACMDRIVERDETAILS_FEATURES_CHARS] = {};
};

// pwfx: on entry to a convert enumeration the source format; in each callback the
// format found (cbwfx: the largest format, extra bytes included, the caller takes;
// larger formats are passed over).
struct ACMFORMATDETAILS {
  uint32_t cbStruct = sizeof(ACMFORMATDETAILS);
  uint32_t dwFormatIndex = 0;
  uint32_t dwFormatTag = 0;
  uint32_t fdwSupport = 0;
  TWaveFormat* pwfx = nullptr;
  uint32_t cbwfx = 0;
  char szFormat[ACMFORMATDETAILS_FORMAT_CHARS] = {};
};

struct ACMSTREAMHEADER {
  uint32_t cbStruct = sizeof(ACMSTREAMHEADER);
  uint32_t fdwStatus = 0;
  uintptr_t dwUser = 0;
  uint8_t* pbSrc = nullptr;
  uint32_t cbSrcLength = 0;
  uint32_t cbSrcLengthUsed = 0;
  uintptr_t dwSrcUser = 0;
  uint8_t* pbDst = nullptr;
  uint32_t cbDstLength = 0;
  uint32_t cbDstLengthUsed = 0;
  uintptr_t dwDstUser = 0;
  uintptr_t dwReservedDriver[10] = {};
};

// Returning false from a callback ends the enumeration.
using ACMDRIVERENUMCB = std::function<bool(HACMDRIVERID hadid, uint32_t fdwSupport)>;
using ACMFORMATENUMCB =
    std::function<bool(HACMDRIVERID hadid, ACMFORMATDETAILS* pafd, uint32_t fdwSupport)>;

// 0xAABBCCCC: major, minor, build.
uint32_t acmGetVersion();
// Counts (hao nullptr), a driver's largest format (hao a driver id or handle; nullptr
// gives the largest of all) and a driver's support flags. MMSYSERR_INVALHANDLE for a bad
// handle, MMSYSERR_NOTSUPPORTED for an unknown metric, MMSYSERR_INVALPARAM without a
// value, ACMERR_NOTPOSSIBLE when the metric does not apply to the object.
MMRESULT acmMetrics(HACMOBJ hao, uint32_t uMetric, uint32_t* pMetric);
MMRESULT acmDriverEnum(const ACMDRIVERENUMCB& callback, uint32_t fdwEnum);
MMRESULT acmDriverDetails(HACMDRIVERID hadid, ACMDRIVERDETAILS* padd, uint32_t fdwDetails);
MMRESULT acmDriverOpen(HACMDRIVER* phad, HACMDRIVERID hadid, uint32_t fdwOpen);
MMRESULT acmDriverClose(HACMDRIVER had, uint32_t fdwClose);
// The driver id of an opened driver (or of a driver id); nullptr for a bad handle.
HACMDRIVERID acmDriverIdOf(HACMOBJ hao);
// The formats of the opened driver had (nullptr: of every driver). With
// ACM_FORMATENUMF_CONVERT the formats that pafd->pwfx can be converted into; the PCM
// converter then also offers PCM at a wanted rate that is not in its list.
MMRESULT acmFormatEnum(HACMDRIVER had, ACMFORMATDETAILS* pafd, const ACMFORMATENUMCB& callback,
                       uint32_t fdwEnum, const TWaveFormat* wanted = nullptr);

// Opens a conversion from pwfxSrc to pwfxDst through had (nullptr: the first driver that
// can). ACMERR_NOTPOSSIBLE when it cannot convert them; with ACM_STREAMOPENF_QUERY only
// asks (phas may be nullptr).
MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, const TWaveFormat* pwfxSrc,
                       const TWaveFormat* pwfxDst, uint32_t fdwOpen);
MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose);
// The largest output for cbInput source bytes (ACM_STREAMSIZEF_SOURCE), or the source
// needed for cbInput destination bytes (ACM_STREAMSIZEF_DESTINATION).
MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t* pdwOutputBytes,
                       uint32_t fdwSize);
MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwPrepare);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwUnprepare);
MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwConvert);

// The details text of a format as the drivers show it: "44,100 kHz; 16 Bit; Stereo",
// "22,050 kHz; 4 Bit; Mono", "8,000 kHz; 8 Bit; Mono; A-Law", "8,000 kHz; Mono" (GSM),
// "128 kBit/s; 44,100 kHz; Stereo". A codec lists its own formats first, then the PCM
// formats it makes and takes.
std::string AcmFormatText(const TWaveFormat& format);

}  // namespace movara
