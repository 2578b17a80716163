// The output settings window and the compressor chooser driven as a user drives them
// (Qt Test, offscreen): the defaults of a first run, the INI section written and read
// back, the record filled for every output kind, the compressor chosen and configured,
// a compressor that cannot be opened, an output that cannot be written, the save dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "base/Format.h"
#include "base/MyIniFile.h"
#include "base/UserMessages.h"
#include "output/ui/AviFormatForm.h"
#include "output/ui/CompressorChooser.h"
#include "project/VfxData.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::TTempDir;

QString Q(const char* s) { return QString::fromUtf8(s); }

// Runs user() on the next modal window that opens (a dialog of the window under test).
void OnNextDialog(const std::function<void(QWidget*)>& user) {
  QTimer::singleShot(0, [user] {
    QWidget* w = nullptr;
    for (int i = 0; i < 300 && !(w = QApplication::activeModalWidget()); ++i) QTest::qWait(10);
    ASSERT_NE(w, nullptr);
    user(w);
  });
}

void Radio(QGroupBox* group, int index) { group->findChildren<QRadioButton*>().at(index)->click(); }

void Pick(QComboBox* box, const char* text) {
  const int i = box->findText(Q(text));
  ASSERT_GE(i, 0) << text;
  box->setCurrentIndex(i);
}

// Scoped environment variable.
struct TEnv {
  TEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    setenv(name, value.c_str(), 1);
  }
  ~TEnv() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }
  const char* name_;
  std::string old_;
  bool had_ = false;
};

bool SameSettings(const TFilmSettingsData& a, const TFilmSettingsData& b) {
  return a.FileName == b.FileName && a.OutputKind == b.OutputKind && a.OpenAfterFinished == b.OpenAfterFinished &&
         a.Compvars.fccType == b.Compvars.fccType && a.Compvars.fccHandler == b.Compvars.fccHandler &&
         a.Compvars.dwFlags == b.Compvars.dwFlags && a.Compvars.lKey == b.Compvars.lKey &&
         a.Compvars.lDataRate == b.Compvars.lDataRate && a.Compvars.lQ == b.Compvars.lQ &&
         a.StateBlock == b.StateBlock && a.FrameWidth == b.FrameWidth && a.FrameHeight == b.FrameHeight &&
         a.ColourMode == b.ColourMode && a.FramesPerSecond == b.FramesPerSecond &&
         a.VideoRenderMode == b.VideoRenderMode && a.FilmContent == b.FilmContent && a.RangeKind == b.RangeKind &&
         a.SamplesPerSecond == b.SamplesPerSecond && a.AudioMode == b.AudioMode &&
         a.AudioFormatTag == b.AudioFormatTag && a.AudioBlockMode == b.AudioBlockMode &&
         a.MaxAviFileSize == b.MaxAviFileSize;
}

