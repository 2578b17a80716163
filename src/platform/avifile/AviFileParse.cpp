// Opening an AVI for reading: the RIFF structure, the stream headers and formats, and
// the index of every stream (OpenDML indexes, idx1, or a walk through the movi lists).
// Nothing here trusts a size or a count from the file: every read is checked against
// the file's end, and the index never holds more entries than the file has room for
// chunks, so a damaged file costs no more memory or time than an intact one. An index
// is believed only when its chunks lie inside the movi lists without overlapping one
// another (a lie about a size or an offset runs into another chunk or out of the list);
// one that does not is dropped for a walk through the movi lists, as for a file without
// an index. This costs no read: the chunk headers themselves are checked when a chunk
// is read (AviFile.cpp), so opening a long clip stays as fast as before.
#include <algorithm>
#include <cstring>
#include <set>

#include "base/Trace.h"
#include "platform/avifile/AviFileImpl.h"

namespace movara {
namespace {

// Reads through a window of the file: walking chunk headers and indexes costs one
// positioned read per window, not per field.
class TReadCache {
 public:
  TReadCache(TAviIO& io, uint64_t size, size_t window) : io_(io), size_(size), window_(window) {}

  // Exactly n bytes at offset; false when the file ends before.
  bool Read(uint64_t offset, void* dst, size_t n) {
    if (offset > size_ || n > size_ - offset) return false;
    if (n == 0) return true;
    if (n > window_) return io_.ReadAt(offset, dst, n) == n;
    if (offset < start_ || offset + n > start_ + len_) {
      if (buf_.empty()) buf_.resize(window_);
      const size_t want = static_cast<size_t>(std::min<uint64_t>(window_, size_ - offset));
      start_ = offset;
      len_ = io_.ReadAt(offset, buf_.data(), want);
      if (len_ < n) return false;
    }
    std::memcpy(dst, buf_.data() + (offset - start_), n);
    return true;
  }

  bool U32(uint64_t offset, uint32_t& v) {
    uint8_t b[4];
    if (!Read(offset, b, 4)) return false;
    v = GetLE32(b);
    return true;
  }

 private:
  TAviIO& io_;
  uint64_t size_;
  size_t window_;
  std::vector<uint8_t> buf_;
  uint64_t start_ = 0;
  size_t len_ = 0;
};

// A movi list: where its chunks begin and end.
struct TMovi {
  uint64_t fourccPos;  // the "movi" type code: idx1 offsets count from here
  uint64_t begin;
  uint64_t end;
  bool firstRiff;
};

// How far the walk through a damaged movi list looks for the next chunk.
constexpr uint64_t kResyncLimit = 1 << 20;
constexpr size_t kWalkWindow = 32 * 1024;

// Where an index puts a chunk's data.
struct TSpan {
  uint64_t offset;  // past the 8-byte header
  uint64_t size;
};

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsLower(uint8_t c) { return c >= 'a' && c <= 'z'; }

// "ix00" or "00ix": a standard index chunk.
bool IsIndexChunk(FOURCC id) {
  const auto b0 = static_cast<uint8_t>(id), b1 = static_cast<uint8_t>(id >> 8),
             b2 = static_cast<uint8_t>(id >> 16), b3 = static_cast<uint8_t>(id >> 24);
  return (b0 == 'i' && b1 == 'x' && IsDigit(b2) && IsDigit(b3)) ||
         (IsDigit(b0) && IsDigit(b1) && b2 == 'i' && b3 == 'x');
}

class TAviParser {
 public:
  explicit TAviParser(TAviFile& f)
      : f_(f), size_(f.FileSize()), cache_(f.IO(), size_, kWalkWindow) {}
  HRESULT Run();

