// Saves PNGs of the DV windows on the simulated camera into a folder (offscreen):
// dvcapture.png (the capture window playing the tape), dvcapsetup.png (its settings
// dialog) and dvrecord.png (the record window previewing its list). The tape is made
// here by our own DV compressor: colour bars with a moving square and a tone.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <cstdio>

#include "base/AppPaths.h"
#include "base/Dib.h"
#include "base/UserMessages.h"
#include "dv/ui/DvCapForm.h"
#include "dv/ui/DvCapSetup.h"
#include "dv/ui/DvRecordForm.h"
#include "platform/codecs/VideoCompressor.h"
#include "platform/dvgraph/DvAviFile.h"
#include "platform/dvgraph/DvDif.h"
#include "platform/dvgraph/DvGraph.h"

using namespace movara;

namespace {

bool MakeTape(const std::string& file, int frames) {
  auto hic = TVideoCompressorSession::Open(ICTYPE_VIDEO, VideoFourCC("dvsd"), ICMODE_COMPRESS);
  if (!hic) return false;
  TDIB pic(kDvPalWidth, kDvPalHeight, 24);
  const TVideoFormat in = TVideoFormat::ForDib(pic);
  TVideoFormat out;
  if (hic->CompressGetFormat(in, out) != ICERR_OK || hic->CompressBegin(in, out) != ICERR_OK) return false;
  auto w = TDvAviWriter::Create(file, 0);
  if (!w) return false;
  const TColor bars[] = {RGBColor(192, 192, 192), RGBColor(192, 192, 0), RGBColor(0, 192, 192), RGBColor(0, 192, 0),
                         RGBColor(192, 0, 192),   RGBColor(192, 0, 0),   RGBColor(0, 0, 192)};
  std::vector<int16_t> pcm(kDvPalSamplesPerFrame * 2);
  for (int n = 0; n < frames; ++n) {
    for (int y = 0; y < kDvPalHeight; ++y)
      for (int x = 0; x < kDvPalWidth; ++x) pic.SetPixel(x, y, bars[x * 7 / kDvPalWidth]);
    const int bx = 40 + n * 12 % 560, by = 200;
    for (int y = by; y < by + 120; ++y)
      for (int x = bx; x < bx + 120; ++x) pic.SetPixel(x, y, RGBColor(240, 240, 240));
    for (int i = 0; i < kDvPalSamplesPerFrame; ++i) {
      const double t = (n * kDvPalSamplesPerFrame + i) / 48000.0;
      pcm[2 * i] = pcm[2 * i + 1] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * t));
    }
    TCompressedFrame c;
    if (hic->Compress(pic, true, c) != ICERR_OK) return false;
    if (!w->WriteFrame(c.Data, c.Size, pcm.data(), kDvPalSamplesPerFrame)) return false;
  }
  return w->Close();
}

bool Save(QWidget& w, const QString& file) {
  QApplication::processEvents();
  return w.grab().save(file);
}

void Wait(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QTest::qWait(20);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]) + "/";
  QDir().mkpath(out);
  SetUserMessages(std::make_shared<TStderrMessages>());
  const std::string tape = UserFolder() + "DvTape.avi";
  if (!MakeTape(tape, 75)) {
    std::fprintf(stderr, "%s: cannot make the tape %s\n", argv[0], tape.c_str());
    return 1;
  }
  TDvSimSettings sim;
  sim.TapeFile = tape;
  DvSetSimulator(sim);
  const std::string ini = UserFolder() + "Movara.Ini";
  bool ok = true;
  {
    TDvCapForm form(ini);
    form.resize(640, 500);
    form.show();
    form.Controller().Play();
    Wait(800);
    ok = Save(form, out + "dvcapture.png") && ok;
    TDvCapSetup setup(form.Settings(), &form);
    setup.show();
    ok = Save(setup, out + "dvcapsetup.png") && ok;
    setup.close();
    form.close();
  }
  {
    TDvRecordForm form(ini);
    form.resize(640, 560);
    form.AddFiles({QString::fromStdString(tape)});
    form.show();
    form.Button("Odtwarzaj")->click();
    Wait(600);
    form.Button("Wstrzymaj")->click();
    Wait(200);
    ok = Save(form, out + "dvrecord.png") && ok;
    form.close();
  }
  DvSetSimulator({});
  return ok ? 0 : 1;
}
