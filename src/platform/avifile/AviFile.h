#pragma once
// The AVI file service: open an AVI for reading, get its streams, read formats and
// samples, find key frames; create an AVI, add streams, set their formats and write
// samples. The calls, their arguments and their results are those of the platform's
// AVIFile service, so the program above reads as designed:
//
//   PAVIFILE file;
//   if (AVIFileOpen(&file, name, OF_READ | OF_SHARE_DENY_WRITE) != AVIERR_OK) ...
//   PAVISTREAM video;
//   AVIFileGetStream(file, &video, streamtypeVIDEO, 0);
//   AVIStreamRead(video, n, 1, nullptr, 0, &bytes, &samples);  // size of frame n
//   ...
//   AVIStreamRelease(video);
//   AVIFileRelease(file);
//
// Reading understands AVI 1.0 (idx1 index, offsets relative to the movi list or
// absolute) and OpenDML (indx super indexes, ix## standard indexes, AVIX parts past
// 1 GB and 4 GB); a file without a usable index is indexed by walking its movi lists.
// Writing makes an AVI 1.0 file that continues in OpenDML parts before a RIFF part
// would pass its size limit (1 GB), so the file is valid at any size.
//
// Handles are reference counted: a stream holds a reference to its file, and the file
// is closed (and, when written, finalised) when the last reference goes.
// Reading calls on one file may come from several threads; writing is for one thread.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/avifile/RiffTypes.h"

namespace movara {

class TAviFile;
class TAviStream;
class TAviIO;
using PAVIFILE = TAviFile*;
using PAVISTREAM = TAviStream*;
using HRESULT = int32_t;

// Results: 0 is success, errors are the platform's values (negative as int32).
constexpr HRESULT MAKE_AVIERR(int error) {
  return static_cast<HRESULT>(0x80044000u + static_cast<uint32_t>(error));
}
inline constexpr HRESULT AVIERR_OK = 0;
inline constexpr HRESULT AVIERR_UNSUPPORTED = MAKE_AVIERR(101);
inline constexpr HRESULT AVIERR_BADFORMAT = MAKE_AVIERR(102);
inline constexpr HRESULT AVIERR_MEMORY = MAKE_AVIERR(103);
inline constexpr HRESULT AVIERR_INTERNAL = MAKE_AVIERR(104);
inline constexpr HRESULT AVIERR_BADFLAGS = MAKE_AVIERR(105);
inline constexpr HRESULT AVIERR_BADPARAM = MAKE_AVIERR(106);
inline constexpr HRESULT AVIERR_BADSIZE = MAKE_AVIERR(107);
inline constexpr HRESULT AVIERR_BADHANDLE = MAKE_AVIERR(108);
inline constexpr HRESULT AVIERR_FILEREAD = MAKE_AVIERR(109);
inline constexpr HRESULT AVIERR_FILEWRITE = MAKE_AVIERR(110);
inline constexpr HRESULT AVIERR_FILEOPEN = MAKE_AVIERR(111);
inline constexpr HRESULT AVIERR_COMPRESSOR = MAKE_AVIERR(112);
inline constexpr HRESULT AVIERR_NOCOMPRESSOR = MAKE_AVIERR(113);
inline constexpr HRESULT AVIERR_READONLY = MAKE_AVIERR(114);
inline constexpr HRESULT AVIERR_NODATA = MAKE_AVIERR(115);
inline constexpr HRESULT AVIERR_BUFFERTOOSMALL = MAKE_AVIERR(116);
inline constexpr HRESULT AVIERR_CANTCOMPRESS = MAKE_AVIERR(117);
inline constexpr HRESULT AVIERR_USERABORT = MAKE_AVIERR(198);
inline constexpr HRESULT AVIERR_ERROR = MAKE_AVIERR(199);

// Text of a result for trace lines ("AVIERR_NODATA", "0x80044073" for unknown values).
std::string AviErrorText(HRESULT result);

// Open modes (the sharing flags are accepted and have no effect).
inline constexpr unsigned OF_READ = 0x0000;
inline constexpr unsigned OF_WRITE = 0x0001;
inline constexpr unsigned OF_READWRITE = 0x0002;
inline constexpr unsigned OF_SHARE_EXCLUSIVE = 0x0010;
inline constexpr unsigned OF_SHARE_DENY_WRITE = 0x0020;
inline constexpr unsigned OF_SHARE_DENY_READ = 0x0030;
inline constexpr unsigned OF_SHARE_DENY_NONE = 0x0040;
inline constexpr unsigned OF_CREATE = 0x1000;

// Index flags of a sample.
inline constexpr uint32_t AVIIF_LIST = 0x00000001;
inline constexpr uint32_t AVIIF_KEYFRAME = 0x00000010;
inline constexpr uint32_t AVIIF_NOTIME = 0x00000100;

// Main header flags.
inline constexpr uint32_t AVIF_HASINDEX = 0x00000010;
inline constexpr uint32_t AVIF_MUSTUSEINDEX = 0x00000020;
inline constexpr uint32_t AVIF_ISINTERLEAVED = 0x00000100;
inline constexpr uint32_t AVIF_TRUSTCKTYPE = 0x00000800;

// AVIStreamFindSample: direction, what to find, what to return.
inline constexpr int FIND_DIR = 0x0000000F;
inline constexpr int FIND_NEXT = 0x00000001;
inline constexpr int FIND_PREV = 0x00000004;
inline constexpr int FIND_FROM_START = 0x00000008;
inline constexpr int FIND_TYPE = 0x000000F0;
inline constexpr int FIND_KEY = 0x00000010;
inline constexpr int FIND_ANY = 0x00000020;
inline constexpr int FIND_FORMAT = 0x00000040;
inline constexpr int FIND_RET = 0x0000F000;
inline constexpr int FIND_POS = 0x00000000;
inline constexpr int FIND_LENGTH = 0x00001000;
inline constexpr int FIND_OFFSET = 0x00002000;
inline constexpr int FIND_SIZE = 0x00003000;
inline constexpr int FIND_INDEX = 0x00004000;

// AVIStreamRead with this sample count reads what is convenient: one frame, or the
// rest of the sound chunk that holds the start.
inline constexpr int32_t AVISTREAMREAD_CONVENIENT = -1;

struct RECT {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool operator==(const RECT&) const = default;
};

// The 140-byte stream information.
struct AVISTREAMINFO {
  static constexpr size_t kSize = 140;
  FOURCC fccType = 0;
  FOURCC fccHandler = 0;
  uint32_t dwFlags = 0;
  uint32_t dwCaps = 0;
  uint16_t wPriority = 0;
  uint16_t wLanguage = 0;
  uint32_t dwScale = 0;
  uint32_t dwRate = 0;  // dwRate / dwScale = samples per second
  uint32_t dwStart = 0;
  uint32_t dwLength = 0;
  uint32_t dwInitialFrames = 0;
  uint32_t dwSuggestedBufferSize = 0;
  uint32_t dwQuality = 0;  // 0xFFFFFFFF (-1): the default quality
  uint32_t dwSampleSize = 0;  // 0: samples of varying size, one chunk each
  RECT rcFrame;
  uint32_t dwEditCount = 0;
  uint32_t dwFormatChangeCount = 0;
  char szName[64] = {};

