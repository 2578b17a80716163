#include "app/DemoMedia.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/JpegFile.h"
#include "fx3d/DDUtils.h"
#include "pages/PageEditBox.h"
#include "platform/avifile/AviFile.h"

namespace movara {

TDIB MakeDemoBars(int width, int height) {
  static const TColor bars[] = {RGBColor(192, 192, 192), RGBColor(192, 192, 0),
                                RGBColor(0, 192, 192),   RGBColor(0, 192, 0),
                                RGBColor(192, 0, 192),   RGBColor(192, 0, 0),
                                RGBColor(0, 0, 192)};
  TDIB dib(width, height, 24);
  const int barsBottom = height * 2 / 3;
  for (int i = 0; i < 7; ++i)
    dib.FillRect(Rect(width * i / 7, 0, width * (i + 1) / 7, barsBottom), bars[i]);
  for (int x = 0; x < width; ++x) {
    int v = width > 1 ? x * 255 / (width - 1) : 0;
    dib.FillRect(Rect(x, barsBottom, x + 1, height), RGBColor(v, v, v));
  }
  return dib;
}

TDIB MakeDemoGradient(int width, int height) {
  TDIB dib(width, height, 24);
  const double cx = width / 2.0, cy = height / 2.0, r = std::min(width, height) / 4.0;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = dib.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      int red = width > 1 ? x * 255 / (width - 1) : 0;
      int blue = height > 1 ? y * 255 / (height - 1) : 0;
      int green = 255 - (red + blue) / 2;
      double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      if (dx * dx + dy * dy <= r * r) {
        red = (red + 255) / 2;
        green = (green + 255) / 2;
        blue = (blue + 255) / 2;
      }
      row[3 * x] = static_cast<uint8_t>(blue);
      row[3 * x + 1] = static_cast<uint8_t>(green);
      row[3 * x + 2] = static_cast<uint8_t>(red);
    }
  }
  return dib;
}

TDIB MakeDemoChecker(int width, int height, int cell, TColor a, TColor b) {
  TDIB dib(width, height, 24);
  if (cell < 1) cell = 1;
  for (int y = 0; y < height; y += cell)
    for (int x = 0; x < width; x += cell)
      dib.FillRect(Rect(x, y, x + cell, y + cell), ((x / cell + y / cell) & 1) ? b : a);
  return dib;
}

namespace {

constexpr double Pi = 3.14159265358979323846;

// One byte-order-free pixel write into a 24-bit scan line.
inline void Put(uint8_t* row, int x, TColor c) {
  row[3 * x] = static_cast<uint8_t>(GetBValue(c));
  row[3 * x + 1] = static_cast<uint8_t>(GetGValue(c));
  row[3 * x + 2] = static_cast<uint8_t>(GetRValue(c));
}

// Segments a..g of the digits 0..9 (bit 0 = a, the top one, clockwise, g the middle).
constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

// A seven-segment digit of blocks, w x h, its top left at (x, y).
void DrawDigit(TDIB& dib, int x, int y, int w, int h, int t, int digit, TColor on, TColor off) {
  const uint8_t bits = kSegments[digit % 10];
  const int mid = y + (h - t) / 2;
  const TRect seg[7] = {
      Rect(x, y, x + w, y + t),                   // a
      Rect(x + w - t, y, x + w, mid + t),         // b
      Rect(x + w - t, mid, x + w, y + h),         // c
      Rect(x, y + h - t, x + w, y + h),           // d
      Rect(x, mid, x + t, y + h),                 // e
      Rect(x, y, x + t, mid + t),                 // f
      Rect(x, mid, x + w, mid + t),               // g
  };
  for (int i = 0; i < 7; ++i)
    if (!(bits & (1 << i))) dib.FillRect(seg[i], off);
  for (int i = 0; i < 7; ++i)
    if (bits & (1 << i)) dib.FillRect(seg[i], on);
}

// The frame number in a dark box in the middle and a progress bar along the bottom.
void DrawCounter(TDIB& dib, int frame, int frames, TColor accent) {
  const int w = dib.Width(), h = dib.Height();
  const int dw = 56, dh = 100, t = 12, gap = 18, digits = 3;
  const int boxW = digits * dw + (digits - 1) * gap + 40, boxH = dh + 40;
  const int bx = (w - boxW) / 2, by = (h - boxH) / 2;
  dib.FillRect(Rect(bx, by, bx + boxW, by + boxH), RGBColor(16, 16, 16));
  int value = frame;
  for (int i = digits - 1; i >= 0; --i) {
    DrawDigit(dib, bx + 20 + i * (dw + gap), by + 20, dw, dh, t, value % 10, RGBColor(255, 255, 255),
              RGBColor(48, 48, 48));
    value /= 10;
  }
  const int barTop = h - 36, barBottom = h - 16, barLeft = 24, barRight = w - 24;
  dib.FillRect(Rect(barLeft, barTop, barRight, barBottom), RGBColor(32, 32, 32));
  const int filled = frames > 1 ? barLeft + (barRight - barLeft) * frame / (frames - 1) : barRight;
  dib.FillRect(Rect(barLeft, barTop, filled, barBottom), accent);
}

void CheckWritten(HRESULT r, const std::string& path) {
  if (r != AVIERR_OK)
    throw EMovara(Format("cannot write '%s' (%s)", path.c_str(), AviErrorText(r).c_str()));
}

void AppendLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

int16_t Sample(double v) {
  return static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0));
}

}  // namespace