 private:
  bool Header(uint64_t pos, uint64_t end, FOURCC& id, uint32_t& size);
  uint64_t Next(uint64_t pos, uint32_t size, uint64_t end);
  uint64_t WalkRiff(uint64_t begin, uint64_t end, bool first);
  void ParseHdrl(uint64_t begin, uint64_t end);
  void ParseStrl(uint64_t begin, uint64_t end);
  void ParseOdml(uint64_t begin, uint64_t end);
  void BuildIndexes();
  bool ReadSuperIndex(TAviStream& s, uint64_t pos, uint32_t size);
  void ReadStdIndex(TAviStream& s, uint64_t pos);
  bool ReadStdEntries(TAviStream& s, uint64_t pos, uint32_t count, uint32_t stride, uint64_t base);
  bool ReadIdx1(const std::vector<bool>& want);
  void WalkMovi(const TMovi& m, const std::vector<bool>& want);
  bool IsStreamChunk(FOURCC id) const;
  bool StreamChunkAt(uint64_t pos);
  bool Plausible(std::vector<TSpan>& spans, bool firstRiffOnly);
  bool GapHoldsChunks(const TSpan& a, const TSpan& b);
  uint64_t MoviEnd(size_t movi, bool forIdx1) const;
  bool AddEntry(TAviStream& s, uint64_t offset, uint64_t size, bool key);
  // Forgets what was read of the stream's index (its entries no longer count against
  // the budget).
  void DropIndex(TAviStream& s, const char* what);
  void Finish(TAviStream& s);

