#include "platform/codecs/VideoFrameGetter.h"

#include "base/Trace.h"

namespace movara {

namespace {
// Frames a reordering codec may hold back: past this many frames beyond the wanted one
// without its picture, the frame is taken as lost.
constexpr int kMaxDelay = 32;
// Stored frames read after an MPEG-4 key frame to count the frames shown before it.
constexpr int kLookAhead = 8;
}  // namespace

TVideoFrameGetter::TVideoFrameGetter(std::shared_ptr<IVideoFrameSource> source,
                                     std::unique_ptr<TVideoDecoder> decoder)
    : source_(std::move(source)), decoder_(std::move(decoder)) {}

TVideoFrameGetter::~TVideoFrameGetter() = default;

std::unique_ptr<TVideoFrameGetter> TVideoFrameGetter::Open(std::shared_ptr<IVideoFrameSource> source,
                                                           const TVideoFormat& format, uint32_t handler,
                                                           const TVideoDecoderOptions& options) {
  if (!source) return nullptr;
  auto decoder = TVideoDecoder::Create(format, handler, options);
  if (!decoder) return nullptr;
  return std::unique_ptr<TVideoFrameGetter>(new TVideoFrameGetter(std::move(source), std::move(decoder)));
}

int TVideoFrameGetter::Resolve(int pos) {
  const int start = source_->Start();
  for (int p = pos; p >= start; --p) {
    const int64_t size = source_->FrameSize(p);
    if (size < 0) return -1;
    if (size > 0) return p;
  }
  return -1;
}

int TVideoFrameGetter::FirstShown(int key) {
  if (!decoder_->MayHaveLeadingFrames()) return key;
  const int end = source_->Start() + source_->Length();
  std::vector<std::vector<uint8_t>> ahead;
  for (int p = key; p < end && p < key + kLookAhead; ++p) {
    bool isKey = false;
    ahead.emplace_back();
    if (!source_->ReadFrame(p, ahead.back(), isKey)) break;
  }
  return key + decoder_->LeadingFrames(ahead);
}

bool TVideoFrameGetter::Reach(int pos) {
  if (held_ == pos) return true;
  const int start = source_->Start();
  const int end = start + source_->Length();
  int from = pos;
  if (!decoder_->IntraOnly()) {
    from = source_->KeyFrameAtOrBefore(pos);
    if (from < start) from = start;
  }
  // Going on from where the decoder stands reaches pos when no picture at or after pos
  // came out yet and nothing between needs skipping.
  const bool goOn = running_ && !ended_ && held_ < pos && fed_ < pos + kMaxDelay && from <= fed_ + 1;
  if (!goOn) {
    // Frames after an MPEG-4 key frame that are shown before it cannot be decoded from
    // there: the key frame's picture is numbered past them, and a wanted frame among
    // them starts from the key frame before.
    int first = FirstShown(from);
    while (first > pos && from > start) {
      from = source_->KeyFrameAtOrBefore(from - 1);
      if (from < start) from = start;
      first = FirstShown(from);
    }
    decoder_->Flush(first);
    fed_ = from - 1;
    running_ = true;
    ended_ = false;
    held_ = -1;
  }
  for (;;) {
    int got = 0;
    while (decoder_->ReceiveFrame(&got)) {
      held_ = got;
      if (got == pos) return true;
      if (got > pos) return false;  // the frame at pos gave no picture
    }
    if (ended_ || fed_ >= pos + kMaxDelay) return false;
    if (fed_ + 1 >= end) {
      decoder_->SendEndOfStream();
      ended_ = true;
      continue;
    }
    ++fed_;
    bool key = false;
    if (!source_->ReadFrame(fed_, data_, key)) {
      TraceF("[TVideoFrameGetter.GetFrame] Frame %d could not be read", fed_);
      continue;
    }
    if (data_.empty()) continue;  // repeats the picture before it
    ++sent_;
    decoder_->SendPacket(data_.data(), data_.size(), key, fed_);
  }
}

const std::vector<uint8_t>* TVideoFrameGetter::GetFrame(int pos) {
  const int start = source_->Start();
  if (pos < start || pos >= start + source_->Length()) return nullptr;
  const int real = Resolve(pos);
  if (real < 0) return nullptr;
  if (packedOf_ == real) return &packed_;
  if (!Reach(real) || !decoder_->CopyToPacked(packed_)) {
    packedOf_ = -1;
    return nullptr;
  }
  packedOf_ = real;
  return &packed_;
}

bool TVideoFrameGetter::GetFrame(int pos, TDIB& out) {
  const int start = source_->Start();
  if (pos < start || pos >= start + source_->Length()) return false;
  const int real = Resolve(pos);
  return real >= 0 && Reach(real) && decoder_->CopyTo(out);
}

}  // namespace movara
