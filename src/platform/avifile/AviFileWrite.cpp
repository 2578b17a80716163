// Writing an AVI. The layout:
//
//   RIFF "AVI "  LIST hdrl (avih, one strl per stream with strh, strf, strn and room
//                for an OpenDML super index, room for LIST odml)
//                LIST movi (the chunks in the order they were written)  idx1
//   RIFF "AVIX"  LIST movi (chunks, then one ix## standard index per stream)   ...
//
// Chunks go into the first RIFF until it would pass the size limit; then it gets its
// standard indexes and idx1, and the data continues in "AVIX" parts. The header is
// written when the first chunk is, and written again, same size, when the file is
// finalised: the super indexes and the odml total then replace the room kept for them
// (a file that never left its first RIFF stays a plain AVI 1.0 file). A failed write
// is cut off again, so the file always ends after its last complete chunk.
#include <algorithm>
#include <cstring>

#include "base/Rounding.h"
#include "base/Trace.h"
#include "platform/avifile/AviFileImpl.h"

namespace movara {
namespace {

constexpr uint32_t kMaxChunkSize = 1u << 30;
constexpr size_t kOdmlRoom = 8 + 4 + 8 + 248;  // LIST odml + dmlh
// The most empty frames a write may add to reach its position.
constexpr int64_t kMaxGap = 1 << 20;

size_t Padded(size_t n) { return n + (n & 1); }

void AppendChunk(std::vector<uint8_t>& out, FOURCC id, const void* data, size_t size) {
  TLEWriter w(out);
  w.FourCC(id);
  w.U32(static_cast<uint32_t>(size));
  w.Bytes(data, size);
  if (size & 1) w.U8(0);
}

int16_t Short(int32_t v) { return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX)); }

}  // namespace

HRESULT TAviFile::CreateStream(const AVISTREAMINFO& info, TAviStream** stream) {
  if (!writing_) return AVIERR_READONLY;
  if (moviStarted_) return AVIERR_UNSUPPORTED;  // the header is already laid out
  if (streams_.size() >= kMaxAviStreams) return AVIERR_UNSUPPORTED;
  if (info.dwScale == 0 || info.dwRate == 0) return AVIERR_BADPARAM;  // a stream needs a rate
  auto s = std::make_unique<TAviStream>(this, static_cast<int>(streams_.size()));
  s->info_ = info;
  s->info_.dwLength = 0;
  s->info_.dwEditCount = 0;
  s->info_.dwFormatChangeCount = 0;
  s->info_.szName[63] = 0;
  // Video is one frame per chunk; other streams with a sample size append whole samples.
  s->writeSampleSize_ = info.fccType == streamtypeVIDEO ? 0 : info.dwSampleSize;
  *stream = s.get();
  streams_.push_back(std::move(s));
  return AVIERR_OK;
}

HRESULT TAviStream::SetFormat(const void* format, int32_t size) {
  if (!file_->Writing()) return AVIERR_READONLY;
  if (format == nullptr || size <= 0 || size_t(size) > kMaxAviFormatSize) return AVIERR_BADPARAM;
  const auto* p = static_cast<const uint8_t*>(format);
  if (file_->MoviStarted()) {
    // The format cannot change once samples are written; setting the same one again is fine.
    if (hasFormat_ && format_.size() == size_t(size) && std::equal(p, p + size, format_.begin()))
      return AVIERR_OK;
    return AVIERR_UNSUPPORTED;
  }
  format_.assign(p, p + size);
  hasFormat_ = true;
  return AVIERR_OK;
}