TDIB MakeDemoLogo(int width, int height) {
  TDIB dib(width, height, 24);
  dib.Fill(DemoKeyColor);
  const int r = std::max(8, std::min(width, height) / 7);
  const int cx = width - r - std::max(4, width / 24), cy = r + std::max(4, height / 20);
  const TColor ring = RGBColor(20, 40, 110), disc = RGBColor(255, 200, 0), letter = RGBColor(200, 20, 20);
  for (int y = std::max(0, cy - r); y < std::min(height, cy + r + 1); ++y) {
    uint8_t* row = dib.ScanLine(y);
    for (int x = std::max(0, cx - r); x < std::min(width, cx + r + 1); ++x) {
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, d2 = dx * dx + dy * dy;
      if (d2 <= double(r) * r) Put(row, x, d2 >= 0.78 * r * r ? ring : disc);
    }
  }
  // the letter M of four strokes inside the disc
  const int lw = r, lh = r, t = std::max(2, r / 6);
  const int lx = cx - lw / 2, ly = cy - lh / 2;
  dib.FillRect(Rect(lx, ly, lx + t, ly + lh), letter);
  dib.FillRect(Rect(lx + lw - t, ly, lx + lw, ly + lh), letter);
  for (int i = 0; i < lh * 3 / 5; ++i) {
    const int step = (lw / 2 - t / 2) * i / std::max(1, lh * 3 / 5);
    dib.FillRect(Rect(lx + step, ly + i, lx + step + t, ly + i + 1), letter);
    dib.FillRect(Rect(lx + lw - step - t, ly + i, lx + lw - step, ly + i + 1), letter);
  }
  return dib;
}