TEST(AviFormatForm, FirstRunDefaultsAndTheIniRoundTrip) {
  TTempDir dir;
  std::filesystem::create_directories(dir.File("user/Videos"));
  TEnv home("HOME", dir.File("user"));
  unsetenv("XDG_VIDEOS_DIR");
  const std::string ini = dir.File("Movara.Ini");
  TFilmSettingsData first;
  {
    TAviFormatForm form(nullptr, ini);
    EXPECT_EQ(form.windowTitle(), Q("Własności generowanego filmu"));
    EXPECT_EQ(form.mseVideoRate->value(), 25);
    EXPECT_EQ(form.mseFrameWidth->value(), 320);
    EXPECT_EQ(form.mseFrameHeight->value(), 240);
    EXPECT_EQ(form.cbFrameSize->currentText(), "320 x 240");
    EXPECT_TRUE(form.rgBitDepth->findChildren<QRadioButton*>().at(1)->isChecked());
    EXPECT_EQ(form.edVideoCompressor->text(), Q("Pełne klatki - bez kompresji"));
    EXPECT_EQ(form.cbAudioCodec->currentText(), Q("Bez kompresji"));
    EXPECT_EQ(form.cbAudioFrequency->currentText(), "44100 Hz");
    EXPECT_EQ(form.cbAudioFormat->currentText(), Q("16 bitów - Stereo"));
    EXPECT_EQ(form.cbAudioInterleave->currentText(), "1 sekunda");
    EXPECT_TRUE(form.rgRange->findChildren<QRadioButton*>().at(2)->isChecked());
    EXPECT_EQ(form.cbMaxAviFileSize->currentText(), "2 GB");
    EXPECT_TRUE(form.cbOpenWhenFinished->isChecked());
    EXPECT_EQ(form.edFileName->text().toStdString(), dir.File("user/Videos/Film.AVI"));
    EXPECT_EQ(form.Summary(), Q("Czas trwania filmu: 0,00 [s]\nAnimacja: 320 x 240 - 25 kl./s\n"
                                "Dźwięk: 44100 Hz, 16 bitów - Stereo, Bez kompresji"));

    // every choice changed
    form.mseVideoRate->setValue(30);
    form.cbFrameSize->setCurrentIndex(4);
    emit form.cbFrameSize->activated(4);  // 640 x 480
    Radio(form.rgBitDepth, 2);
    Pick(form.cbVideoRenderMode, "ŚREDNIA (Rekompresja)");
    Pick(form.cbAudioCodec, "MPEG Layer-3");
    Pick(form.cbAudioFrequency, "48000 Hz");
    Pick(form.cbAudioFormat, "16 bitów - Mono");
    Pick(form.cbAudioInterleave, "1/2 sekundy");
    Radio(form.rgExport, 1);
    Radio(form.rgRange, 0);
    Pick(form.cbFileType, "Sekwencje JPEG");
    Pick(form.cbMaxAviFileSize, "650 MB");
    form.cbOpenWhenFinished->setChecked(false);
    form.edFileName->setText(QString::fromStdString(dir.File("out/klip.avi")));
    // Motion JPEG through the chooser, configured for 4:2:2
    OnNextDialog([](QWidget* chooser) {
      EXPECT_EQ(chooser->windowTitle(), Q("Wybór kompresora video"));
      auto* list = chooser->findChild<QComboBox*>("cbCompressor");
      Pick(list, "Motion JPEG");
      OnNextDialog([](QWidget* configure) {
        configure->findChild<QComboBox*>("cbOption")->setCurrentIndex(0);
        QTest::keyClick(configure, Qt::Key_Return);
      });
      QTest::mouseClick(chooser->findChild<QPushButton*>("bbConfigure"), Qt::LeftButton);
      QTest::keyClick(chooser, Qt::Key_Return);
    });
    QTest::mouseClick(form.bbChangeCompressor, Qt::LeftButton);
    EXPECT_EQ(form.edVideoCompressor->text(), "Motion JPEG");
    first = form.Settings();
    EXPECT_EQ(first.FrameWidth, 640);
    EXPECT_EQ(first.Compvars.fccHandler, VideoFourCC("MJPG"));
    EXPECT_EQ(first.StateBlock.size(), 32u);
  }
  // the section as written
  TMyIniFile f(ini);
  EXPECT_EQ(f.ReadInteger("AviFormatSection", "CompvarsfccHandler", 0), static_cast<int>(VideoFourCC("MJPG")));
  EXPECT_EQ(f.ReadInteger("AviFormatSection", "CompvarsStateSize", 0), 32);
  EXPECT_EQ(f.ReadString("AviFormatSection", "CompvarsState00", "").size(), 32u);
  EXPECT_EQ(f.ReadString("AviFormatSection", "CompvarsState01", "").size(), 32u);
  EXPECT_FALSE(f.ValueExists("AviFormatSection", "CompvarsState02"));
  EXPECT_EQ(f.ReadString("AviFormatSection", "IniAudioFrequency", ""), "48000 Hz");
  EXPECT_EQ(f.ReadInteger("AviFormatSection", "IniBitsDepth", -1), 2);
  EXPECT_EQ(f.ReadInteger("AviFormatSection", "FilmFileType", -1), 3);
  {
    TAviFormatForm again(nullptr, ini);
    EXPECT_TRUE(SameSettings(again.Settings(), first));
    EXPECT_EQ(again.edVideoCompressor->text(), "Motion JPEG");
    EXPECT_EQ(again.cbFrameSize->currentText(), "640 x 480");
  }

  // a state of 40 bytes: three keys, read back byte for byte
  std::vector<uint8_t> state(40);
  for (size_t i = 0; i < state.size(); ++i) state[i] = static_cast<uint8_t>(i * 7 + 1);
  f.WriteInteger("AviFormatSection", "CompvarsStateSize", 40);
  f.WriteString("AviFormatSection", "CompvarsState00", BufToHex(state.data(), 16));
  f.WriteString("AviFormatSection", "CompvarsState01", BufToHex(state.data() + 16, 16));
  f.WriteString("AviFormatSection", "CompvarsState02", BufToHex(state.data() + 32, 8));
  {
    TAviFormatForm form(nullptr, ini);
    EXPECT_EQ(form.Settings().StateBlock, state);
  }
  EXPECT_EQ(f.ReadString("AviFormatSection", "CompvarsState02", "").size(), 16u);
  EXPECT_EQ(f.ReadString("AviFormatSection", "CompvarsState02", ""), BufToHex(state.data() + 32, 8));
}

