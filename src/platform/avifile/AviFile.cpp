// The calls of the AVI service: handles and references, stream information, formats,
// sample reads and key-frame search.
#include "platform/avifile/AviFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "platform/avifile/AviFileImpl.h"

namespace movara {

std::string AviErrorText(HRESULT result) {
  switch (result) {
    case AVIERR_OK: return "AVIERR_OK";
    case AVIERR_UNSUPPORTED: return "AVIERR_UNSUPPORTED";
    case AVIERR_BADFORMAT: return "AVIERR_BADFORMAT";
    case AVIERR_MEMORY: return "AVIERR_MEMORY";
    case AVIERR_INTERNAL: return "AVIERR_INTERNAL";
    case AVIERR_BADFLAGS: return "AVIERR_BADFLAGS";
    case AVIERR_BADPARAM: return "AVIERR_BADPARAM";
    case AVIERR_BADSIZE: return "AVIERR_BADSIZE";
    case AVIERR_BADHANDLE: return "AVIERR_BADHANDLE";
    case AVIERR_FILEREAD: return "AVIERR_FILEREAD";
    case AVIERR_FILEWRITE: return "AVIERR_FILEWRITE";
    case AVIERR_FILEOPEN: return "AVIERR_FILEOPEN";
    case AVIERR_COMPRESSOR: return "AVIERR_COMPRESSOR";
    case AVIERR_NOCOMPRESSOR: return "AVIERR_NOCOMPRESSOR";
    case AVIERR_READONLY: return "AVIERR_READONLY";
    case AVIERR_NODATA: return "AVIERR_NODATA";
    case AVIERR_BUFFERTOOSMALL: return "AVIERR_BUFFERTOOSMALL";
    case AVIERR_CANTCOMPRESS: return "AVIERR_CANTCOMPRESS";
    case AVIERR_USERABORT: return "AVIERR_USERABORT";
    case AVIERR_ERROR: return "AVIERR_ERROR";
    default: return Format("0x%08x", static_cast<unsigned>(result));
  }
}

void AVISTREAMINFO::Write(uint8_t* d) const {
  PutLE32(d + 0, fccType);
  PutLE32(d + 4, fccHandler);
  PutLE32(d + 8, dwFlags);
  PutLE32(d + 12, dwCaps);
  PutLE16(d + 16, wPriority);
  PutLE16(d + 18, wLanguage);
  PutLE32(d + 20, dwScale);
  PutLE32(d + 24, dwRate);
  PutLE32(d + 28, dwStart);
  PutLE32(d + 32, dwLength);
  PutLE32(d + 36, dwInitialFrames);
  PutLE32(d + 40, dwSuggestedBufferSize);
  PutLE32(d + 44, dwQuality);
  PutLE32(d + 48, dwSampleSize);
  PutLE32(d + 52, static_cast<uint32_t>(rcFrame.left));
  PutLE32(d + 56, static_cast<uint32_t>(rcFrame.top));
  PutLE32(d + 60, static_cast<uint32_t>(rcFrame.right));
  PutLE32(d + 64, static_cast<uint32_t>(rcFrame.bottom));
  PutLE32(d + 68, dwEditCount);
  PutLE32(d + 72, dwFormatChangeCount);
  std::memcpy(d + 76, szName, sizeof szName);
}

bool AVISTREAMINFO::Read(const uint8_t* d, size_t size) {
  if (d == nullptr || size < kSize) return false;
  TLEReader r(d, size);
  fccType = r.U32();
  fccHandler = r.U32();
  dwFlags = r.U32();
  dwCaps = r.U32();
  wPriority = r.U16();
  wLanguage = r.U16();
  dwScale = r.U32();
  dwRate = r.U32();
  dwStart = r.U32();
  dwLength = r.U32();
  dwInitialFrames = r.U32();
  dwSuggestedBufferSize = r.U32();
  dwQuality = r.U32();
  dwSampleSize = r.U32();
  rcFrame.left = r.I32();
  rcFrame.top = r.I32();
  rcFrame.right = r.I32();
  rcFrame.bottom = r.I32();
  dwEditCount = r.U32();
  dwFormatChangeCount = r.U32();
  std::memcpy(szName, d + 76, sizeof szName);
  szName[63] = 0;
  return true;
}

void AVISTREAMINFO::SetName(const std::string& name) {
  std::memset(szName, 0, sizeof szName);
  std::memcpy(szName, name.data(), std::min<size_t>(name.size(), sizeof szName - 1));
}

std::string AVISTREAMINFO::Name() const { return std::string(szName, strnlen(szName, sizeof szName)); }

// ---------------------------------------------------------------------------------
// Streams: reading.

AVISTREAMINFO TAviStream::Info() const {
  AVISTREAMINFO i = info_;
  if (file_->Writing()) {
    i.dwLength = static_cast<uint32_t>(std::min<uint64_t>(WrittenLength(), UINT32_MAX));
    i.dwSuggestedBufferSize = std::max(i.dwSuggestedBufferSize, maxChunk_);
  }
  return i;
}

HRESULT TAviStream::ReadFormat(void* format, int32_t* size) const {
  if (size == nullptr) return AVIERR_BADPARAM;
  if (!hasFormat_) {
    *size = 0;
    return AVIERR_NODATA;
  }
  const auto have = static_cast<int32_t>(format_.size());
  if (format == nullptr) {
    *size = have;
    return AVIERR_OK;
  }
  const int32_t room = std::max<int32_t>(*size, 0);
  std::memcpy(format, format_.data(), static_cast<size_t>(std::min(room, have)));
  *size = have;
  return room < have ? AVIERR_BUFFERTOOSMALL : AVIERR_OK;
}

const TAviIndexEntry* TAviStream::EntryAt(int64_t i) const {
  if (i < 0 || i >= static_cast<int64_t>(index_.size())) return nullptr;
  return &index_[static_cast<size_t>(i)];
}

// The header in front of a chunk's data names this stream and states the size the
// index gives (more when the file ends inside the chunk): an index that says otherwise
// would hand out bytes of another chunk. Checked at each read rather than when the file
// opens, where it would cost a read for every chunk of a long clip.
bool TAviStream::HeaderAgrees(const TAviIndexEntry& e, const uint8_t* header) const {
  if (e.size == 0) return true;
  uint8_t h[8];
  if (header == nullptr) {
    if (e.offset < 8 || file_->IO().ReadAt(e.offset - 8, h, 8) != 8) return false;
    header = h;
  }
  const FOURCC id = GetLE32(header);
  const uint32_t size = GetLE32(header + 4);
  const auto c2 = static_cast<uint8_t>(id >> 16), c3 = static_cast<uint8_t>(id >> 24);
  const bool ours = StreamFromChunkId(id) == number_ && c2 >= 'a' && c2 <= 'z' && c3 >= 'a' && c3 <= 'z';
  const bool sized = size == e.size || (size > e.size && e.offset + e.size >= file_->FileSize());
  if (ours && sized) return true;
  TraceF("[TAviFile] The index of stream %d disagrees with the chunk at %llu (%s, %u bytes, not %u): not read",
         number_, static_cast<unsigned long long>(e.offset - 8), FourCCToString(id).c_str(), size, e.size);
  return false;
}

HRESULT TAviStream::Read(int32_t start, int32_t samples, void* buffer, int32_t cbBuffer,
                         int32_t* plBytes, int32_t* plSamples) const {
  if (plBytes) *plBytes = 0;
  if (plSamples) *plSamples = 0;
  if (file_->Writing()) return AVIERR_UNSUPPORTED;
  if (cbBuffer < 0 || (samples < 0 && samples != AVISTREAMREAD_CONVENIENT)) return AVIERR_BADPARAM;
  const int64_t rel = int64_t(start) - Start();
  if (rel < 0 || rel >= Length()) return AVIERR_NODATA;
  if (samples == 0) return AVIERR_OK;
  TAviIO& io = file_->IO();

  if (sampleSize_ == 0) {
    // One chunk is one sample, read whole.
    const TAviIndexEntry* e = EntryAt(rel);
    if (e == nullptr) return AVIERR_NODATA;
    if (e->flags & kEntryMissing) return AVIERR_FILEREAD;
    const auto size = static_cast<int32_t>(std::min<uint32_t>(e->size, INT32_MAX));
    if (buffer == nullptr) {
      if (plBytes) *plBytes = size;
      if (plSamples) *plSamples = 1;
      return AVIERR_OK;
    }
    if (cbBuffer < size) {
      if (plBytes) *plBytes = size;
      return AVIERR_BUFFERTOOSMALL;
    }
    // The header with the data, in one read.
    uint8_t header[8];
    if (size > 0 && (e->offset < 8 || io.ReadAt2(e->offset - 8, header, 8, buffer, static_cast<size_t>(size)) !=
                                           8 + static_cast<size_t>(size)))
      return AVIERR_FILEREAD;
    if (size > 0 && !HeaderAgrees(*e, header)) return AVIERR_FILEREAD;
    if (plBytes) *plBytes = size;
    if (plSamples) *plSamples = 1;
    return AVIERR_OK;
  }

  // Fixed-size samples: a byte range of the stream, over as many chunks as it takes.
  const uint64_t ss = sampleSize_;
  const uint64_t firstByte = uint64_t(rel) * ss;
  const size_t count = index_.size();
  // The chunk that holds the first byte (the last chunk starting at or before it).
  size_t chunk = static_cast<size_t>(
      std::upper_bound(byteStart_.begin(), byteStart_.begin() + static_cast<std::ptrdiff_t>(count), firstByte) -
      byteStart_.begin());
  chunk = chunk > 0 ? chunk - 1 : 0;
  uint64_t n = samples == AVISTREAMREAD_CONVENIENT
                   ? std::max<uint64_t>(1, (byteStart_[chunk + 1] - firstByte) / ss)
                   : uint64_t(samples);
  n = std::min<uint64_t>(n, uint64_t(Length() - rel));
  n = std::min<uint64_t>(n, INT32_MAX / ss);
  if (n == 0) {  // a sample bigger than any read can hold
    return AVIERR_BADSIZE;
  }
  if (buffer == nullptr) {
    if (plBytes) *plBytes = static_cast<int32_t>(n * ss);
    if (plSamples) *plSamples = static_cast<int32_t>(n);
    return AVIERR_OK;
  }
  const uint64_t fit = uint64_t(cbBuffer) / ss;
  if (fit == 0) {
    if (plBytes) *plBytes = static_cast<int32_t>(ss);
    return AVIERR_BUFFERTOOSMALL;
  }
  n = std::min(n, fit);
  uint64_t want = n * ss;
  uint64_t at = firstByte;
  auto* out = static_cast<uint8_t*>(buffer);
  while (want > 0) {
    if (chunk >= count) return AVIERR_FILEREAD;
    const TAviIndexEntry& e = index_[chunk];
    if (e.flags & kEntryMissing) return AVIERR_FILEREAD;
    const uint64_t inChunk = at - byteStart_[chunk];
    const uint64_t take = std::min<uint64_t>(want, e.size - inChunk);
    if (take > 0 && inChunk == 0 && e.offset >= 8) {
      // From the chunk's start: its header comes with the data.
      uint8_t header[8];
      if (io.ReadAt2(e.offset - 8, header, 8, out, static_cast<size_t>(take)) != 8 + take ||
          !HeaderAgrees(e, header))
        return AVIERR_FILEREAD;
    } else if (take > 0) {
      // Inside a chunk: usually the one the last read ended in, whose header was seen.
      if (checkedChunk_.load(std::memory_order_relaxed) != chunk && !HeaderAgrees(e)) return AVIERR_FILEREAD;
      if (io.ReadAt(e.offset + inChunk, out, static_cast<size_t>(take)) != take) return AVIERR_FILEREAD;
    }
    checkedChunk_.store(chunk, std::memory_order_relaxed);
    out += take;
    at += take;
    want -= take;
    ++chunk;
  }
  if (plBytes) *plBytes = static_cast<int32_t>(n * ss);
  if (plSamples) *plSamples = static_cast<int32_t>(n);
  return AVIERR_OK;
}

int32_t TAviStream::FindSample(int32_t pos, int flags) const {
  const int64_t length = file_->Writing() ? static_cast<int64_t>(std::min<uint64_t>(WrittenLength(), INT32_MAX))
                                          : Length();
  if (length <= 0) return -1;
  int dir = flags & FIND_DIR;
  int64_t rel = int64_t(pos) - Start();
  if (dir & FIND_FROM_START) {
    rel = 0;
    dir = FIND_NEXT;
  }
  const bool next = (dir & FIND_NEXT) != 0;
  if (next) {
    if (rel < 0) rel = 0;
    if (rel >= length) return -1;
  } else {
    if (rel >= length) rel = length - 1;
    if (rel < 0) return -1;
  }

  const int type = flags & FIND_TYPE;
  int64_t found = rel;
  const bool writing = file_->Writing();
  const bool chunked = sampleSize_ == 0 && !writing;
  const bool frames = writing ? writeSampleSize_ == 0 : sampleSize_ == 0;
  if (type == FIND_FORMAT) {
    // The format never changes: its only change is at the start.
    found = next ? (rel == 0 ? 0 : -1) : 0;
  } else if (type == FIND_KEY && frames) {
    const auto it = next ? std::lower_bound(keys_.begin(), keys_.end(), rel)
                         : std::upper_bound(keys_.begin(), keys_.end(), rel);
    if (next)
      found = it == keys_.end() ? -1 : *it;
    else
      found = it == keys_.begin() ? -1 : *(it - 1);
  } else if (type == FIND_ANY && chunked) {
    found = -1;
    if (next) {
      for (int64_t k = rel; k < length; ++k)
        if (index_[static_cast<size_t>(k)].size > 0) {
          found = k;
          break;
        }
    } else {
      for (int64_t k = rel; k >= 0; --k)
        if (index_[static_cast<size_t>(k)].size > 0) {
          found = k;
          break;
        }
    }
  }
  if (found < 0) return -1;

  switch (flags & FIND_RET) {
    case FIND_LENGTH:
    case FIND_SIZE: {
      if (writing) return writeSampleSize_ ? static_cast<int32_t>(std::min<uint32_t>(writeSampleSize_, INT32_MAX)) : -1;
      if (!chunked) return static_cast<int32_t>(std::min<uint32_t>(sampleSize_, INT32_MAX));
      return static_cast<int32_t>(std::min<uint32_t>(index_[static_cast<size_t>(found)].size, INT32_MAX));
    }
    case FIND_OFFSET: {
      if (writing) return -1;
      uint64_t offset;
      if (chunked) {
        offset = index_[static_cast<size_t>(found)].offset;
      } else {
        const uint64_t b = uint64_t(found) * sampleSize_;
        const auto it = std::upper_bound(byteStart_.begin(), byteStart_.end() - 1, b);
        const size_t c = static_cast<size_t>(it - byteStart_.begin()) - 1;
        offset = index_[c].offset + (b - byteStart_[c]);
      }
      return offset > INT32_MAX ? -1 : static_cast<int32_t>(offset);
    }
    case FIND_INDEX:
      return static_cast<int32_t>(found);
    default:
      return static_cast<int32_t>(found + Start());
  }
}

// ---------------------------------------------------------------------------------
// Files.

TAviFile::TAviFile(std::shared_ptr<TAviIO> io, bool writing, const TAviWriteOptions& options)
    : io_(std::move(io)), writing_(writing), options_(options) {
  options_.riffLimit = std::clamp<uint64_t>(options_.riffLimit, 4096, (uint64_t(1) << 31) - (uint64_t(64) << 20));
  options_.superIndexEntries = std::clamp<uint32_t>(options_.superIndexEntries, 1, 1u << 20);
}

TAviFile::~TAviFile() = default;

TAviStream* TAviFile::StreamOf(FOURCC type, int32_t index) const {
  if (index < 0) return nullptr;
  int32_t seen = 0;
  for (const auto& s : streams_) {
    if (type != 0 && s->info_.fccType != type) continue;
    if (seen++ == index) return s.get();
  }
  return nullptr;
}

AVIFILEINFO TAviFile::FileInfo() const {
  AVIFILEINFO fi;
  fi.dwMaxBytesPerSec = maxBytesPerSec_;
  fi.dwFlags = avihFlags_;
  fi.dwStreams = static_cast<uint32_t>(streams_.size());
  fi.dwSuggestedBufferSize = suggestedBuffer_;
  fi.dwWidth = width_;
  fi.dwHeight = height_;
  fi.dwScale = usPerFrame_;
  fi.dwRate = usPerFrame_ ? 1000000 : 0;
  fi.dwLength = totalFrames_;
  if (const TAviStream* v = StreamOf(streamtypeVIDEO, 0)) {
    const AVISTREAMINFO i = v->Info();
    fi.dwLength = i.dwLength;
    if (i.dwScale && i.dwRate) {
      fi.dwScale = i.dwScale;
      fi.dwRate = i.dwRate;
    }
    if (fi.dwWidth == 0 || fi.dwHeight == 0) {
      fi.dwWidth = static_cast<uint32_t>(std::max(0, i.rcFrame.right - i.rcFrame.left));
      fi.dwHeight = static_cast<uint32_t>(std::max(0, i.rcFrame.bottom - i.rcFrame.top));
    }
  }
  std::snprintf(fi.szFileType, sizeof fi.szFileType, "%s", "AVI");
  return fi;
}

// ---------------------------------------------------------------------------------
// The calls.

void AVIFileInit() {}
void AVIFileExit() {}

HRESULT AVIFileOpenIO(PAVIFILE* ppfile, std::shared_ptr<TAviIO> io, unsigned mode,
                      const TAviWriteOptions* options) {
  if (ppfile == nullptr) return AVIERR_BADPARAM;
  *ppfile = nullptr;
  if (!io) return AVIERR_FILEOPEN;
  const bool write = (mode & (OF_WRITE | OF_READWRITE)) != 0;
  if (write && !(mode & OF_CREATE)) return AVIERR_UNSUPPORTED;  // no editing of existing files
  auto file = std::make_unique<TAviFile>(std::move(io), write, options ? *options : TAviWriteOptions());
  if (write) {
    if (!file->IO().Truncate(0)) return AVIERR_FILEOPEN;
  } else {
    const HRESULT r = file->OpenRead();
    if (r != AVIERR_OK) return r;
  }
  *ppfile = file.release();
  return AVIERR_OK;
}

HRESULT AVIFileOpen(PAVIFILE* ppfile, const std::string& fileName, unsigned mode,
                    const TAviWriteOptions* options) {
  if (ppfile == nullptr) return AVIERR_BADPARAM;
  *ppfile = nullptr;
  const bool write = (mode & (OF_WRITE | OF_READWRITE)) != 0;
  if (write && !(mode & OF_CREATE)) return AVIERR_UNSUPPORTED;
  std::shared_ptr<TAviIO> io = OpenAviFileIO(fileName, write);
  if (!io) return AVIERR_FILEOPEN;
  return AVIFileOpenIO(ppfile, std::move(io), mode, options);
}

HRESULT AVIFileWriteHeader(PAVIFILE pfile) {
  if (pfile == nullptr) return AVIERR_BADHANDLE;
  if (!pfile->Writing()) return AVIERR_READONLY;
  return pfile->WriteHeader();
}

int AVIFileSystemError(PAVIFILE pfile) { return pfile ? pfile->IO().LastError() : 0; }

uint32_t AVIFileAddRef(PAVIFILE pfile) {
  if (pfile == nullptr) return 0;
  return ++pfile->refs;
}

uint32_t AVIFileRelease(PAVIFILE pfile) {
  if (pfile == nullptr) return 0;
  const uint32_t left = --pfile->refs;
  if (left == 0) {
    if (pfile->Writing()) pfile->Finalise();
    delete pfile;
  }
  return left;
}

HRESULT AVIFileInfo(PAVIFILE pfile, AVIFILEINFO* pfi, int32_t size) {
  if (pfile == nullptr || pfi == nullptr || size < 0) return AVIERR_BADPARAM;
  const AVIFILEINFO fi = pfile->FileInfo();
  std::memcpy(pfi, &fi, std::min<size_t>(size_t(size), sizeof fi));
  return AVIERR_OK;
}

HRESULT AVIFileGetStream(PAVIFILE pfile, PAVISTREAM* ppavi, FOURCC fccType, int32_t lParam) {
  if (ppavi == nullptr) return AVIERR_BADPARAM;
  *ppavi = nullptr;
  if (pfile == nullptr) return AVIERR_BADHANDLE;
  TAviStream* s = pfile->StreamOf(fccType, lParam);
  if (s == nullptr) return AVIERR_NODATA;
  AVIStreamAddRef(s);
  *ppavi = s;
  return AVIERR_OK;
}

HRESULT AVIFileCreateStream(PAVIFILE pfile, PAVISTREAM* ppavi, const AVISTREAMINFO* psi) {
  if (ppavi == nullptr) return AVIERR_BADPARAM;
  *ppavi = nullptr;
  if (pfile == nullptr) return AVIERR_BADHANDLE;
  if (psi == nullptr) return AVIERR_BADPARAM;
  TAviStream* s = nullptr;
  const HRESULT r = pfile->CreateStream(*psi, &s);
  if (r != AVIERR_OK) return r;
  AVIStreamAddRef(s);
  *ppavi = s;
  return AVIERR_OK;
}

uint32_t AVIStreamAddRef(PAVISTREAM pavi) {
  if (pavi == nullptr) return 0;
  ++pavi->File()->refs;  // a stream keeps its file open
  return ++pavi->refs;
}

uint32_t AVIStreamRelease(PAVISTREAM pavi) {
  if (pavi == nullptr) return 0;
  uint32_t cur = pavi->refs.load();
  do {
    if (cur == 0) return 0;  // released more often than referenced: ignore
  } while (!pavi->refs.compare_exchange_weak(cur, cur - 1));
  AVIFileRelease(pavi->File());
  return cur - 1;
}

HRESULT AVIStreamInfo(PAVISTREAM pavi, AVISTREAMINFO* psi, int32_t size) {
  if (pavi == nullptr) return AVIERR_BADHANDLE;
  if (psi == nullptr || size < 0) return AVIERR_BADPARAM;
  const AVISTREAMINFO i = pavi->Info();
  std::memcpy(psi, &i, std::min<size_t>(size_t(size), sizeof i));
  return AVIERR_OK;
}

int32_t AVIStreamStart(PAVISTREAM pavi) { return pavi ? pavi->Start() : -1; }

int32_t AVIStreamLength(PAVISTREAM pavi) {
  if (pavi == nullptr) return -1;
  return static_cast<int32_t>(std::min<uint32_t>(pavi->Info().dwLength, INT32_MAX));
}

HRESULT AVIStreamReadFormat(PAVISTREAM pavi, int32_t /*pos*/, void* lpFormat, int32_t* pcbFormat) {
  if (pavi == nullptr) return AVIERR_BADHANDLE;
  return pavi->ReadFormat(lpFormat, pcbFormat);
}

HRESULT AVIStreamRead(PAVISTREAM pavi, int32_t start, int32_t samples, void* buffer, int32_t cbBuffer,
                      int32_t* plBytes, int32_t* plSamples) {
  if (pavi == nullptr) return AVIERR_BADHANDLE;
  return pavi->Read(start, samples, buffer, cbBuffer, plBytes, plSamples);
}

int32_t AVIStreamFindSample(PAVISTREAM pavi, int32_t pos, int flags) {
  if (pavi == nullptr) return -1;
  return pavi->FindSample(pos, flags);
}

int32_t AVIStreamSampleToTime(PAVISTREAM pavi, int32_t sample) {
  if (pavi == nullptr) return -1;
  const AVISTREAMINFO& i = pavi->info_;
  int64_t ms = 0;
  if (i.dwRate == 0 || !MulDivRound(sample, int64_t(i.dwScale) * 1000, i.dwRate, ms)) return -1;
  return static_cast<int32_t>(std::clamp<int64_t>(ms, INT32_MIN, INT32_MAX));
}

int32_t AVIStreamTimeToSample(PAVISTREAM pavi, int32_t timeMs) {
  if (pavi == nullptr) return -1;
  const AVISTREAMINFO& i = pavi->info_;
  int64_t sample = 0;
  if (i.dwScale == 0 || !MulDivRound(timeMs, i.dwRate, int64_t(i.dwScale) * 1000, sample)) return -1;
  return static_cast<int32_t>(std::clamp<int64_t>(sample, INT32_MIN, INT32_MAX));
}

HRESULT AVIStreamSetFormat(PAVISTREAM pavi, int32_t /*pos*/, const void* lpFormat, int32_t cbFormat) {
  if (pavi == nullptr) return AVIERR_BADHANDLE;
  return pavi->SetFormat(lpFormat, cbFormat);
}

HRESULT AVIStreamWrite(PAVISTREAM pavi, int32_t start, int32_t samples, const void* buffer, int32_t cbBuffer,
                       uint32_t flags, int32_t* plSampWritten, int32_t* plBytesWritten) {
  if (plSampWritten) *plSampWritten = 0;
  if (plBytesWritten) *plBytesWritten = 0;
  if (pavi == nullptr) return AVIERR_BADHANDLE;
  return pavi->Write(start, samples, buffer, cbBuffer, flags, plSampWritten, plBytesWritten);
}

}  // namespace movara