  TAviFile& f_;
  uint64_t size_;
  TReadCache cache_;
  bool haveHdrl_ = false;
  // A movi list left open by a writer that never finished: it runs to the end of the
  // file, and no part follows it.
  bool openEnded_ = false;
  std::vector<TMovi> movis_;
  bool haveIdx1_ = false;
  uint64_t idx1Pos_ = 0;
  uint64_t idx1Size_ = 0;
  struct TSuperIndexAt {
    uint64_t pos = 0;
    uint32_t size = 0;
  };
  std::vector<TSuperIndexAt> indx_;
  uint64_t budget_ = 0;
  uint64_t entries_ = 0;
  bool lied_ = false;  // the index being read points at a chunk that is not what it says
};

bool TAviParser::Header(uint64_t pos, uint64_t end, FOURCC& id, uint32_t& size) {
  if (pos > end || end - pos < 8) return false;
  uint8_t b[8];
  if (!cache_.Read(pos, b, 8)) return false;
  id = GetLE32(b);
  size = GetLE32(b + 4);
  return true;
}

// The next chunk after one of the given size. Chunks are padded to even sizes, but
// some writers leave out the pad byte: then the unpadded position holds a chunk id and
// the padded one does not.
uint64_t TAviParser::Next(uint64_t pos, uint32_t size, uint64_t end) {
  const uint64_t unpadded = pos + 8 + size;
  if ((size & 1) == 0) return unpadded;
  const uint64_t padded = unpadded + 1;
  uint32_t a = 0, b = 0;
  if (padded + 4 <= end && cache_.U32(padded, a) && IsPrintableFourCC(a)) return padded;
  if (unpadded + 4 <= end && cache_.U32(unpadded, b) && IsPrintableFourCC(b)) return unpadded;
  return padded;
}

HRESULT TAviParser::Run() {
  FOURCC id;
  uint32_t riffSize;
  uint32_t form = 0;
  if (!Header(0, size_, id, riffSize) || id != ckidRIFF || !cache_.U32(8, form) ||
      form != formtypeAVI)
    return AVIERR_BADFORMAT;
  // A size of 0 is left by a writer that never finished; a size past the end of the
  // file by a truncation: both run to the end of the file.
  const bool riffUnknown = riffSize < 4 || uint64_t(riffSize) + 8 > size_;
  const uint64_t riffEnd = riffUnknown ? size_ : uint64_t(riffSize) + 8;
  const uint64_t stop = WalkRiff(12, riffEnd, true);
  if (!haveHdrl_ || f_.streams_.empty()) return AVIERR_BADFORMAT;

  // OpenDML: further RIFF "AVIX" parts follow the first (where the walk of a first part
  // of unknown size met one).
  uint64_t pos = riffUnknown ? stop : riffEnd + (riffSize & 1);
  while (!openEnded_ && Header(pos, size_, id, riffSize)) {
    if (id == ckidRIFF) {
      uint32_t type = 0;
      if (!cache_.U32(pos + 8, type) || type != formtypeAVIX) break;
      const bool unknown = riffSize < 4 || pos + 8 + riffSize > size_;
      const uint64_t partStop = WalkRiff(pos + 12, unknown ? size_ : pos + 8 + riffSize, false);
      if (unknown) {
        pos = partStop;
        continue;
      }
    } else if (!IsPrintableFourCC(id)) {
      break;
    }
    pos = Next(pos, riffSize, size_);
  }

  BuildIndexes();
  for (auto& s : f_.streams_) Finish(*s);
  return AVIERR_OK;
}

// Walks the chunks of a RIFF part; returns where the walk stopped. A part of unknown
// size (a writer that never finished) ends at the next "RIFF": there the next part
// begins.
uint64_t TAviParser::WalkRiff(uint64_t begin, uint64_t end, bool first) {
  uint64_t pos = begin;
  FOURCC id;
  uint32_t size;
  while (Header(pos, end, id, size)) {
    const uint64_t dataEnd = std::min<uint64_t>(pos + 8 + uint64_t(size), end);
    if (id == ckidLIST) {
      uint32_t type = 0;
      if (!cache_.U32(pos + 8, type) || pos + 12 > end) break;
      if (type == listtypeAVIHEADER && first && !haveHdrl_) {
        haveHdrl_ = true;
        ParseHdrl(pos + 12, std::max(dataEnd, pos + 12));
      } else if (type == listtypeAVIMOVIE) {
        // An unfinished list (size 0) or one past the end runs to the end of the part.
        // A list that holds only its type while stream chunks follow it was never
        // closed (our writer starts each list so): its chunks run to the end of the
        // file, whatever the part's own size says.
        const bool open = size == 4 && StreamChunkAt(pos + 12);
        const bool unknown = size < 4 || pos + 8 + uint64_t(size) > end;
        if (open) {
          movis_.push_back({pos + 8, pos + 12, size_, first});
          openEnded_ = true;
          return size_;
        }
        movis_.push_back({pos + 8, pos + 12, unknown ? end : dataEnd, first});
        if (unknown) return end;
      }
    } else if (id == ckidRIFF) {
      return pos;
    } else if (id == ckidAVINEWINDEX) {
      if (first && !haveIdx1_) {
        haveIdx1_ = true;
        idx1Pos_ = pos + 8;
        idx1Size_ = dataEnd - (pos + 8);
      }
    } else if (!IsPrintableFourCC(id)) {
      break;
    }
    pos = Next(pos, size, end);
  }
  return end;
}

void TAviParser::ParseHdrl(uint64_t begin, uint64_t end) {
  uint64_t pos = begin;
  FOURCC id;
  uint32_t size;
  while (Header(pos, end, id, size)) {
    const uint64_t data = pos + 8;
    const uint64_t dataEnd = std::min<uint64_t>(data + uint64_t(size), end);
    if (id == ckidAVIMAINHDR) {
      uint8_t b[56] = {};
      cache_.Read(data, b, static_cast<size_t>(std::min<uint64_t>(56, dataEnd - data)));
      TLEReader r(b, sizeof b);
      f_.usPerFrame_ = r.U32();
      f_.maxBytesPerSec_ = r.U32();
      r.U32();  // padding granularity
      f_.avihFlags_ = r.U32();
      f_.totalFrames_ = r.U32();
      r.U32();  // initial frames
      r.U32();  // streams: the strl lists count, not this
      f_.suggestedBuffer_ = r.U32();
      f_.width_ = r.U32();
      f_.height_ = r.U32();
    } else if (id == ckidLIST) {
      uint32_t type = 0;
      if (data + 4 <= dataEnd && cache_.U32(data, type)) {
        if (type == listtypeSTREAMHEADER && f_.streams_.size() < kMaxAviStreams)
          ParseStrl(data + 4, dataEnd);
        else if (type == listtypeODML)
          ParseOdml(data + 4, dataEnd);
      }
    } else if (!IsPrintableFourCC(id)) {
      break;
    }
    pos = Next(pos, size, end);
  }
}

void TAviParser::ParseStrl(uint64_t begin, uint64_t end) {
  auto stream = std::make_unique<TAviStream>(&f_, static_cast<int>(f_.streams_.size()));
  TAviStream& s = *stream;
  TSuperIndexAt indx;
  uint64_t pos = begin;
  FOURCC id;
  uint32_t size;
  while (Header(pos, end, id, size)) {
    const uint64_t data = pos + 8;
    const uint64_t avail = std::min<uint64_t>(uint64_t(size), end - data);
    if (id == ckidSTREAMHEADER) {
      uint8_t b[56] = {};
      const size_t n = static_cast<size_t>(std::min<uint64_t>(56, avail));
      cache_.Read(data, b, n);
      TLEReader r(b, sizeof b);
      AVISTREAMINFO& i = s.info_;
      i.fccType = r.U32();
      i.fccHandler = r.U32();
      i.dwFlags = r.U32();
      i.wPriority = r.U16();
      i.wLanguage = r.U16();
      i.dwInitialFrames = r.U32();
      i.dwScale = r.U32();
      i.dwRate = r.U32();
      i.dwStart = r.U32();
      i.dwLength = r.U32();
      i.dwSuggestedBufferSize = r.U32();
      i.dwQuality = r.U32();
      i.dwSampleSize = r.U32();
      if (n >= 56) {  // older headers end before the frame rectangle
        i.rcFrame.left = r.I16();
        i.rcFrame.top = r.I16();
        i.rcFrame.right = r.I16();
        i.rcFrame.bottom = r.I16();
      }
    } else if (id == ckidSTREAMFORMAT) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(avail, kMaxAviFormatSize));
      s.format_.resize(n);
      if (cache_.Read(data, s.format_.data(), n)) {
        s.hasFormat_ = n > 0;
      } else {
        s.format_.clear();
      }
    } else if (id == ckidSTREAMNAME) {
      char name[64] = {};
      cache_.Read(data, name, static_cast<size_t>(std::min<uint64_t>(avail, 63)));
      std::memcpy(s.info_.szName, name, sizeof name);
      s.info_.szName[63] = 0;
    } else if (id == ckidAVISUPERINDEX) {
      indx.pos = data;
      indx.size = static_cast<uint32_t>(avail);
    } else if (!IsPrintableFourCC(id)) {
      break;
    }
    pos = Next(pos, size, end);
  }
  f_.streams_.push_back(std::move(stream));
  indx_.push_back(indx);
}

