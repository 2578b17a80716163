#include "output/ui/AviFormatForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/MyIniFile.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "media/AudioCodecList.h"
#include "output/ui/CompressorChooser.h"
#include "project/Layers.h"
#include "project/VfxData.h"

namespace movara {
namespace {

constexpr const char* kSection = "AviFormatSection";

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

const int kFrameSizes[][2] = {{768, 576}, {720, 576}, {720, 480}, {640, 480}, {720, 288},
                              {384, 288}, {360, 288}, {320, 240}, {192, 144}, {160, 120}};
const char* const kBitDepths[] = {"16 bitów (64k kolorów)", "24 bity (16,7 mln kol.)", "32 bity (4 mld kolorów)"};
const char* const kRenderModes[] = {"MAKSYMALNA (Bez rekompresji)", "ŚREDNIA (Rekompresja)",
                                    "BRAK (Rekompresja i renderowanie)"};
const char* const kAudioFormats[] = {"8 bitów - Mono", "8 bitów - Stereo", "16 bitów - Mono", "16 bitów - Stereo"};
const char* const kInterleaves[] = {"1 sekunda", "1/2 sekundy", "1 ramka", "bez"};
const char* const kExports[] = {"Animacji i dźwięku", "Animacji", "Dźwięku"};
const char* const kRanges[] = {"Linia zakresu generowanego filmu", "Wybrane sekwencje filmu", "Cały projekt"};
// By TOutputKind.
const char* const kFileTypes[] = {"Microsoft AVI", "Sekwencje BMP", "Sekwencje GIFF", "Sekwencje JPEG",
                                  "Film MP4 (*.MP4)"};
const char* const kFileSizes[] = {"100 MB", "250 MB", "500 MB", "650 MB", "700 MB",
                                  "750 MB", "800 MB", "1 GB",   "2 GB"};
const int64_t kFileSizeBytes[] = {104857600,  262144000, 524288000,  681574400, 734003200,
                                  786432000, 838860800, 1073741824, 2147483647};
const int kPcmRates[] = {5000, 8000, 10000, 11025, 22050, 32000, 44100, 48000};
constexpr const char* kNoCompression = "Bez kompresji";
constexpr const char* kFullFrames = "Pełne klatki - bez kompresji";

QGroupBox* RadioGroup(QWidget* parent, const QString& title, const char* const* texts, int count,
                      QButtonGroup*& group) {
  auto* box = new QGroupBox(title, parent);
  auto* layout = new QVBoxLayout(box);
  group = new QButtonGroup(box);
  for (int i = 0; i < count; ++i) {
    auto* r = new QRadioButton(Q(texts[i]), box);
    group->addButton(r, i);
    layout->addWidget(r);
  }
  return box;
}

// The number at the start of a frequency text ("44100 Hz": the text without its last
// three characters).
int RateOfText(const QString& text) { return text.size() > 3 ? text.left(text.size() - 3).toInt() : 0; }

std::string Seconds(int64_t ms) {
  std::string s = Format("%lld,%02lld", static_cast<long long>(ms / 1000), static_cast<long long>(ms % 1000 / 10));
  return s;
}

}  // namespace

std::string DefaultFilmFileName() {
  std::error_code ec;
  if (const char* videos = std::getenv("XDG_VIDEOS_DIR"); videos && *videos && std::filesystem::is_directory(videos, ec))
    return IncludeTrailingSlash(videos) + "Film.AVI";
  const char* home = std::getenv("HOME");
  const std::string h = home && *home ? home : ".";
  if (std::filesystem::is_directory(IncludeTrailingSlash(h) + "Videos", ec))
    return IncludeTrailingSlash(h) + "Videos/Film.AVI";
  return IncludeTrailingSlash(h) + "Film.AVI";
}

TAviFormatForm::TAviFormatForm(const TLayerBox* box, const std::string& iniFile, QWidget* parent)
    : QDialog(parent), FLayerBox(box), FIniFile(iniFile) {
  setObjectName("AviFormatForm");
  setWindowTitle(Q("Własności generowanego filmu"));
  BuildControls();
  FFilling = true;
  InitAudioControls();
  ReadIni();
  FFilling = false;
  ShowCompressorDescription();
  pcPages->setCurrentIndex(0);
  UpdateSummary();
}

TAviFormatForm::~TAviFormatForm() {
  try {
    WriteIni();
  } catch (const std::exception& e) {
    TraceF("[TAviFormatForm.Destroy] %s", e.what());
  }
}

void TAviFormatForm::BuildControls() {
  // ---- page "Animacja"
  auto* video = new QWidget;
  mseVideoRate = new QSpinBox(video);
  mseVideoRate->setObjectName("mseVideoRate");
  mseVideoRate->setRange(1, 31);
  mseVideoRate->setSuffix(Q(" kl./s"));
  cbFrameSize = new QComboBox(video);
  cbFrameSize->setObjectName("cbFrameSize");
  cbFrameSize->addItem("0 x 0");
  for (const auto& s : kFrameSizes) cbFrameSize->addItem(Q(Format("%d x %d", s[0], s[1])));
  mseFrameWidth = new QSpinBox(video);
  mseFrameWidth->setObjectName("mseFrameWidth");
  mseFrameWidth->setRange(1, 4096);
  mseFrameHeight = new QSpinBox(video);
  mseFrameHeight->setObjectName("mseFrameHeight");
  mseFrameHeight->setRange(1, 4096);
  rgBitDepth = RadioGroup(video, Q("Głębia kolorów"), kBitDepths, 3, FBitDepth);
  rgBitDepth->setObjectName("rgBitDepth");
  edVideoCompressor = new QLineEdit(video);
  edVideoCompressor->setObjectName("edVideoCompressor");
  edVideoCompressor->setReadOnly(true);
  bbChangeCompressor = new QPushButton(Q("Zmień &kompresor..."), video);
  bbChangeCompressor->setObjectName("bbChangeCompressor");
  cbVideoRenderMode = new QComboBox(video);
  cbVideoRenderMode->setObjectName("cbVideoRenderMode");
  for (const char* t : kRenderModes) cbVideoRenderMode->addItem(Q(t));

  auto* size = new QHBoxLayout;
  size->addWidget(cbFrameSize);
  size->addWidget(new QLabel(Q("Szerokość:"), video));
  size->addWidget(mseFrameWidth);
  size->addWidget(new QLabel(Q("Wysokość:"), video));
  size->addWidget(mseFrameHeight);
  auto* compressor = new QHBoxLayout;
  compressor->addWidget(edVideoCompressor, 1);
  compressor->addWidget(bbChangeCompressor);
  auto* videoForm = new QFormLayout;
  videoForm->addRow(Q("Szybkość:"), mseVideoRate);
  videoForm->addRow(Q("Rozmiar klatki:"), size);
  videoForm->addRow(Q("Kompresor:"), compressor);
  videoForm->addRow(Q("Optymalizacja:"), cbVideoRenderMode);
  auto* videoAll = new QVBoxLayout(video);
  videoAll->addLayout(videoForm);
  videoAll->addWidget(rgBitDepth);
  videoAll->addStretch(1);

  // ---- page "Dźwięk"
  auto* audio = new QWidget;
  cbAudioCodec = new QComboBox(audio);
  cbAudioCodec->setObjectName("cbAudioCodec");
  cbAudioFrequency = new QComboBox(audio);
  cbAudioFrequency->setObjectName("cbAudioFrequency");
  cbAudioFormat = new QComboBox(audio);
  cbAudioFormat->setObjectName("cbAudioFormat");
  cbAudioInterleave = new QComboBox(audio);
  cbAudioInterleave->setObjectName("cbAudioInterleave");
  for (const char* t : kInterleaves) cbAudioInterleave->addItem(Q(t));
  auto* audioForm = new QFormLayout(audio);
  audioForm->addRow(Q("Kodek:"), cbAudioCodec);
  audioForm->addRow(Q("Częstotliwość:"), cbAudioFrequency);
  audioForm->addRow(Q("Format:"), cbAudioFormat);
  audioForm->addRow(Q("Ramka:"), cbAudioInterleave);

  pcPages = new QTabWidget(this);
  pcPages->setObjectName("pcPages");
  pcPages->addTab(video, Q("Animacja"));
  pcPages->addTab(audio, Q("Dźwięk"));
  lSummary = new QLabel(this);
  lSummary->setObjectName("lSummary");
  lSummary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lSummary->setMinimumWidth(300);
  lSummary->setWordWrap(true);
  lSummary->setFrameShape(QFrame::StyledPanel);
  lSummary->setMargin(6);

  // ---- below the pages
  rgExport = RadioGroup(this, Q("Generowanie"), kExports, 3, FExport);
  rgExport->setObjectName("rgExport");
  rgRange = RadioGroup(this, Q("Obszar linii czasu"), kRanges, 3, FRange);
  rgRange->setObjectName("rgRange");
  cbFileType = new QComboBox(this);
  cbFileType->setObjectName("cbFileType");
  for (const char* t : kFileTypes) cbFileType->addItem(Q(t));
  cbMaxAviFileSize = new QComboBox(this);
  cbMaxAviFileSize->setObjectName("cbMaxAviFileSize");
  for (const char* t : kFileSizes) cbMaxAviFileSize->addItem(Q(t));
  cbMaxAviFileSize->setToolTip(Q("Podział filmu na pliki o wskazanym rozmiarze"));
  cbOpenWhenFinished = new QCheckBox(Q("Otwórz film po zakończeniu generowania"), this);
  cbOpenWhenFinished->setObjectName("cbOpenWhenFinished");
  edFileName = new QLineEdit(this);
  edFileName->setObjectName("edFileName");
  bbFileName = new QPushButton(Q("Wskaż &plik wyjściowy..."), this);
  bbFileName->setObjectName("bbFileName");

  auto* top = new QHBoxLayout;
  top->addWidget(pcPages, 1);
  top->addWidget(lSummary);
  auto* groups = new QHBoxLayout;
  groups->addWidget(rgExport);
  groups->addWidget(rgRange);
  auto* fileForm = new QFormLayout;
  auto* kind = new QHBoxLayout;
  kind->addWidget(cbFileType);
  kind->addWidget(new QLabel(Q("Rozmiar pliku:"), this));
  kind->addWidget(cbMaxAviFileSize);
  kind->addStretch(1);
  fileForm->addRow(Q("Typ pliku:"), kind);
  auto* name = new QHBoxLayout;
  name->addWidget(edFileName, 1);
  name->addWidget(bbFileName);
  fileForm->addRow(Q("Plik wyjściowy:"), name);
  fileForm->addRow(QString(), cbOpenWhenFinished);
  bbOK = new QPushButton(Q("&Generuj"), this);
  bbOK->setObjectName("bbOK");
  bbOK->setDefault(true);
  bbOK->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  bbCancel = new QPushButton(Q("A&nuluj"), this);
  bbCancel->setObjectName("bbCancel");
  bbCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(bbOK);
  buttons->addWidget(bbCancel);
  auto* all = new QVBoxLayout(this);
  all->addLayout(top, 1);
  all->addLayout(groups);
  all->addLayout(fileForm);
  all->addLayout(buttons);

  connect(bbOK, &QPushButton::clicked, this, &TAviFormatForm::accept);
  connect(bbCancel, &QPushButton::clicked, this, &TAviFormatForm::reject);
  connect(bbChangeCompressor, &QPushButton::clicked, this, &TAviFormatForm::ChangeCompressor);
  connect(bbFileName, &QPushButton::clicked, this, &TAviFormatForm::BrowseFileName);
  connect(cbFrameSize, &QComboBox::activated, this, &TAviFormatForm::FrameSizeChosen);
  connect(mseFrameWidth, &QSpinBox::valueChanged, this, &TAviFormatForm::FrameSizeTyped);
  connect(mseFrameHeight, &QSpinBox::valueChanged, this, &TAviFormatForm::FrameSizeTyped);
  connect(cbAudioCodec, &QComboBox::currentIndexChanged, this, [this] {
    if (!FFilling) FillAudioLists();
    UpdateSummary();
  });
  auto summary = [this] { UpdateSummary(); };
  connect(mseVideoRate, &QSpinBox::valueChanged, this, summary);
  connect(cbAudioFrequency, &QComboBox::currentIndexChanged, this, summary);
  connect(cbAudioFormat, &QComboBox::currentIndexChanged, this, summary);
  connect(cbFileType, &QComboBox::currentIndexChanged, this, summary);
  connect(FBitDepth, &QButtonGroup::idClicked, this, summary);
  connect(FExport, &QButtonGroup::idClicked, this, summary);
  connect(FRange, &QButtonGroup::idClicked, this, summary);
}

int TAviFormatForm::Checked(const QButtonGroup* group) const { return group->checkedId(); }

void TAviFormatForm::Check(QButtonGroup* group, int index) {
  if (QAbstractButton* b = group->button(index)) b->setChecked(true);
}

void TAviFormatForm::SetContent(int index) {
  Check(FExport, index);
  UpdateSummary();
}

// ---------------------------------------------------------------------------------
// sound

void TAviFormatForm::InitAudioControls() {
  TAudioCodecList& codecs = AudioCodecList();
  cbAudioCodec->clear();
  bool converterFound = false;
  for (int i = 0; i < codecs.DriverCount(); ++i) {
    const TAudioCodecDriver& d = codecs.Driver(i);
    if (!converterFound && (d.Details.fdwSupport & ACMDRIVERDETAILS_SUPPORTF_CONVERTER)) {
      converterFound = true;
      FNoCompressionIndex = cbAudioCodec->count();
      TraceF("[TAviFormatForm.InitAudioControls] AudioPcmConverter found. index = %d", i);
      cbAudioCodec->addItem(Q(kNoCompression), i);
    } else {
      cbAudioCodec->addItem(Q(d.ShortName), i);
    }
  }
  cbAudioCodec->setCurrentIndex(FNoCompressionIndex);
  FillAudioLists();
}

void TAviFormatForm::FillAudioLists() {
  const QString oldRate = cbAudioFrequency->currentText(), oldFormat = cbAudioFormat->currentText();
  cbAudioFrequency->clear();
  cbAudioFormat->clear();
  TAudioCodecList& codecs = AudioCodecList();
  const int driver = cbAudioCodec->currentData().toInt();
  if (cbAudioCodec->currentIndex() >= 0 && driver >= 0 && driver < codecs.DriverCount()) {
    const TAudioCodecFormatList& formats = codecs.Driver(driver).Formats;
    QStringList rates;
    bool offered[4] = {false, false, false, false};
    if (formats.Count() > 0 && formats.Item(0).Format.wf.wFormatTag == WAVE_FORMAT_PCM)
      for (int r : kPcmRates) rates << Q(Format("%d Hz", r));
    for (int i = 0; i < formats.Count(); ++i) {
      const WAVEFORMATEX& wf = formats.Item(i).Format.wf;
      const QString rate = Q(Format("%d Hz", static_cast<int>(wf.nSamplesPerSec)));
      if (!rates.contains(rate)) rates << rate;
      const int bits = wf.wBitsPerSample == 0 ? 16 : wf.wBitsPerSample;
      if ((wf.nChannels == 1 || wf.nChannels == 2) && (bits == 8 || bits == 16))
        offered[(bits == 16 ? 2 : 0) + (wf.nChannels == 2 ? 1 : 0)] = true;
    }
    cbAudioFrequency->addItems(rates);
    for (int i = 0; i < 4; ++i)
      if (offered[i]) cbAudioFormat->addItem(Q(kAudioFormats[i]));
  }
  // the earlier choices again when the codec offers them
  if (const int i = cbAudioFrequency->findText(oldRate); i >= 0) cbAudioFrequency->setCurrentIndex(i);
  if (const int i = cbAudioFormat->findText(oldFormat); i >= 0) cbAudioFormat->setCurrentIndex(i);
  cbAudioFrequency->setEnabled(cbAudioFrequency->count() > 0);
  cbAudioFormat->setEnabled(cbAudioFormat->count() > 0);
}

// ---------------------------------------------------------------------------------
// the compressor

void TAviFormatForm::ShowCompressorDescription() {
  TVideoCompressorInfo info;
  bool ok = false;
  if (FCompvars.fccType != 0) {
    if (auto session = TVideoCompressorSession::Open(FCompvars.fccType, FCompvars.fccHandler, ICMODE_QUERY)) {
      ok = session->GetInfo(info);
    } else {
      FFallbackHandler = VideoFourCCText(FCompvars.fccHandler);
      TraceF("[TAviFormatForm.ShowCompressorDescription] The compressor %s cannot be opened: full frames.",
             FFallbackHandler.c_str());
    }
  }
  if (!ok) {
    FCompvars.dwFlags = 1;
    FCompvars.fccType = ICTYPE_VIDEO;
    FCompvars.fccHandler = VideoFourCC("DIB ");
    FCompvars.lKey = 0;
    FCompvars.lDataRate = 0;
    FCompvars.lQ = 10000;
    FState.clear();
    edVideoCompressor->setText(Q(kFullFrames));
  } else {
    edVideoCompressor->setText(Q(info.szDescription));
  }
  UpdateSummary();
}

void TAviFormatForm::ChangeCompressor() {
  const int bits = 16 + 8 * std::max(0, Checked(FBitDepth));
  TVideoFormat input = TVideoFormat::ForFrame(mseFrameWidth->value(), mseFrameHeight->value(), bits);
  const bool haveInput = input.FrameBytes() > 0;
  TCompVars chosen;
  chosen.fccType = FCompvars.fccType;
  chosen.fccHandler = FCompvars.fccHandler;
  chosen.lKey = FCompvars.lKey;
  chosen.lDataRate = FCompvars.lDataRate;
  chosen.lQ = FCompvars.lQ;
  chosen.State = FState;
  if (!ChooseVideoCompressor(this, "Wybór kompresora video", haveInput ? &input : nullptr, chosen)) return;
  FCompvars.dwFlags = chosen.dwFlags;
  FCompvars.fccType = chosen.fccType;
  FCompvars.fccHandler = chosen.fccHandler;
  FCompvars.lKey = chosen.lKey;
  FCompvars.lDataRate = chosen.lDataRate;
  FCompvars.lQ = chosen.lQ;
  FState = chosen.State;  // UpdateCompvarsState: the compressor's own state travels with it
  FFallbackHandler.clear();
  ShowCompressorDescription();
}

// ---------------------------------------------------------------------------------
// frame size

void TAviFormatForm::FrameSizeChosen(int index) {
  if (index <= 0 || index > static_cast<int>(std::size(kFrameSizes))) return;
  FFilling = true;
  mseFrameWidth->setValue(kFrameSizes[index - 1][0]);
  mseFrameHeight->setValue(kFrameSizes[index - 1][1]);
  FFilling = false;
  UpdateSummary();
}

void TAviFormatForm::FrameSizeTyped() {
  if (!FFilling) {
    // the list shows the size when it has it, else its first entry (a typed size)
    int found = 0;
    for (int i = 0; i < static_cast<int>(std::size(kFrameSizes)); ++i)
      if (kFrameSizes[i][0] == mseFrameWidth->value() && kFrameSizes[i][1] == mseFrameHeight->value()) found = i + 1;
    cbFrameSize->setCurrentIndex(found);
  }
  UpdateSummary();
}

// ---------------------------------------------------------------------------------
// the output file

void TAviFormatForm::BrowseFileName() {
  QFileDialog dialog(this, Q("Wskaż plik wyjściowy"));
  dialog.setObjectName("SaveDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix("AVI");
  dialog.setNameFilters({Q("Pliki animacji Video (*.AVI *.avi)"), Q("Sekwencje BMP (*.BMP *.bmp)"),
                         Q("Sekwencje GIFF (*.GIF *.gif)"), Q("Sekwencje JPEG (*.JPG *.jpg)"),
                         Q("Film MP4 (*.MP4 *.mp4)"), Q("Wszystkie (*)")});
  const std::string current = edFileName->text().toStdString();
  if (!current.empty()) {
    dialog.setDirectory(Q(ExtractFilePath(ExpandFileName(current))));
    dialog.selectFile(Q(ExtractFileName(current)));
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  edFileName->setText(dialog.selectedFiles().first());
  UpdateSummary();
}

std::string TAviFormatForm::OutputProblem() const {
  const std::string name = edFileName->text().trimmed().toStdString();
  if (name.empty()) return "nie podano nazwy pliku";
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::absolute(name, ec);
  if (std::filesystem::is_directory(path, ec)) return "to jest folder";
  const std::filesystem::path folder = path.parent_path();
  if (!std::filesystem::is_directory(folder, ec)) return Format("folder \"%s\" nie istnieje", folder.c_str());
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return Format("brak prawa zapisu w folderze \"%s\"", folder.c_str());
  if (std::filesystem::exists(path, ec) && ::access(path.c_str(), W_OK) != 0) return "brak prawa zapisu pliku";
  return std::string();
}

void TAviFormatForm::accept() {
  // a film that cannot be written is refused before it starts
  const std::string problem = OutputProblem();
  if (!problem.empty()) {
    ShowMessage(Format("Nie mogę zapisać filmu w pliku \"%s\" (%s). Wskaż inny plik wyjściowy.",
                       edFileName->text().toStdString().c_str(), problem.c_str()),
                TMsgKind::Error);
    edFileName->setFocus();
    return;
  }
  QDialog::accept();
}

// ---------------------------------------------------------------------------------
// the record and the summary

TFilmSettingsData TAviFormatForm::Settings() const {
  TFilmSettingsData s;
  s.FileName = edFileName->text().trimmed().toStdString();
  s.OutputKind = static_cast<TOutputKind>(std::max(0, cbFileType->currentIndex()));
  s.OpenAfterFinished = cbOpenWhenFinished->isChecked();
  s.Compvars = TCompVars();
  s.Compvars.dwFlags = FCompvars.dwFlags;
  s.Compvars.fccType = FCompvars.fccType;
  s.Compvars.fccHandler = FCompvars.fccHandler;
  s.Compvars.lFrame = FCompvars.lFrame;
  s.Compvars.lKey = FCompvars.lKey;
  s.Compvars.lDataRate = FCompvars.lDataRate;
  s.Compvars.lQ = FCompvars.lQ;
  s.Compvars.State = FState;
  s.StateBlock = FState;
  s.FrameWidth = mseFrameWidth->value();
  s.FrameHeight = mseFrameHeight->value();
  s.ColourMode = static_cast<TFilmColourMode>(std::max(0, Checked(FBitDepth)) + 1);
  s.FramesPerSecond = mseVideoRate->value();
  s.FilmContent = static_cast<TFilmContent>(std::max(0, Checked(FExport)));
  s.RangeKind = static_cast<TRangeKind>(std::max(0, Checked(FRange)));
  s.SamplesPerSecond = RateOfText(cbAudioFrequency->currentText());
  const int format = cbAudioFormat->currentIndex() >= 0
                         ? static_cast<int>(std::find_if(std::begin(kAudioFormats), std::end(kAudioFormats),
                                                         [&](const char* t) { return Q(t) == cbAudioFormat->currentText(); }) -
                                            std::begin(kAudioFormats))
                         : 3;
  s.AudioMode = static_cast<TAudioMode>(format < 4 ? format : 3);
  s.AudioFormatTag = WAVE_FORMAT_PCM;
  TAudioCodecList& codecs = AudioCodecList();
  const int driver = cbAudioCodec->currentData().toInt();
  if (cbAudioCodec->currentIndex() >= 0 && driver >= 0 && driver < codecs.DriverCount() &&
      (codecs.Driver(driver).Details.fdwSupport & ACMDRIVERDETAILS_SUPPORTF_CODEC)) {
    const TAudioCodecFormatList& formats = codecs.Driver(driver).Formats;
    for (int i = 0; i < formats.Count(); ++i)
      if (formats.Item(i).Format.wf.wFormatTag != WAVE_FORMAT_PCM) {
        s.AudioFormatTag = formats.Item(i).Format.wf.wFormatTag;
        break;
      }
  }
  s.AudioBlockMode = static_cast<TAudioBlockMode>(std::max(0, cbAudioInterleave->currentIndex()));
  s.VideoRenderMode = static_cast<TVideoRenderMode>(std::max(0, cbVideoRenderMode->currentIndex()));
  // picture sequences have no compressed clip frames to copy
  if (s.OutputKind != okAviFilm && s.VideoRenderMode == vrmMaximal) s.VideoRenderMode = vrmMedium;
  const int size = cbMaxAviFileSize->currentIndex();
  s.MaxAviFileSize = kFileSizeBytes[size >= 0 ? size : 0];
  return s;
}

QString TAviFormatForm::Summary() const { return lSummary->text(); }

void TAviFormatForm::UpdateSummary() {
  if (!lSummary) return;
  QStringList lines;
  const int range = std::max(0, Checked(FRange));
  const int64_t ms = FLayerBox ? static_cast<int64_t>(FLayerBox->RangeDuration(static_cast<TRangeKind>(range))) * MillisecondsPerFrame : 0;
  lines << Q(Format("Czas trwania filmu: %s [s]", Seconds(ms).c_str()));
  const int content = std::max(0, Checked(FExport));
  if (content != fcSoundOnly) {
    const bool compressed = FCompvars.fccType != 0 && FCompvars.fccHandler != VideoFourCC("DIB ");
    if (compressed)
      lines << Q(Format("Animacja: %d x %d - %d kl./s, %s", mseFrameWidth->value(), mseFrameHeight->value(),
                        mseVideoRate->value(), edVideoCompressor->text().toStdString().c_str()));
    else
      lines << Q(Format("Animacja: %d x %d - %d kl./s", mseFrameWidth->value(), mseFrameHeight->value(),
                        mseVideoRate->value()));
  }
  if (content != fcVideoOnly && (cbFileType->currentIndex() <= 0 || cbFileType->currentIndex() == okMp4Film)) {
    const QString rate = cbAudioFrequency->currentText();
    lines << Q(Format("Dźwięk: %s Hz, %s, %s", rate.left(std::max<int>(0, rate.size() - 3)).toStdString().c_str(),
                      cbAudioFormat->currentText().toStdString().c_str(),
                      cbAudioCodec->currentText().toStdString().c_str()));
  }
  if (!FFallbackHandler.empty())
    lines << Q(Format("Kompresor \"%s\" jest niedostępny: klatki zostaną zapisane bez kompresji.",
                      FFallbackHandler.c_str()));
  lSummary->setText(lines.join('\n'));
}

// ---------------------------------------------------------------------------------
// the settings file

void TAviFormatForm::ReadIni() {
  const TMyIniFile ini(FIniFile);
  auto text = [&](const char* key, const char* def) { return Q(ini.ReadString(kSection, key, def)); };
  auto select = [](QComboBox* box, const QString& t) {
    if (const int i = box->findText(t); i >= 0) box->setCurrentIndex(i);
  };
  edFileName->setText(Q(ini.ReadString(kSection, "FileName", DefaultFilmFileName())));
  mseVideoRate->setValue(ini.ReadInteger(kSection, "Rate", 25));
  FFilling = true;
  mseFrameWidth->setValue(ini.ReadInteger(kSection, "BmpWidth", 320));
  mseFrameHeight->setValue(ini.ReadInteger(kSection, "BmpHeight", 240));
  FFilling = false;
  FrameSizeTyped();
  FCompvars = TCompVars();
  FCompvars.dwFlags = static_cast<uint32_t>(ini.ReadInteger(kSection, "CompvarsdwFlags", 0));
  FCompvars.fccType = static_cast<uint32_t>(ini.ReadInteger(kSection, "CompvarsfccType", 0));
  FCompvars.fccHandler = static_cast<uint32_t>(ini.ReadInteger(kSection, "CompvarsfccHandler", 0));
  FCompvars.lFrame = ini.ReadInteger(kSection, "CompvarslFrame", 0);
  FCompvars.lKey = ini.ReadInteger(kSection, "CompvarslKey", 0);
  FCompvars.lDataRate = ini.ReadInteger(kSection, "CompvarslDataRate", 0);
  FCompvars.lQ = ini.ReadInteger(kSection, "CompvarslQ", 10000);
  const int stateSize = std::clamp(ini.ReadInteger(kSection, "CompvarsStateSize", 0), 0, 1 << 20);
  FState.assign(static_cast<size_t>(stateSize), 0);
  for (int i = 0, left = stateSize; left > 0; ++i, left -= 16) {
    const std::string hex = ini.ReadString(kSection, Format("CompvarsState%.2d", i), "");
    HexToBuf(hex, FState.data() + 16 * i, std::min(16, left));
  }
  cbFileType->setCurrentIndex(std::clamp(ini.ReadInteger(kSection, "FilmFileType", 0), 0, 4));
  cbOpenWhenFinished->setChecked(ini.ReadBool(kSection, "OpenAfterFinished", true));
  Check(FExport, std::clamp(ini.ReadInteger(kSection, "ExportData", 0), 0, 2));
  Check(FRange, std::clamp(ini.ReadInteger(kSection, "RangeData", 2), 0, 2));
  Check(FBitDepth, std::clamp(ini.ReadInteger(kSection, "IniBitsDepth", 1), 0, 2));
  FFilling = true;
  select(cbAudioCodec, text("IniAudioCodec", kNoCompression));
  FFilling = false;
  FillAudioLists();
  select(cbAudioFrequency, text("IniAudioFrequency", "44100 Hz"));
  select(cbAudioFormat, text("IniAudioFormat", "16 bitów - Stereo"));
  select(cbAudioInterleave, text("IniAudioInterleave", "1 sekunda"));
  cbVideoRenderMode->setCurrentIndex(std::clamp(ini.ReadInteger(kSection, "IniVideoRenderMode", 0), 0, 2));
  select(cbMaxAviFileSize, text("IniMaxAviFileSize", "2 GB"));
}

void TAviFormatForm::WriteIni() const {
  TMyIniFile ini(FIniFile);
  ini.WriteString(kSection, "FileName", edFileName->text().toStdString());
  ini.WriteInteger(kSection, "Rate", mseVideoRate->value());
  ini.WriteInteger(kSection, "BmpWidth", mseFrameWidth->value());
  ini.WriteInteger(kSection, "BmpHeight", mseFrameHeight->value());
  ini.WriteInteger(kSection, "CompvarsdwFlags", static_cast<int>(FCompvars.dwFlags));
  ini.WriteInteger(kSection, "CompvarsfccType", static_cast<int>(FCompvars.fccType));
  ini.WriteInteger(kSection, "CompvarsfccHandler", static_cast<int>(FCompvars.fccHandler));
  ini.WriteInteger(kSection, "CompvarslFrame", FCompvars.lFrame);
  ini.WriteInteger(kSection, "CompvarslKey", FCompvars.lKey);
  ini.WriteInteger(kSection, "CompvarslDataRate", FCompvars.lDataRate);
  ini.WriteInteger(kSection, "CompvarslQ", FCompvars.lQ);
  const int size = static_cast<int>(FState.size());
  ini.WriteInteger(kSection, "CompvarsStateSize", size);
  int i = 0;
  for (; 16 * i < size; ++i)
    ini.WriteString(kSection, Format("CompvarsState%.2d", i),
                    BufToHex(FState.data() + 16 * i, std::min(16, size - 16 * i)));
  // keys of a longer state written before
  for (; ini.ValueExists(kSection, Format("CompvarsState%.2d", i)); ++i)
    ini.DeleteKey(kSection, Format("CompvarsState%.2d", i));
  ini.WriteInteger(kSection, "FilmFileType", cbFileType->currentIndex());
  ini.WriteBool(kSection, "OpenAfterFinished", cbOpenWhenFinished->isChecked());
  ini.WriteInteger(kSection, "ExportData", Checked(FExport));
  ini.WriteInteger(kSection, "RangeData", Checked(FRange));
  ini.WriteInteger(kSection, "IniBitsDepth", Checked(FBitDepth));
  ini.WriteString(kSection, "IniAudioCodec", cbAudioCodec->currentText().toStdString());
  ini.WriteString(kSection, "IniAudioFrequency", cbAudioFrequency->currentText().toStdString());
  ini.WriteString(kSection, "IniAudioFormat", cbAudioFormat->currentText().toStdString());
  ini.WriteString(kSection, "IniAudioInterleave", cbAudioInterleave->currentText().toStdString());
  ini.WriteInteger(kSection, "IniVideoRenderMode", cbVideoRenderMode->currentIndex());
  ini.WriteString(kSection, "IniMaxAviFileSize", cbMaxAviFileSize->currentText().toStdString());
}

}  // namespace movara