HRESULT TAviStream::Write(int32_t start, int32_t samples, const void* buffer, int32_t cbBuffer, uint32_t flags,
                          int32_t* plSampWritten, int32_t* plBytesWritten) {
  if (!file_->Writing()) return AVIERR_READONLY;
  if (cbBuffer < 0 || (buffer == nullptr && cbBuffer > 0)) return AVIERR_BADPARAM;
  const auto size = static_cast<uint32_t>(cbBuffer);

  if (writeSampleSize_ > 0) {
    // Sound-like: the data is appended; the sample count follows from its size.
    if (size % writeSampleSize_ != 0) return AVIERR_BADPARAM;
    if (size == 0) return AVIERR_OK;
    const HRESULT r = file_->WriteChunk(*this, buffer, size, true);
    if (r != AVIERR_OK) return r;
    if (plSampWritten) *plSampWritten = static_cast<int32_t>(size / writeSampleSize_);
    if (plBytesWritten) *plBytesWritten = cbBuffer;
    return AVIERR_OK;
  }

  // One frame per call, at its position; frames skipped before it are written empty.
  if (samples > 1) return AVIERR_UNSUPPORTED;
  const int64_t next = int64_t(info_.dwStart) + static_cast<int64_t>(WrittenLength());
  const int64_t pos = start < 0 ? next : start;
  if (pos < next) return AVIERR_UNSUPPORTED;  // no rewriting of written frames
  if (pos - next > kMaxGap) return AVIERR_BADPARAM;
  for (int64_t p = next; p < pos; ++p) {
    const HRESULT r = file_->WriteChunk(*this, nullptr, 0, false);
    if (r != AVIERR_OK) return r;
  }
  // Frames of a fixed size are uncompressed: each is a key frame.
  const bool key = (flags & AVIIF_KEYFRAME) != 0 || (info_.dwSampleSize > 0 && size > 0);
  const HRESULT r = file_->WriteChunk(*this, buffer, size, key);
  if (r != AVIERR_OK) return r;
  if (plSampWritten) *plSampWritten = 1;
  if (plBytesWritten) *plBytesWritten = cbBuffer;
  return AVIERR_OK;
}

TAviStream* TAviFile::FirstVideo() const {
  for (const auto& s : streams_)
    if (s->info_.fccType == streamtypeVIDEO) return s.get();
  return nullptr;
}

// What the indexes of the current part will take: idx1 and a standard index per stream.
uint64_t TAviFile::PartIndexBytes(size_t entries) const {
  return 8 + 16 * uint64_t(entries) + 32 * uint64_t(streams_.size()) + 8 * uint64_t(entries);
}

HRESULT TAviFile::StartFile(bool allowMissingFormats) {
  for (auto& s : streams_) {
    if (!s->hasFormat_ && !allowMissingFormats) return AVIERR_BADFORMAT;
    TWOCC type = cktypeDIBcompressed;
    if (s->info_.fccType == streamtypeAUDIO) {
      type = cktypeWAVEbytes;
    } else if (s->info_.fccType == streamtypeVIDEO) {
      BITMAPINFOHEADER bih;
      if (bih.Read(s->format_.data(), s->format_.size()) &&
          (bih.biCompression == BI_RGB || bih.biCompression == BI_BITFIELDS))
        type = cktypeDIBbits;
    }
    s->chunkId_ = MakeAviChunkId(s->Number(), type);
  }
  std::vector<uint8_t> head = BuildHeader(false);
  headerSize_ = head.size();
  TLEWriter w(head);
  w.FourCC(ckidLIST);
  w.U32(4);
  w.FourCC(listtypeAVIMOVIE);
  if (!io_->WriteAt(0, head.data(), head.size())) {
    io_->Truncate(0);
    return AVIERR_FILEWRITE;
  }
  moviStarted_ = true;
  partOpen_ = true;
  part_ = 0;
  riffStart_ = 0;
  moviListPos_ = headerSize_;
  end_ = head.size();
  return AVIERR_OK;
}

HRESULT TAviFile::OpenPart() {
  if (partOpen_) return AVIERR_OK;
  std::vector<uint8_t> b;
  TLEWriter w(b);
  w.FourCC(ckidRIFF);
  w.U32(4 + 12);
  w.FourCC(formtypeAVIX);
  w.FourCC(ckidLIST);
  w.U32(4);
  w.FourCC(listtypeAVIMOVIE);
  if (!io_->WriteAt(end_, b.data(), b.size())) {
    io_->Truncate(end_);
    return AVIERR_FILEWRITE;
  }
  riffStart_ = end_;
  moviListPos_ = end_ + 12;
  end_ += b.size();
  partOpen_ = true;
  return AVIERR_OK;
}