TEST(AviFormatForm, RecordForEachOutputKind) {
  TTempDir dir;
  const struct {
    const char* fileType;
    uint8_t kind;
    const char* renderMode;
    uint8_t wantRenderMode;
    const char* codec;
    uint16_t tag;
    const char* rate;
    const char* format;
    uint8_t audioMode;
    int depth;
    uint8_t colourMode;
    const char* size;
    int64_t bytes;
    int content, range;
    const char* block;
    uint8_t blockMode;
  } cases[] = {
      {"Microsoft AVI", okAviFilm, "MAKSYMALNA (Bez rekompresji)", vrmMaximal, "Bez kompresji", WAVE_FORMAT_PCM,
       "48000 Hz", "8 bitów - Stereo", amStereo8, 0, cmColour16, "100 MB", 104857600, 0, 2, "1 ramka", abFrame},
      {"Microsoft AVI", okAviFilm, "BRAK (Rekompresja i renderowanie)", vrmNone, "MPEG Layer-3", 0x55, "44100 Hz",
       "16 bitów - Stereo", amStereo16, 2, cmColour32, "2 GB", 2147483647, 2, 1, "bez", abSoundFirst},
      {"Sekwencje BMP", okBmpSequence, "MAKSYMALNA (Bez rekompresji)", vrmMedium, "IMA ADPCM", 0x11, "22050 Hz",
       "16 bitów - Mono", amMono16, 1, cmColour24, "1 GB", 1073741824, 1, 0, "1/2 sekundy", abHalfSecond},
      {"Sekwencje GIFF", okGifSequence, "BRAK (Rekompresja i renderowanie)", vrmNone, "Bez kompresji",
       WAVE_FORMAT_PCM, "11025 Hz", "8 bitów - Mono", amMono8, 1, cmColour24, "700 MB", 734003200, 0, 2,
       "1 sekunda", abSecond},
      {"Sekwencje JPEG", okJpegSequence, "MAKSYMALNA (Bez rekompresji)", vrmMedium, "Bez kompresji",
       WAVE_FORMAT_PCM, "44100 Hz", "16 bitów - Stereo", amStereo16, 1, cmColour24, "250 MB", 262144000, 1, 2,
       "1 sekunda", abSecond},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fileType + std::string(" ") + c.codec);
    TAviFormatForm form(nullptr, dir.File("Movara.Ini"));
    Pick(form.cbFileType, c.fileType);
    Pick(form.cbVideoRenderMode, c.renderMode);
    Pick(form.cbAudioCodec, c.codec);
    Pick(form.cbAudioFrequency, c.rate);
    Pick(form.cbAudioFormat, c.format);
    Radio(form.rgBitDepth, c.depth);
    Pick(form.cbMaxAviFileSize, c.size);
    Radio(form.rgExport, c.content);
    Radio(form.rgRange, c.range);
    Pick(form.cbAudioInterleave, c.block);
    form.mseFrameWidth->setValue(333);
    form.mseFrameHeight->setValue(222);
    EXPECT_EQ(form.cbFrameSize->currentIndex(), 0);  // a typed size
    const TFilmSettingsData s = form.Settings();
    EXPECT_EQ(s.OutputKind, c.kind);
    EXPECT_EQ(s.VideoRenderMode, c.wantRenderMode);
    EXPECT_EQ(s.AudioFormatTag, c.tag);
    EXPECT_EQ(s.SamplesPerSecond, std::atoi(c.rate));
    EXPECT_EQ(s.AudioMode, c.audioMode);
    EXPECT_EQ(s.ColourMode, c.colourMode);
    EXPECT_EQ(s.MaxAviFileSize, c.bytes);
    EXPECT_EQ(s.FilmContent, c.content);
    EXPECT_EQ(s.RangeKind, c.range);
    EXPECT_EQ(s.AudioBlockMode, c.blockMode);
    EXPECT_EQ(s.FrameWidth, 333);
    EXPECT_EQ(s.FrameHeight, 222);
    EXPECT_FALSE(s.Compressed());
  }
}

