#include "platform/codecs/VideoGetFrame.h"

#include <memory>
#include <vector>

#include "base/Trace.h"
#include "platform/codecs/VideoFrameGetter.h"

namespace movara {

namespace {

// The frames of an AVI stream, read through the AVIFile calls.
class TAviStreamSource : public IVideoFrameSource {
 public:
  explicit TAviStreamSource(PAVISTREAM pavi) : pavi_(pavi) {
    AVIStreamAddRef(pavi_);
    start_ = AVIStreamStart(pavi_);
    const int32_t length = AVIStreamLength(pavi_);
    length_ = length < 0 ? 0 : length;
  }
  ~TAviStreamSource() override { AVIStreamRelease(pavi_); }
  TAviStreamSource(const TAviStreamSource&) = delete;
  TAviStreamSource& operator=(const TAviStreamSource&) = delete;

  int Start() const override { return start_; }
  int Length() const override { return length_; }
  int64_t FrameSize(int pos) override {
    int32_t bytes = 0;
    if (AVIStreamRead(pavi_, pos, 1, nullptr, 0, &bytes, nullptr) != AVIERR_OK || bytes < 0) return -1;
    return bytes;
  }
  bool ReadFrame(int pos, std::vector<uint8_t>& data, bool& keyFrame) override {
    const int64_t size = FrameSize(pos);
    if (size < 0) return false;
    data.resize(static_cast<size_t>(size));
    keyFrame = AVIStreamFindSample(pavi_, pos, FIND_PREV | FIND_KEY) == pos;
    if (size == 0) return true;
    int32_t bytes = 0;
    if (AVIStreamRead(pavi_, pos, 1, data.data(), static_cast<int32_t>(size), &bytes, nullptr) != AVIERR_OK)
      return false;
    data.resize(static_cast<size_t>(bytes));
    return true;
  }
  int KeyFrameAtOrBefore(int pos) override { return AVIStreamFindSample(pavi_, pos, FIND_PREV | FIND_KEY); }

 private:
  PAVISTREAM pavi_;
  int start_ = 0;
  int length_ = 0;
};

}  // namespace

std::shared_ptr<IVideoFrameSource> AviStreamFrameSource(PAVISTREAM pavi) {
  return std::make_shared<TAviStreamSource>(pavi);
}

bool AviStreamVideoFormat(PAVISTREAM pavi, TVideoFormat& format) {
  const int32_t start = AVIStreamStart(pavi);
  int32_t formatSize = 0;
  if (AVIStreamReadFormat(pavi, start, nullptr, &formatSize) != AVIERR_OK || formatSize <= 0 ||
      formatSize > (1 << 24))
    return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(formatSize));
  return AVIStreamReadFormat(pavi, start, bytes.data(), &formatSize) == AVIERR_OK &&
         format.FromBytes(bytes.data(), bytes.size());
}

class TAviGetFrame {
 public:
  explicit TAviGetFrame(std::unique_ptr<TVideoFrameGetter> getter) : getter_(std::move(getter)) {}
  std::unique_ptr<TVideoFrameGetter> getter_;
  const std::vector<uint8_t>* last_ = nullptr;
};

PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM pavi, const BITMAPINFOHEADER* wanted) {
  if (!pavi) return nullptr;
  AVISTREAMINFO info;
  if (AVIStreamInfo(pavi, &info, static_cast<int32_t>(sizeof info)) != AVIERR_OK || info.fccType != streamtypeVIDEO)
    return nullptr;
  TVideoFormat format;
  if (!AviStreamVideoFormat(pavi, format)) return nullptr;
  if (wanted) {
    const bool sameSize = (wanted->biWidth == 0 && wanted->biHeight == 0) ||
                          (wanted->biWidth == format.Width() && wanted->biHeight == format.Height());
    if (wanted->biBitCount != 24 || wanted->biCompression != BI_RGB || !sameSize) {
      TraceF("[AVIStreamGetFrameOpen] %d-bit frames of %d x %d not offered", wanted->biBitCount, wanted->biWidth,
             wanted->biHeight);
      return nullptr;
    }
  }
  auto getter = TVideoFrameGetter::Open(AviStreamFrameSource(pavi), format, info.fccHandler);
  if (!getter) return nullptr;
  return new TAviGetFrame(std::move(getter));
}

const void* AVIStreamGetFrame(PGETFRAME pgf, int32_t pos) {
  if (!pgf) return nullptr;
  pgf->last_ = pgf->getter_->GetFrame(pos);
  return pgf->last_ ? pgf->last_->data() : nullptr;
}

int32_t AVIStreamGetFrameSize(PGETFRAME pgf) {
  return pgf && pgf->last_ ? static_cast<int32_t>(pgf->last_->size()) : 0;
}

HRESULT AVIStreamGetFrameClose(PGETFRAME pgf) {
  if (!pgf) return AVIERR_BADHANDLE;
  delete pgf;
  return AVIERR_OK;
}

}  // namespace movara