HRESULT TAviFile::WriteChunk(TAviStream& s, const void* data, uint32_t size, bool key) {
  if (size > kMaxChunkSize) return AVIERR_BADSIZE;
  HRESULT r;
  if (!moviStarted_ && (r = StartFile(false)) != AVIERR_OK) return r;
  if (!partOpen_ && (r = OpenPart()) != AVIERR_OK) return r;
  const uint64_t chunkBytes = 8 + Padded(size);
  if (!partEntries_.empty() &&
      (end_ - riffStart_) + chunkBytes + PartIndexBytes(partEntries_.size() + 1) > options_.riffLimit) {
    if ((r = SwitchPart()) != AVIERR_OK) return r;
    if ((r = OpenPart()) != AVIERR_OK) return r;
  }

  // The chunk id is known once the file has started (it depends on the format).
  const FOURCC ckid = s.chunkId_;
  uint8_t head[8];
  PutLE32(head, ckid);
  PutLE32(head + 4, size);
  static const uint8_t pad = 0;
  // header, data and pad in one write, the data taken where it is
  const bool ok = io_->WriteAt3(end_, head, 8, data, size, &pad, size & 1);
  if (!ok) {
    io_->Truncate(end_);  // the file ends after its last complete chunk
    return AVIERR_FILEWRITE;
  }
  partEntries_.push_back({end_ + 8, size, static_cast<uint16_t>(s.Number()), static_cast<uint16_t>(key ? 1 : 0)});
  end_ += chunkBytes;
  if (key && s.writeSampleSize_ == 0 && s.WrittenLength() < INT32_MAX)
    s.keys_.push_back(static_cast<int32_t>(s.WrittenLength()));
  ++s.partChunks_;
  s.partSamples_ += s.writeSampleSize_ ? size / s.writeSampleSize_ : 1;
  s.maxChunk_ = std::max(s.maxChunk_, size);
  s.bytesWritten_ += size;
  return AVIERR_OK;
}

void TAviFile::DropLastChunk() {
  const TWriteEntry e = partEntries_.back();
  partEntries_.pop_back();
  TAviStream& s = *streams_[e.stream];
  --s.partChunks_;
  s.partSamples_ -= s.writeSampleSize_ ? e.size / s.writeSampleSize_ : 1;
  s.bytesWritten_ -= e.size;
  if (e.key && s.writeSampleSize_ == 0 && !s.keys_.empty() &&
      uint64_t(s.keys_.back()) == s.WrittenLength())
    s.keys_.pop_back();
  end_ = e.dataPos - 8;
  io_->Truncate(end_);
  TraceF("[TAviFile.DropLastChunk] Chunk of stream %d (%u bytes) left out", s.Number(), e.size);
}

HRESULT TAviFile::SwitchPart() {
  // The part being finished and the one after it each take a super index entry.
  for (const auto& s : streams_)
    if (s->partChunks_ > 0 && s->super_.size() + 2 > options_.superIndexEntries) {
      TraceF("[TAviFile.SwitchPart] The super index of stream %d is full (%u parts)", s->Number(),
             options_.superIndexEntries);
      return AVIERR_FILEWRITE;
    }
  const HRESULT r = FinishPart(false);
  if (r != AVIERR_OK) return r;
  ++part_;
  partOpen_ = false;
  return AVIERR_OK;
}

HRESULT TAviFile::FinishPart(bool last) {
  const uint64_t movieEnd = end_;
  const bool odml = part_ > 0 || !last;
  struct TPending {
    TAviStream* stream;
    TAviStream::TSuperEntry entry;
  };
  std::vector<TPending> pending;
  auto fail = [&]() {
    io_->Truncate(movieEnd);
    end_ = movieEnd;
    return AVIERR_FILEWRITE;
  };

  if (odml) {
    // A standard index per stream, inside the movi list: offsets count from the list.
    const uint64_t base = moviListPos_;
    for (const auto& sp : streams_) {
      TAviStream& s = *sp;
      if (s.partChunks_ == 0) continue;
      std::vector<uint8_t> b;
      TLEWriter w(b);
      const FOURCC id = mmioFOURCC('i', 'x', static_cast<char>('0' + s.Number() / 10),
                                   static_cast<char>('0' + s.Number() % 10));
      w.FourCC(id);
      w.U32(24 + 8 * s.partChunks_);
      w.U16(2);
      w.U8(0);
      w.U8(AVI_INDEX_OF_CHUNKS);
      w.U32(s.partChunks_);
      w.FourCC(s.chunkId_);
      w.U64(base);
      w.U32(0);
      for (const TWriteEntry& e : partEntries_) {
        if (e.stream != s.Number()) continue;
        w.U32(static_cast<uint32_t>(e.dataPos - base));
        w.U32(e.size | (e.key ? 0 : AVI_INDEX_DELTAFRAME));
      }
      if (!io_->WriteAt(end_, b.data(), b.size())) return fail();
      pending.push_back({&s, {end_, static_cast<uint32_t>(b.size()),
                              static_cast<uint32_t>(std::min<uint64_t>(s.partSamples_, UINT32_MAX))}});
      end_ += b.size();
    }
  }

  uint8_t size4[4];
  PutLE32(size4, static_cast<uint32_t>(end_ - (moviListPos_ + 8)));
  if (!io_->WriteAt(moviListPos_ + 4, size4, 4)) return fail();

  if (part_ == 0) {
    // idx1: offsets from the "movi" code. Without room for it the file is still read
    // by walking the movi list.
    const uint64_t moviCode = moviListPos_ + 8;
    std::vector<uint8_t> b;
    b.reserve(8 + 16 * partEntries_.size());
    TLEWriter w(b);
    w.FourCC(ckidAVINEWINDEX);
    w.U32(static_cast<uint32_t>(16 * partEntries_.size()));
    for (const TWriteEntry& e : partEntries_) {
      w.FourCC(streams_[e.stream]->chunkId_);
      w.U32(e.key ? AVIIF_KEYFRAME : 0);
      w.U32(static_cast<uint32_t>(e.dataPos - 8 - moviCode));
      w.U32(e.size);
    }
    hasIdx1_ = io_->WriteAt(end_, b.data(), b.size());
    if (hasIdx1_) {
      end_ += b.size();
    } else {
      io_->Truncate(end_);
      TraceF("[TAviFile.FinishPart] No room for idx1 (%zu entries)", partEntries_.size());
    }
    const TAviStream* video = FirstVideo();
    firstPartFrames_ = video ? video->partChunks_ : 0;
  }

  const auto riffSize = static_cast<uint32_t>(end_ - riffStart_ - 8);
  PutLE32(size4, riffSize);
  if (!io_->WriteAt(riffStart_ + 4, size4, 4)) return fail();
  if (part_ == 0) riff0Size_ = riffSize;

  for (const TPending& p : pending) p.stream->super_.push_back(p.entry);
  for (auto& s : streams_) {
    s->samplesDone_ += s->partSamples_;
    s->partSamples_ = 0;
    s->partChunks_ = 0;
  }
  partEntries_.clear();
  return AVIERR_OK;
}