void TAviParser::ParseOdml(uint64_t begin, uint64_t end) {
  FOURCC id;
  uint32_t size;
  uint64_t pos = begin;
  while (Header(pos, end, id, size)) {
    if (id == ckidODMLHEADER && size >= 4) {
      uint32_t frames = 0;
      if (pos + 12 <= end && cache_.U32(pos + 8, frames)) f_.totalFrames_ = std::max(f_.totalFrames_, frames);
    } else if (!IsPrintableFourCC(id)) {
      break;
    }
    pos = Next(pos, size, end);
  }
}

bool TAviParser::AddEntry(TAviStream& s, uint64_t offset, uint64_t size, bool key) {
  if (entries_ >= budget_) return false;
  ++entries_;
  TAviIndexEntry e;
  e.offset = offset;
  e.flags = key ? kEntryKey : 0;
  if (offset > size_ || (offset == size_ && size > 0)) {
    e.flags |= kEntryMissing;  // keeps its place in the stream; reading it fails
    e.size = 0;
  } else {
    e.size = static_cast<uint32_t>(std::min<uint64_t>(size, size_ - offset));
  }
  s.index_.push_back(e);
  return true;
}

bool TAviParser::IsStreamChunk(FOURCC id) const {
  const int n = StreamFromChunkId(id);
  return n >= 0 && n < static_cast<int>(f_.streams_.size()) && IsLower(static_cast<uint8_t>(id >> 16)) &&
         IsLower(static_cast<uint8_t>(id >> 24));
}

