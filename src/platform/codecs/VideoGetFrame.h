#pragma once
// The frame getter of an open AVI video stream, as the platform's AVIFile service
// offers it:
//
//   PGETFRAME getter = AVIStreamGetFrameOpen(video, nullptr);
//   const void* dib = AVIStreamGetFrame(getter, n);  // packed DIB, valid until the next call
//   AVIStreamGetFrameClose(getter);
//
// Frames come as 24-bit packed DIBs (40-byte header, then bottom-up rows), decoded as
// TVideoFrameGetter describes. The getter holds a reference to the stream until it is
// closed.
#include <cstdint>
#include <memory>

#include "platform/avifile/AviFile.h"
#include "platform/codecs/VideoFormat.h"

namespace movara {

class TAviGetFrame;
using PGETFRAME = TAviGetFrame*;
class IVideoFrameSource;

// The stored frames of an AVI video stream, read through the AVIFile calls, for a
// TVideoFrameGetter; holds a reference to the stream while it lives.
std::shared_ptr<IVideoFrameSource> AviStreamFrameSource(PAVISTREAM pavi);
// The picture format of a video stream; false when it cannot be read, is larger than
// 16 MB or is shorter than a BITMAPINFOHEADER.
bool AviStreamVideoFormat(PAVISTREAM pavi, TVideoFormat& format);

// nullptr when the stream is not video, its format cannot be read, no decoder takes it,
// or wanted asks for something else than 24-bit BI_RGB frames (of the stream's size, or
// of size 0 meaning the stream's).
PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM pavi, const BITMAPINFOHEADER* wanted);
// The packed DIB of the frame at pos; nullptr outside the stream or when the frame gave
// no picture.
const void* AVIStreamGetFrame(PGETFRAME pgf, int32_t pos);
// Bytes of the packed DIB last returned (0 when none).
int32_t AVIStreamGetFrameSize(PGETFRAME pgf);
HRESULT AVIStreamGetFrameClose(PGETFRAME pgf);

}  // namespace movara