TDIB MakeDemoClipFrame(int width, int height, int variant, int frame, int frames) {
  TDIB dib(width, height, 24);
  if (variant == 0) {
    static const TColor bars[] = {RGBColor(192, 192, 192), RGBColor(192, 192, 0), RGBColor(0, 192, 192),
                                  RGBColor(0, 192, 0),     RGBColor(192, 0, 192), RGBColor(192, 0, 0),
                                  RGBColor(0, 0, 192)};
    const int barW = std::max(1, width / 7), shift = frame * 8;
    // every line of the bars is the same: build it once, copy it down
    std::vector<uint8_t> line(static_cast<size_t>(width) * 3);
    for (int x = 0; x < width; ++x) Put(line.data(), x, bars[((x + shift) / barW) % 7]);
    const int barsBottom = height * 2 / 3;
    for (int y = 0; y < barsBottom; ++y) std::copy(line.begin(), line.end(), dib.ScanLine(y));
    // a grey ramp below, running the other way
    for (int x = 0; x < width; ++x) {
      const int v = ((x + width - (shift % width)) % width) * 255 / std::max(1, width - 1);
      Put(line.data(), x, RGBColor(v, v, v));
    }
    for (int y = barsBottom; y < height; ++y) std::copy(line.begin(), line.end(), dib.ScanLine(y));
    DrawCounter(dib, frame, frames, RGBColor(255, 64, 64));
  } else {
    const double phase = frame * 0.08;
    for (int y = 0; y < height; ++y) {
      uint8_t* row = dib.ScanLine(y);
      for (int x = 0; x < width; ++x) {
        const int s = (x + y + frame * 6) & 511;
        const int v = s < 256 ? s : 511 - s;
        const int red = v, green = static_cast<int>(127.5 + 127.5 * std::sin(phase + y * 0.01)), blue = 255 - v;
        row[3 * x] = static_cast<uint8_t>(blue);
        row[3 * x + 1] = static_cast<uint8_t>(green);
        row[3 * x + 2] = static_cast<uint8_t>(red);
      }
    }
    // a square bouncing between the edges
    const int side = std::max(8, height / 6);
    const int spanX = std::max(1, width - side), spanY = std::max(1, height - side);
    int px = (frame * 9) % (2 * spanX), py = (frame * 7) % (2 * spanY);
    if (px > spanX) px = 2 * spanX - px;
    if (py > spanY) py = 2 * spanY - py;
    dib.FillRect(Rect(px, py, px + side, py + side), RGBColor(255, 255, 255));
    DrawCounter(dib, frame, frames, RGBColor(64, 160, 255));
  }
  return dib;
}