bool TAviParser::StreamChunkAt(uint64_t pos) {
  uint32_t id = 0;
  return cache_.U32(pos, id) && IsStreamChunk(id);
}

// The chunks of an index, headers included, lie inside the movi lists (of the first
// RIFF only, for idx1) and do not overlap, and what lies between two of them is whole
// chunks the index leaves out (JUNK, index chunks, other streams): a size that is too
// small leaves part of its chunk there. Gaps are rare in a real file (a record list's
// 12-byte head is taken as it is), so this reads next to nothing. Chunks without data
// are not read and need no place.
bool TAviParser::Plausible(std::vector<TSpan>& spans, bool firstRiffOnly) {
  std::sort(spans.begin(), spans.end(), [](const TSpan& a, const TSpan& b) { return a.offset < b.offset; });
  size_t movi = 0;
  for (size_t i = 0; i < spans.size(); ++i) {
    const TSpan& c = spans[i];
    if (c.offset < 8 || c.offset > size_) return false;
    // The movi lists are in file order, as the sorted chunks.
    const size_t before = movi;
    while (movi < movis_.size() && MoviEnd(movi, firstRiffOnly) < c.offset + c.size) ++movi;
    if (movi == movis_.size() || movis_[movi].begin > c.offset - 8) return false;
    if (firstRiffOnly && !movis_[movi].firstRiff) return false;
    if (i == 0) continue;
    const TSpan& p = spans[i - 1];
    if (p.offset + p.size > c.offset - 8) return false;
    // Between two chunks of one list (the end of a part holds its indexes, and the next
    // part its headers).
    if (movi == before && !GapHoldsChunks(p, c)) return false;
  }
  return true;
}

// idx1 follows the movi list it indexes: a list whose size falls short of it still
// holds the chunks up to it.
uint64_t TAviParser::MoviEnd(size_t movi, bool forIdx1) const {
  const TMovi& m = movis_[movi];
  const bool beforeIdx1 = haveIdx1_ && m.firstRiff && idx1Pos_ >= m.end + 8 &&
                          (movi + 1 == movis_.size() || movis_[movi + 1].begin > idx1Pos_);
  return forIdx1 && beforeIdx1 ? idx1Pos_ - 8 : m.end;
}

bool TAviParser::GapHoldsChunks(const TSpan& a, const TSpan& b) {
  uint64_t pos = a.offset + a.size;
  const uint64_t end = b.offset - 8;
  if ((a.size & 1) && pos < end) ++pos;  // the pad byte
  if (pos == end || end - pos == 12) return true;
  FOURCC id;
  uint32_t size;
  while (pos < end) {
    if (!Header(pos, end, id, size) || !IsPrintableFourCC(id)) return false;
    uint32_t type = 0;
    if (id == ckidLIST && cache_.U32(pos + 8, type) && type == listtypeAVIRECORD) {
      pos += 12;
      continue;
    }
    pos = Next(pos, size, end);
  }
  return pos == end;
}

