// The player over a sound reader: the reader offers what the player reads under its own
// names, so a small adapter stands between them.
#include "media/AudioPcm.h"
#include "media/AudioReader.h"

namespace movara {
namespace {

class TReaderPlaySource : public TAudioPlaySource {
 public:
  explicit TReaderPlaySource(TCustomAudioReader* reader) : reader_(reader) {}
  bool Opened() const override { return reader_ != nullptr && reader_->Opened(); }
  int Duration() const override { return reader_ != nullptr ? reader_->Duration() : 0; }
  WAVEFORMATEX DestFormat() const override {
    return reader_ != nullptr ? reader_->DestinationFormat() : WAVEFORMATEX{};
  }
  int ReadData(int timeMs, int durationMs, int maxBytes, uint8_t* buffer) override {
    return reader_ != nullptr ? reader_->ReadData(timeMs, durationMs, maxBytes, buffer) : 0;
  }

 private:
  TCustomAudioReader* reader_;
};

}  // namespace

TAudioPlay::TAudioPlay(TCustomAudioReader* reader)
    : TAudioPlay(std::make_unique<TReaderPlaySource>(reader)) {}

}  // namespace movara