void WriteDemoAvi(const std::string& path, int variant, int frames, double toneHz) {
  constexpr int Width = 720, Height = 576, Rate = 25;
  constexpr int SamplesPerFrame = DemoSampleRate / Rate;
  PAVIFILE file = nullptr;
  CheckWritten(AVIFileOpen(&file, path, OF_WRITE | OF_CREATE), path);
  TAviFilePtr fileRef(file);

  AVISTREAMINFO vi;
  vi.fccType = streamtypeVIDEO;
  vi.fccHandler = FourCCFromString("MJPG");
  vi.dwScale = 1;
  vi.dwRate = Rate;
  vi.dwQuality = 0xFFFFFFFFu;
  vi.rcFrame = RECT{0, 0, Width, Height};
  vi.SetName("Movara demo");
  PAVISTREAM video = nullptr;
  CheckWritten(AVIFileCreateStream(file, &video, &vi), path);
  TAviStreamPtr videoRef(video);
  BITMAPINFOHEADER bih;
  bih.biWidth = Width;
  bih.biHeight = Height;
  bih.biBitCount = 24;
  bih.biCompression = FourCCFromString("MJPG");
  bih.biSizeImage = Width * Height * 3;
  const auto format = bih.Bytes();
  CheckWritten(AVIStreamSetFormat(video, 0, format.data(), static_cast<int32_t>(format.size())), path);

  const WAVEFORMATEX wf = MakePcmFormat(DemoChannels, DemoSampleRate, 16);
  AVISTREAMINFO ai;
  ai.fccType = streamtypeAUDIO;
  ai.wPriority = 1;
  ai.dwScale = wf.nBlockAlign;
  ai.dwRate = wf.nAvgBytesPerSec;
  ai.dwQuality = 0xFFFFFFFFu;
  ai.dwSampleSize = wf.nBlockAlign;
  PAVISTREAM audio = nullptr;
  CheckWritten(AVIFileCreateStream(file, &audio, &ai), path);
  TAviStreamPtr audioRef(audio);
  const auto wfBytes = TWaveFormat{wf, {}}.Bytes();
  CheckWritten(AVIStreamSetFormat(audio, 0, wfBytes.data(), static_cast<int32_t>(wfBytes.size())), path);

  std::vector<uint8_t> jpeg;
  std::vector<uint8_t> sound(static_cast<size_t>(SamplesPerFrame) * wf.nBlockAlign);
  const double total = double(frames) * SamplesPerFrame;
  for (int n = 0; n < frames; ++n) {
    if (!SaveJpegToBytes(MakeDemoClipFrame(Width, Height, variant, n, frames), 85, jpeg))
      throw EMovara(Format("cannot compress frame %d of '%s'", n, path.c_str()));
    int32_t written = 0, bytes = 0;
    CheckWritten(AVIStreamWrite(video, n, 1, jpeg.data(), static_cast<int32_t>(jpeg.size()), AVIIF_KEYFRAME,
                                &written, &bytes),
                 path);
    // the tone pulses twice a second and fades in and out at the ends of the clip
    uint8_t* out = sound.data();
    for (int i = 0; i < SamplesPerFrame; ++i) {
      const double k = double(n) * SamplesPerFrame + i, t = k / DemoSampleRate;
      const double edge = std::min({1.0, k / 2205.0, (total - k) / 2205.0});
      const double level = 0.35 * edge * (0.75 + 0.25 * std::cos(2 * Pi * 2.0 * t));
      const double v = level * std::sin(2 * Pi * toneHz * t);
      // the second channel a little quieter, so the two are told apart
      const int16_t l = Sample(v), r = Sample(v * 0.8);
      out[0] = static_cast<uint8_t>(l), out[1] = static_cast<uint8_t>(static_cast<uint16_t>(l) >> 8);
      out[2] = static_cast<uint8_t>(r), out[3] = static_cast<uint8_t>(static_cast<uint16_t>(r) >> 8);
      out += 4;
    }
    CheckWritten(AVIStreamWrite(audio, n * SamplesPerFrame, SamplesPerFrame, sound.data(),
                                static_cast<int32_t>(sound.size()), 0, &written, &bytes),
                 path);
  }
  audioRef.reset();
  videoRef.reset();
  fileRef.reset();  // the last reference: the file is finished here

  // the file is finished on release, where no error comes back: read it to be sure
  PAVIFILE check = nullptr;
  if (AVIFileOpen(&check, path, OF_READ) != AVIERR_OK)
    throw EMovara(Format("cannot write '%s': it does not read back", path.c_str()));
  TAviFilePtr checkRef(check);
  PAVISTREAM v = nullptr;
  if (AVIFileGetStream(check, &v, streamtypeVIDEO, 0) != AVIERR_OK)
    throw EMovara(Format("cannot write '%s': no video in it", path.c_str()));
  TAviStreamPtr vRef(v);
  if (AVIStreamLength(v) != frames)
    throw EMovara(Format("cannot write '%s': %d of %d frames read back", path.c_str(), AVIStreamLength(v), frames));
}