void TAviParser::BuildIndexes() {
  // Every chunk needs at least its 8-byte header in the file.
  budget_ = size_ / 8 + 64;
  const size_t count = f_.streams_.size();
  std::vector<bool> want(count, true);
  bool anyWant = false;
  // The OpenDML indexes of all streams together (their chunks fill the gaps between
  // one another's): one that does not hold drops them all.
  std::vector<TSpan> spans;
  for (size_t i = 0; i < count; ++i) {
    TAviStream& s = *f_.streams_[i];
    if (indx_[i].size > 0 && ReadSuperIndex(s, indx_[i].pos, indx_[i].size)) {
      want[i] = false;
      for (const TAviIndexEntry& e : s.index_)
        if (e.size > 0 || (e.flags & kEntryMissing)) spans.push_back({e.offset, e.size});
    } else {
      DropIndex(s, "OpenDML index");
    }
  }
  lied_ = !spans.empty() && !Plausible(spans, false);
  for (size_t i = 0; i < count; ++i) {
    if (lied_ && !want[i]) {
      want[i] = true;
      DropIndex(*f_.streams_[i], "OpenDML index");
    }
    anyWant = anyWant || want[i];
  }
  lied_ = false;
  spans = std::vector<TSpan>();
  if (!anyWant) return;
  lied_ = false;
  if (haveIdx1_ && ReadIdx1(want) && !lied_) {
    // idx1 covers the first RIFF; parts after it are walked.
    for (const TMovi& m : movis_)
      if (!m.firstRiff) WalkMovi(m, want);
    return;
  }
  for (size_t i = 0; i < count; ++i)
    if (want[i]) DropIndex(*f_.streams_[i], "idx1");
  lied_ = false;
  for (const TMovi& m : movis_) WalkMovi(m, want);
}

void TAviParser::DropIndex(TAviStream& s, const char* what) {
  if (lied_)
    TraceF("[TAviFile] The %s of stream %d disagrees with the chunk headers: the movi lists are walked", what,
           s.Number());
  entries_ -= std::min<uint64_t>(entries_, s.index_.size());
  s.index_.clear();
}

bool TAviParser::ReadSuperIndex(TAviStream& s, uint64_t pos, uint32_t size) {
  uint8_t h[24];
  if (size < 24 || !cache_.Read(pos, h, 24)) return false;
  const uint16_t longsPerEntry = GetLE16(h);
  const uint8_t type = h[3];
  const uint32_t inUse = GetLE32(h + 4);
  if (type == AVI_INDEX_OF_CHUNKS) {
    // A standard index kept in the header itself.
    if (longsPerEntry < 2) return false;
    const uint64_t base = GetLE64(h + 12);
    const uint32_t n = std::min<uint64_t>(inUse, (size - 24) / (longsPerEntry * 4u));
    ReadStdEntries(s, pos + 24, n, longsPerEntry * 4u, base);
    return !s.index_.empty();
  }
  if (type != AVI_INDEX_OF_INDEXES || longsPerEntry < 4) return false;
  const uint32_t stride = longsPerEntry * 4u;
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(inUse, (size - 24) / stride));
  std::set<uint64_t> seen;  // an index listed twice is read once
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t e[8];
    if (!cache_.Read(pos + 24 + uint64_t(i) * stride, e, 8)) break;
    const uint64_t at = GetLE64(e);
    if (seen.insert(at).second) ReadStdIndex(s, at);
    if (entries_ >= budget_) break;
  }
  return !s.index_.empty();
}

void TAviParser::ReadStdIndex(TAviStream& s, uint64_t pos) {
  FOURCC id;
  uint32_t size;
  uint8_t h[24];
  if (!Header(pos, size_, id, size) || size < 24 || !cache_.Read(pos + 8, h, 24)) return;
  const uint16_t longsPerEntry = GetLE16(h);
  if (h[3] != AVI_INDEX_OF_CHUNKS || longsPerEntry < 2) return;
  const uint32_t inUse = GetLE32(h + 4);
  const uint64_t base = GetLE64(h + 12);
  const uint64_t dataEnd = std::min<uint64_t>(pos + 8 + uint64_t(size), size_);
  const uint32_t stride = longsPerEntry * 4u;
  const uint64_t room = dataEnd > pos + 32 ? (dataEnd - pos - 32) / stride : 0;
  ReadStdEntries(s, pos + 32, static_cast<uint32_t>(std::min<uint64_t>(inUse, room)), stride, base);
}