TEST(AviFormatForm, CompressorThatCannotBeOpenedAndAnOutputThatCannotBeWritten) {
  TTempDir dir;
  const std::string ini = dir.File("Movara.Ini");
  TMyIniFile f(ini);
  f.WriteInteger("AviFormatSection", "CompvarsfccType", static_cast<int>(ICTYPE_VIDEO));
  f.WriteInteger("AviFormatSection", "CompvarsfccHandler", static_cast<int>(VideoFourCC("ZZZZ")));
  f.WriteInteger("AviFormatSection", "CompvarslQ", 5000);
  f.WriteString("AviFormatSection", "FileName", dir.File("no/such/folder/Film.AVI"));
  TScopedMessageRecorder messages;
  TAviFormatForm form(nullptr, ini);
  EXPECT_TRUE(form.CompressorFellBack());
  EXPECT_EQ(form.edVideoCompressor->text(), Q("Pełne klatki - bez kompresji"));
  EXPECT_TRUE(form.Summary().contains(Q("Kompresor \"ZZZZ\" jest niedostępny")));
  const TFilmSettingsData s = form.Settings();
  EXPECT_FALSE(s.Compressed());
  EXPECT_EQ(s.Compvars.fccHandler, VideoFourCC("DIB "));
  EXPECT_EQ(s.Compvars.lQ, 10000);
  EXPECT_TRUE(messages.Texts().empty());  // the fallback asks nothing

  // "Generuj" refuses an output it cannot write and stays open
  form.show();
  QTest::mouseClick(form.bbOK, Qt::LeftButton);
  EXPECT_TRUE(form.isVisible());
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_NE(messages.Texts()[0].find("nie istnieje"), std::string::npos) << messages.Texts()[0];
  form.edFileName->setText(QString::fromStdString(dir.Path()));
  QTest::mouseClick(form.bbOK, Qt::LeftButton);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(messages.Texts().size(), 2u);
  form.edFileName->setText(QString::fromStdString(dir.File("Film.AVI")));
  QTest::mouseClick(form.bbOK, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST(AviFormatForm, SaveDialogListsUpperAndLowerCase) {
  TTempDir dir;
  TAviFormatForm form(nullptr, dir.File("Movara.Ini"));
  form.edFileName->setText(QString::fromStdString(dir.File("Film.AVI")));
  QStringList filters;
  QString suffix;
  OnNextDialog([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    filters = dialog->nameFilters();
    suffix = dialog->defaultSuffix();
    EXPECT_EQ(QDir(dialog->directory()).absolutePath().toStdString() + "/", dir.Path());
    dialog->selectFile(QString::fromStdString(dir.File("nowy")));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  QTest::mouseClick(form.bbFileName, Qt::LeftButton);
  ASSERT_EQ(filters.size(), 6);
  EXPECT_EQ(filters[0], Q("Pliki animacji Video (*.AVI *.avi)"));
  EXPECT_EQ(filters[3], Q("Sekwencje JPEG (*.JPG *.jpg)"));
  EXPECT_EQ(filters[4], Q("Film MP4 (*.MP4 *.mp4)"));
  EXPECT_EQ(suffix, "AVI");
  EXPECT_EQ(form.edFileName->text().toStdString(), dir.File("nowy.AVI"));
  // the film kinds by their place in the list
  ASSERT_EQ(form.cbFileType->count(), 5);
  EXPECT_EQ(form.cbFileType->itemText(okMp4Film), Q("Film MP4 (*.MP4)"));
  form.cbFileType->setCurrentIndex(okMp4Film);
  EXPECT_EQ(form.Settings().OutputKind, okMp4Film);
}

TEST(CompressorChooser, OffersWhatCompressesTheInputAndHandsTheChoiceBack) {
  // only what can compress the input: no DV for a frame of an odd size
  const TVideoFormat odd = TVideoFormat::ForFrame(321, 241, 24);
  const TVideoFormat pal = TVideoFormat::ForFrame(720, 576, 24);
  auto has = [](const std::vector<TVideoCompressorInfo>& l, const char* code) {
    for (const auto& i : l)
      if (VideoSameFourCC(i.fccHandler, VideoFourCCFromText(code))) return true;
    return false;
  };
  EXPECT_TRUE(has(VideoCompressorsFor(&odd), "DIB "));
  EXPECT_TRUE(has(VideoCompressorsFor(&odd), "MJPG"));
  EXPECT_FALSE(has(VideoCompressorsFor(&odd), "dvsd"));
  EXPECT_TRUE(has(VideoCompressorsFor(&pal), "dvsd"));
  EXPECT_EQ(VideoCompressorsFor(nullptr).size(), VideoCompressorList().size());

  // a round trip: the choice as it was given comes back unchanged
  auto session = TVideoCompressorSession::Open(ICTYPE_VIDEO, VideoFourCC("FMP4"), ICMODE_QUERY);
  ASSERT_NE(session, nullptr);
  TVideoCompressorState st;
  st.Quality = 6000;
  st.KeyInterval = 50;
  ASSERT_EQ(session->SetState(st), ICERR_OK);
  TCompVars start;
  start.fccType = ICTYPE_VIDEO;
  start.fccHandler = VideoFourCC("FMP4");
  start.lQ = 8123;
  start.lKey = 12;
  start.lDataRate = 900;
  start.State = session->GetState();
  {
    TCompressorChooser chooser("Wybór kompresora video", &pal, start);
    const TCompVars r = chooser.Result();
    EXPECT_EQ(r.fccHandler, start.fccHandler);
    EXPECT_EQ(r.lQ, 8123);
    EXPECT_EQ(r.lKey, 12);
    EXPECT_EQ(r.lDataRate, 900);
    EXPECT_EQ(r.State, start.State);
    EXPECT_EQ(r.dwFlags, ICMF_COMPVARS_VALID);
    // another compressor leaves the state behind; one without key frames takes none
    Pick(chooser.CompressorList(), "HuffYUV - kompresja bezstratna");
    EXPECT_TRUE(chooser.Result().State.empty());
    EXPECT_EQ(chooser.Result().lKey, 0);
    EXPECT_FALSE(chooser.findChild<QWidget*>("tbQuality")->isEnabled());
  }
  // configuring writes the compressor's own state block
  OnNextDialog([](QWidget* configure) {
    configure->findChild<QSpinBox*>("seKeyInterval")->setValue(77);
    configure->findChild<QCheckBox*>("cbOwnQuality")->setChecked(false);
    configure->findChild<QSpinBox*>("seQuality")->setValue(4321);
    QTest::keyClick(configure, Qt::Key_Return);
  });
  TCompressorChooser chooser("Wybór kompresora video", &pal, start);
  chooser.Configure();
  const TCompVars r = chooser.Result();
  ASSERT_EQ(session->SetState(r.State.data(), r.State.size()), kVideoCompressorStateSize);
  EXPECT_EQ(session->State().KeyInterval, 77);
  EXPECT_EQ(session->State().Quality, 4321);
}

}  // namespace
}  // namespace movara