void WriteDemoWav(const std::string& path, int ms) {
  const int samples = static_cast<int>(int64_t(DemoSampleRate) * std::max(0, ms) / 1000);
  // C4 E4 G4 C5, half a second each, then all of them together
  static const double notes[] = {261.63, 329.63, 392.00, 523.25};
  const int noteLength = DemoSampleRate / 2;
  const uint32_t dataBytes = static_cast<uint32_t>(samples) * 4;
  std::vector<uint8_t> b;
  b.reserve(44 + dataBytes);
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  AppendLE(b, 36 + dataBytes, 4);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  AppendLE(b, 16, 4);
  AppendLE(b, 1, 2);  // PCM
  AppendLE(b, DemoChannels, 2);
  AppendLE(b, DemoSampleRate, 4);
  AppendLE(b, DemoSampleRate * 4, 4);
  AppendLE(b, 4, 2);
  AppendLE(b, 16, 2);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  AppendLE(b, dataBytes, 4);
  for (int k = 0; k < samples; ++k) {
    const double t = double(k) / DemoSampleRate;
    double left = 0, right = 0;
    for (int i = 0; i < 4; ++i) {
      const int start = i * noteLength;
      if (k < start) continue;
      const double since = double(k - start) / DemoSampleRate;
      // each note sounds on (it joins the chord), struck softly and dying away slowly
      const double env = std::min(1.0, since / 0.01) * (0.55 + 0.45 * std::exp(-since * 3.0));
      const double tone = std::sin(2 * Pi * notes[i] * t) + 0.3 * std::sin(4 * Pi * notes[i] * t);
      // low notes lean left, high ones right
      left += env * tone * (1.0 - 0.15 * i);
      right += env * tone * (0.55 + 0.15 * i);
    }
    const double fade = std::min(1.0, double(samples - k) / (DemoSampleRate * 0.3));
    AppendLE(b, static_cast<uint16_t>(Sample(0.16 * fade * left)), 2);
    AppendLE(b, static_cast<uint16_t>(Sample(0.16 * fade * right)), 2);
  }
  if (!WriteWholeFile(path, b.data(), b.size())) throw EMovara(Format("cannot write '%s'", path.c_str()));
}

void WriteDemoTitlePage(const std::string& path) {
  TPageEditBox page;
  page.SetPageSize(psVideo);
  page.SetPageColor(RGBColor(20, 40, 120));
  TFontItem* title = page.AddFontItem(true, false);
  title->Text = "Film demonstracyjny";
  title->FontName = "Arial";
  title->FontSize = 44;
  title->Bold = true;
  title->FontColor = RGBColor(255, 220, 40);
  title->Shadowed = true;
  title->ShadowX = title->ShadowY = 3;
  title->ShadowColor = RGBColor(0, 0, 0);
  TFontItem* sub = page.AddFontItem(false, false);
  sub->Text = "Pokaz możliwości programu Movara";
  sub->FontName = "Times New Roman";
  sub->FontSize = 24;
  sub->Italic = true;
  sub->FontColor = RGBColor(255, 255, 255);
  // centre each line across the page, the title a little above the middle
  page.UpdateBounds();
  const int w = PageSizeWidth(psVideo), h = PageSizeHeight(psVideo);
  const int titleH = title->Bounds.Bottom - title->Bounds.Top, subH = sub->Bounds.Bottom - sub->Bounds.Top;
  const int top = (h - titleH - 24 - subH) / 2;
  TFontItem* items[2] = {title, sub};
  const int tops[2] = {top, top + titleH + 24};
  for (int i = 0; i < 2; ++i) {
    TFontItem* it = items[i];
    const int bw = it->Bounds.Right - it->Bounds.Left;
    it->PosX += (w - bw) / 2 - it->Bounds.Left;
    it->PosY += tops[i] - it->Bounds.Top;
  }
  page.SetFileName(path);
  if (!page.SaveFile()) throw EMovara(Format("cannot write '%s'", path.c_str()));
}

std::vector<TDemoFile> MakeDemoPictures(const std::string& folder) {
  struct TItem {
    const char* name;
    TDIB dib;
    const char* what;
  };
  TItem items[] = {
      {"paski.bmp", MakeDemoBars(720, 576), "colour bars"},
      {"gradient.jpg", MakeDemoGradient(720, 576), "colour gradient"},
      {"szachownica.gif", MakeDemoChecker(720, 576, 48, RGBColor(255, 0, 255), RGBColor(0, 0, 0)),
       "magenta checkerboard for keying"},
      {"logo.bmp", MakeDemoLogo(720, 576), "logo on black, the keyed overlay"},
  };
  std::vector<TDemoFile> made;
  for (TItem& item : items) {
    std::string path = folder + item.name;
    if (!SavePictureFile(item.dib, path, false))
      throw EMovara(Format("cannot write '%s'", path.c_str()));
    made.push_back({path, Format("%s, %d x %d", item.what, item.dib.Width(), item.dib.Height())});
  }
  return made;
}

}  // namespace movara