bool TAviParser::ReadStdEntries(TAviStream& s, uint64_t pos, uint32_t count, uint32_t stride,
                                uint64_t base) {
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t e[8];
    if (!cache_.Read(pos + uint64_t(i) * stride, e, 8)) return false;
    const uint32_t offset = GetLE32(e);
    const uint32_t size = GetLE32(e + 4);
    const uint64_t at = base > UINT64_MAX - offset ? UINT64_MAX : base + offset;
    if (!AddEntry(s, at, size & ~AVI_INDEX_DELTAFRAME, (size & AVI_INDEX_DELTAFRAME) == 0)) return false;
  }
  return true;
}

bool TAviParser::ReadIdx1(const std::vector<bool>& want) {
  const uint64_t n = idx1Size_ / 16;
  const uint64_t moviPos = movis_.empty() ? 0 : movis_.front().fourccPos;
  // Offsets count from the "movi" code, or (some writers) from the start of the file:
  // the first entry tells which, by the chunk id found where it points.
  bool relative = true;
  for (uint64_t i = 0; i < n; ++i) {
    uint8_t e[16];
    if (!cache_.Read(idx1Pos_ + i * 16, e, 16)) break;
    const FOURCC ckid = GetLE32(e);
    const uint32_t flags = GetLE32(e + 4);
    const uint32_t offset = GetLE32(e + 8);
    if ((flags & AVIIF_LIST) || ckid == listtypeAVIRECORD || ckid == ckidLIST) continue;
    uint32_t atRelative = 0, atAbsolute = 0;
    if (cache_.U32(moviPos + offset, atRelative) && atRelative == ckid)
      relative = true;
    else if (cache_.U32(offset, atAbsolute) && atAbsolute == ckid)
      relative = false;
    else
      relative = offset < moviPos;
    break;
  }
  const uint64_t base = relative ? moviPos : 0;
  bool gave = false;
  std::vector<TSpan> spans;
  for (uint64_t i = 0; i < n; ++i) {
    uint8_t e[16];
    if (!cache_.Read(idx1Pos_ + i * 16, e, 16)) break;
    const FOURCC ckid = GetLE32(e);
    const uint32_t flags = GetLE32(e + 4);
    if ((flags & AVIIF_LIST) || !IsStreamChunk(ckid) || ChunkTypeOf(ckid) == cktypePALchange) continue;
    const int sn = StreamFromChunkId(ckid);
    if (!want[sn]) continue;
    TAviStream& s = *f_.streams_[sn];
    const uint64_t at = base + GetLE32(e + 8) + 8;
    const uint32_t size = GetLE32(e + 12);
    if (size > 0) spans.push_back({at, size});
    if (!AddEntry(s, at, size, (flags & AVIIF_KEYFRAME) != 0)) break;
    gave = gave || (s.index_.back().flags & kEntryMissing) == 0;
  }
  lied_ = !Plausible(spans, true);
  return gave;
}

void TAviParser::WalkMovi(const TMovi& m, const std::vector<bool>& want) {
  uint64_t pos = m.begin;
  const uint64_t end = std::min(m.end, size_);
  FOURCC id;
  uint32_t size;
  while (Header(pos, end, id, size)) {
    if (id == ckidLIST) {
      uint32_t type = 0;
      if (!cache_.U32(pos + 8, type)) break;
      if (type == listtypeAVIRECORD) {  // a record list only groups chunks: go inside
        pos += 12;
        continue;
      }
    } else if (IsStreamChunk(id)) {
      const int sn = StreamFromChunkId(id);
      if (want[sn] && ChunkTypeOf(id) != cktypePALchange) {
        // Without an index there are no key-frame flags: every frame counts as one.
        if (!AddEntry(*f_.streams_[sn], pos + 8, size, true)) return;
      }
      if (uint64_t(size) > end - pos - 8) return;  // the last chunk, cut short
    } else if (!(id == ckidJUNK || id == ckidAVINEWINDEX || IsIndexChunk(id) ||
                 (IsPrintableFourCC(id) && uint64_t(size) <= end - pos - 8))) {
      // Damaged data: look for the next chunk a little further on.
      uint64_t p = pos + 1;
      const uint64_t limit = std::min(end, pos + kResyncLimit);
      bool found = false;
      for (; p + 8 <= limit; ++p) {
        uint32_t v = 0;
        if (!cache_.U32(p, v)) break;
        if (IsStreamChunk(v) || v == ckidLIST || v == ckidJUNK || IsIndexChunk(v)) {
          found = true;
          break;
        }
      }
      if (!found) return;
      pos = p;
      continue;
    }
    pos = Next(pos, size, end);
  }
}