  // The platform's byte layout (used where the record is stored or compared whole).
  void Write(uint8_t* data) const;  // exactly kSize bytes
  bool Read(const uint8_t* data, size_t size);
  // Sets szName, cut to 63 bytes.
  void SetName(const std::string& name);
  std::string Name() const;
};
static_assert(sizeof(AVISTREAMINFO) == AVISTREAMINFO::kSize, "the stream information has 140 bytes");

struct AVIFILEINFO {
  uint32_t dwMaxBytesPerSec = 0;
  uint32_t dwFlags = 0;  // AVIF_*
  uint32_t dwCaps = 0;
  uint32_t dwStreams = 0;
  uint32_t dwSuggestedBufferSize = 0;
  uint32_t dwWidth = 0;
  uint32_t dwHeight = 0;
  uint32_t dwScale = 0;
  uint32_t dwRate = 0;
  uint32_t dwLength = 0;
  uint32_t dwEditCount = 0;
  char szFileType[64] = {};
};

// Settings of a file opened for writing.
struct TAviWriteOptions {
  // A RIFF part ends before it would pass this size; the next data goes into a new
  // "AVIX" part (OpenDML). Kept between 4 KB and 2 GB - 64 MB.
  uint64_t riffLimit = uint64_t(1) << 30;
  // Room for parts in each stream's super index ("indx"), fixed when the file starts.
  uint32_t superIndexEntries = 256;
};

// Start and end of the service (nothing to set up; kept for the call order).
void AVIFileInit();
void AVIFileExit();

// Opens name for reading (OF_READ) or creates it for writing (OF_WRITE | OF_CREATE).
// Results: AVIERR_FILEOPEN when the file cannot be opened or made, AVIERR_BADFORMAT when
// it is not an AVI; *ppfile is nullptr on failure.
HRESULT AVIFileOpen(PAVIFILE* ppfile, const std::string& fileName, unsigned mode,
                    const TAviWriteOptions* options = nullptr);
// The same on any byte store (memory, a file): tests and the fuzz target use it.
HRESULT AVIFileOpenIO(PAVIFILE* ppfile, std::shared_ptr<TAviIO> io, unsigned mode,
                      const TAviWriteOptions* options = nullptr);
uint32_t AVIFileAddRef(PAVIFILE pfile);
// Returns the references left; at 0 the file is finalised (when written) and closed.
uint32_t AVIFileRelease(PAVIFILE pfile);
HRESULT AVIFileInfo(PAVIFILE pfile, AVIFILEINFO* pfi, int32_t size);
// The lParam-th stream of type fccType (0: of any type). AVIERR_NODATA when none.
HRESULT AVIFileGetStream(PAVIFILE pfile, PAVISTREAM* ppavi, FOURCC fccType, int32_t lParam);
// Adds a stream to a file being written (before its first sample is written).
HRESULT AVIFileCreateStream(PAVIFILE pfile, PAVISTREAM* ppavi, const AVISTREAMINFO* psi);
// Writes the header of a file being written now, once every stream has its format, so
// that a disk without room for it shows before any sample is made; the file is the same
// as when the first sample writes it. AVIERR_FILEWRITE when it does not fit (the file is
// then empty), AVIERR_BADFORMAT when a stream has no format yet.
HRESULT AVIFileWriteHeader(PAVIFILE pfile);
// The system's error (errno) of the file's last failed write; 0 when none failed.
int AVIFileSystemError(PAVIFILE pfile);

uint32_t AVIStreamAddRef(PAVISTREAM pavi);
uint32_t AVIStreamRelease(PAVISTREAM pavi);
// Copies the stream information (up to size bytes of it).
HRESULT AVIStreamInfo(PAVISTREAM pavi, AVISTREAMINFO* psi, int32_t size);
int32_t AVIStreamStart(PAVISTREAM pavi);   // -1 for a bad handle
int32_t AVIStreamLength(PAVISTREAM pavi);  // -1 for a bad handle
inline int32_t AVIStreamEnd(PAVISTREAM pavi) { return AVIStreamStart(pavi) + AVIStreamLength(pavi); }
// Without a buffer, *pcbFormat gets the format size; with one, up to *pcbFormat bytes
// are copied and *pcbFormat gets the format size (AVIERR_BUFFERTOOSMALL when it did not
// fit). AVIERR_NODATA when the stream has no format.
HRESULT AVIStreamReadFormat(PAVISTREAM pavi, int32_t pos, void* lpFormat, int32_t* pcbFormat);
// Reads samples from start. Without a buffer, gives the bytes and samples a read would
// deliver. A frame (samples of varying size) is read whole or not at all
// (AVIERR_BUFFERTOOSMALL); fixed-size samples are read as many as fit. AVIERR_NODATA
// outside the stream, AVIERR_FILEREAD when the data is not in the file.
HRESULT AVIStreamRead(PAVISTREAM pavi, int32_t start, int32_t samples, void* buffer,
                      int32_t cbBuffer, int32_t* plBytes, int32_t* plSamples);
// The position of the sample found (or what FIND_RET asks for), -1 when none.
int32_t AVIStreamFindSample(PAVISTREAM pavi, int32_t pos, int flags);
inline int32_t AVIStreamNextKeyFrame(PAVISTREAM pavi, int32_t pos) {
  return AVIStreamFindSample(pavi, pos + 1, FIND_NEXT | FIND_KEY);
}
inline int32_t AVIStreamPrevKeyFrame(PAVISTREAM pavi, int32_t pos) {
  return AVIStreamFindSample(pavi, pos - 1, FIND_PREV | FIND_KEY);
}
inline int32_t AVIStreamNearestKeyFrame(PAVISTREAM pavi, int32_t pos) {
  return AVIStreamFindSample(pavi, pos, FIND_PREV | FIND_KEY);
}
inline bool AVIStreamIsKeyFrame(PAVISTREAM pavi, int32_t pos) {
  return pos >= 0 && AVIStreamNearestKeyFrame(pavi, pos) == pos;
}
inline HRESULT AVIStreamFormatSize(PAVISTREAM pavi, int32_t pos, int32_t* plSize) {
  return AVIStreamReadFormat(pavi, pos, nullptr, plSize);
}
inline HRESULT AVIStreamSampleSize(PAVISTREAM pavi, int32_t pos, int32_t* plSize) {
  return AVIStreamRead(pavi, pos, 1, nullptr, 0, plSize, nullptr);
}
// Milliseconds of a sample position and back (rounded to nearest); -1 when the stream
// has no rate.
int32_t AVIStreamSampleToTime(PAVISTREAM pavi, int32_t sample);
int32_t AVIStreamTimeToSample(PAVISTREAM pavi, int32_t timeMs);

// Sets the format of a stream being written; it cannot change after the first sample.
HRESULT AVIStreamSetFormat(PAVISTREAM pavi, int32_t pos, const void* lpFormat, int32_t cbFormat);
// Writes samples at start (-1: after the last). A stream of varying sample size takes
// one sample per call; a gap before start is filled with empty frames. A stream with a
// sample size appends whole samples (the data size must be a multiple of it) and takes
// the count from the size. AVIIF_KEYFRAME in flags marks a key frame.
HRESULT AVIStreamWrite(PAVISTREAM pavi, int32_t start, int32_t samples, const void* buffer,
                       int32_t cbBuffer, uint32_t flags, int32_t* plSampWritten,
                       int32_t* plBytesWritten);

// Releases a handle held in a smart pointer: std::unique_ptr<TAviFile, TAviReleaser>.
struct TAviReleaser {
  void operator()(TAviFile* f) const { AVIFileRelease(f); }
  void operator()(TAviStream* s) const { AVIStreamRelease(s); }
};
using TAviFilePtr = std::unique_ptr<TAviFile, TAviReleaser>;
using TAviStreamPtr = std::unique_ptr<TAviStream, TAviReleaser>;

}  // namespace movara