std::vector<uint8_t> TAviFile::BuildHeader(bool final) const {
  const bool odml = final && part_ > 0;
  const TAviStream* video = FirstVideo();
  std::vector<uint8_t> out;
  TLEWriter w(out);
  w.FourCC(ckidRIFF);
  w.U32(final ? riff0Size_ : 0);
  w.FourCC(formtypeAVI);
  w.FourCC(ckidLIST);
  const size_t hdrlSizeAt = out.size();
  w.U32(0);
  w.FourCC(listtypeAVIHEADER);

  // Main header.
  uint32_t usPerFrame = 0, width = 0, height = 0, totalFrames = 0;
  uint64_t totalBytes = 0;
  uint32_t largest = 0;
  for (const auto& s : streams_) {
    totalBytes += s->bytesWritten_;
    largest = std::max(largest, s->maxChunk_);
  }
  uint32_t maxBytesPerSec = 0;
  if (video) {
    const AVISTREAMINFO& vi = video->info_;
    usPerFrame = static_cast<uint32_t>(std::clamp<int64_t>(MulDiv64(vi.dwScale, 1000000, vi.dwRate), 0, UINT32_MAX));
    width = static_cast<uint32_t>(std::max(0, vi.rcFrame.right - vi.rcFrame.left));
    height = static_cast<uint32_t>(std::max(0, vi.rcFrame.bottom - vi.rcFrame.top));
    BITMAPINFOHEADER bih;
    if ((width == 0 || height == 0) && bih.Read(video->format_.data(), video->format_.size())) {
      width = static_cast<uint32_t>(std::clamp(bih.biWidth, 0, INT32_MAX));
      height = bih.biHeight == INT32_MIN ? 0 : static_cast<uint32_t>(std::abs(bih.biHeight));
    }
    const uint64_t frames = video->samplesDone_ + video->partSamples_;
    totalFrames = static_cast<uint32_t>(std::min<uint64_t>(part_ > 0 ? firstPartFrames_ : frames, UINT32_MAX));
    if (frames > 0) {
      const long double seconds = static_cast<long double>(frames) * vi.dwScale / vi.dwRate;
      if (seconds > 0)
        maxBytesPerSec = static_cast<uint32_t>(std::min<long double>(totalBytes / seconds, UINT32_MAX));
    }
  }
  w.FourCC(ckidAVIMAINHDR);
  w.U32(56);
  w.U32(usPerFrame);
  w.U32(maxBytesPerSec);
  w.U32(0);  // padding granularity
  w.U32(AVIF_ISINTERLEAVED | AVIF_TRUSTCKTYPE | (final && hasIdx1_ ? AVIF_HASINDEX : 0));
  w.U32(totalFrames);
  w.U32(0);  // initial frames
  w.U32(static_cast<uint32_t>(streams_.size()));
  w.U32(largest > 0 ? largest + 8 : 0);
  w.U32(width);
  w.U32(height);
  w.Zeros(16);

  const size_t indexRoom = 24 + 16 * size_t(options_.superIndexEntries);
  for (const auto& sp : streams_) {
    const TAviStream& s = *sp;
    const AVISTREAMINFO& i = s.info_;
    w.FourCC(ckidLIST);
    const size_t strlSizeAt = out.size();
    w.U32(0);
    w.FourCC(listtypeSTREAMHEADER);

    w.FourCC(ckidSTREAMHEADER);
    w.U32(56);
    w.FourCC(i.fccType);
    w.FourCC(i.fccHandler);
    w.U32(i.dwFlags);
    w.U16(i.wPriority);
    w.U16(i.wLanguage);
    w.U32(i.dwInitialFrames);
    w.U32(i.dwScale);
    w.U32(i.dwRate);
    w.U32(i.dwStart);
    w.U32(static_cast<uint32_t>(std::min<uint64_t>(s.samplesDone_ + s.partSamples_, UINT32_MAX)));
    w.U32(std::max(i.dwSuggestedBufferSize, s.maxChunk_));
    w.U32(i.dwQuality);
    w.U32(i.dwSampleSize);
    w.I16(Short(i.rcFrame.left));
    w.I16(Short(i.rcFrame.top));
    w.I16(Short(i.rcFrame.right));
    w.I16(Short(i.rcFrame.bottom));

    AppendChunk(out, ckidSTREAMFORMAT, s.format_.data(), s.format_.size());
    const std::string name = i.Name();
    if (!name.empty()) AppendChunk(out, ckidSTREAMNAME, name.c_str(), name.size() + 1);

    // Room for the super index; it becomes one when the file has more than one part.
    const size_t at = out.size();
    w.FourCC(odml ? ckidAVISUPERINDEX : ckidJUNK);
    w.U32(static_cast<uint32_t>(indexRoom));
    if (odml) {
      w.U16(4);
      w.U8(0);
      w.U8(AVI_INDEX_OF_INDEXES);
      const size_t used = std::min<size_t>(s.super_.size(), options_.superIndexEntries);
      w.U32(static_cast<uint32_t>(used));
      w.FourCC(s.chunkId_);
      w.Zeros(12);
      for (size_t k = 0; k < used; ++k) {
        const TAviStream::TSuperEntry& e = s.super_[k];
        w.U64(e.offset);
        w.U32(e.size);
        w.U32(e.duration);
      }
    }
    out.resize(at + 8 + indexRoom, 0);
    PutLE32(out.data() + strlSizeAt, static_cast<uint32_t>(out.size() - strlSizeAt - 4));
  }

  // Room for the OpenDML header with the frame count of the whole file.
  const size_t at = out.size();
  if (odml) {
    w.FourCC(ckidLIST);
    w.U32(static_cast<uint32_t>(kOdmlRoom - 8));
    w.FourCC(listtypeODML);
    w.FourCC(ckidODMLHEADER);
    w.U32(248);
    w.U32(video ? static_cast<uint32_t>(std::min<uint64_t>(video->samplesDone_ + video->partSamples_, UINT32_MAX))
                : 0);
  } else {
    w.FourCC(ckidJUNK);
    w.U32(static_cast<uint32_t>(kOdmlRoom - 8));
  }
  out.resize(at + kOdmlRoom, 0);
  PutLE32(out.data() + hdrlSizeAt, static_cast<uint32_t>(out.size() - hdrlSizeAt - 4));
  return out;
}

void TAviFile::Finalise() {
  if (!moviStarted_ && StartFile(true) != AVIERR_OK) {
    TraceF("[TAviFile.Finalise] The header could not be written");
    return;
  }
  if (partOpen_) {
    if (part_ > 0 && partEntries_.empty()) {
      io_->Truncate(riffStart_);  // an empty last part is left out
      end_ = riffStart_;
    } else {
      // No room for the last part's indexes (a full disk): its last chunks make room.
      bool finished = FinishPart(true) == AVIERR_OK;
      while (!finished && part_ > 0 && !partEntries_.empty()) {
        DropLastChunk();
        finished = !partEntries_.empty() && FinishPart(true) == AVIERR_OK;
      }
      if (!finished && part_ > 0) {  // nothing of the part is left
        io_->Truncate(riffStart_);
        end_ = riffStart_;
      }
    }
    partOpen_ = false;
  }
  const std::vector<uint8_t> head = BuildHeader(true);
  if (head.size() != headerSize_ || !io_->WriteAt(0, head.data(), head.size()))
    TraceF("[TAviFile.Finalise] The header could not be written again");
  io_->Flush();
}

}  // namespace movara