void TAviParser::Finish(TAviStream& s) {
  AVISTREAMINFO& i = s.info_;
  BITMAPINFOHEADER bih;
  TWaveFormat wf;
  const bool hasBih = i.fccType == streamtypeVIDEO && bih.Read(s.format_.data(), s.format_.size());
  const bool hasWf = i.fccType == streamtypeAUDIO && wf.Read(s.format_);
  if (i.fccType == streamtypeVIDEO) {
    s.sampleSize_ = 0;  // a frame is a chunk, whatever the header says
    if (hasBih && i.rcFrame.right <= i.rcFrame.left && i.rcFrame.bottom <= i.rcFrame.top) {
      i.rcFrame = RECT{0, 0, std::clamp(bih.biWidth, 0, 65535),
                       bih.biHeight == INT32_MIN ? 0 : std::clamp(std::abs(bih.biHeight), 0, 65535)};
    }
    if ((i.dwScale == 0 || i.dwRate == 0) && f_.usPerFrame_ > 0) {
      i.dwScale = f_.usPerFrame_;
      i.dwRate = 1000000;
    }
  } else {
    s.sampleSize_ = i.dwSampleSize;
    // Sound is read in whole blocks: a sample size that disagrees with the block
    // align of the format is a writer's mistake.
    if (hasWf && s.sampleSize_ > 0 && wf.wf.nBlockAlign > 0 && s.sampleSize_ != wf.wf.nBlockAlign)
      s.sampleSize_ = wf.wf.nBlockAlign;
    if (hasWf && s.sampleSize_ > 0 && (i.dwScale == 0 || i.dwRate == 0) && wf.wf.nAvgBytesPerSec > 0) {
      i.dwScale = s.sampleSize_;
      i.dwRate = wf.wf.nAvgBytesPerSec;
    }
    i.dwSampleSize = s.sampleSize_;
  }

  // The length is what the index holds, not what the header claims.
  uint64_t length;
  uint32_t largest = 0;
  for (const TAviIndexEntry& e : s.index_) largest = std::max(largest, e.size);
  if (s.sampleSize_ == 0) {
    length = s.index_.size();
    for (size_t k = 0; k < s.index_.size() && k <= INT32_MAX; ++k)
      if (s.index_[k].flags & kEntryKey) s.keys_.push_back(static_cast<int32_t>(k));
  } else {
    s.byteStart_.reserve(s.index_.size() + 1);
    // Overlapping chunks of a lying index cannot make the stream longer than the file.
    uint64_t total = 0;
    for (TAviIndexEntry& e : s.index_) {
      s.byteStart_.push_back(total);
      e.size = static_cast<uint32_t>(std::min<uint64_t>(e.size, size_ - std::min(total, size_)));
      total += e.size;
    }
    s.byteStart_.push_back(total);
    length = total / s.sampleSize_;
  }
  length = std::min<uint64_t>(length, INT32_MAX);
  i.dwLength = static_cast<uint32_t>(length);
  if (uint64_t(i.dwStart) + length > INT32_MAX) i.dwStart = 0;
  if (i.dwSuggestedBufferSize == 0) i.dwSuggestedBufferSize = largest;
  i.dwCaps = 0;
  i.dwEditCount = 0;
  i.dwFormatChangeCount = 0;
}

}  // namespace

HRESULT TAviFile::OpenRead() {
  fileSize_ = io_->Size();
  TAviParser parser(*this);
  const HRESULT r = parser.Run();
  if (r != AVIERR_OK) streams_.clear();
  return r;
}

}  // namespace movara
