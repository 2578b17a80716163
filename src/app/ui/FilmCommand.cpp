#include "app/ui/FilmCommand.h"

#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QTemporaryDir>

#include "app/ui/ClipPlayer.h"
#include "app/ui/MediaWindows.h"
#include "app/ui/MovaraForm.h"
#include "app/ui/PageEditorCommand.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "base/AppPaths.h"
#include "compose/ui/KeyingDialogs.h"
#include "dv/ui/DvWindows.h"
#include "fx3d/ui/Chain3DWindows.h"
#include "fx3d/ui/FxDrawWidget.h"
#include "fx3d/ui/FxMyRenderForm.h"
#include "fx3d/ui/FxSelectForm.h"
#include "script/RenderThread.h"
#include "output/ui/AviFormatForm.h"
#include "output/ui/AviProgressForm.h"
#include "output/ui/CompressorChooser.h"
#include "persist/Config.h"
#include "persist/ProjectDocument.h"
#include "project/ui/TimeLineForm.h"
#include "script/Chain3D.h"
#include "script/Script.h"

namespace movara {
namespace {

// Waits ms with the events running.
void WaitWithEvents(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The project window's dialogs: the colour dialog and the effect chooser of the chain.
class TEffectTimeLineDialogs : public ITimeLineDialogs {
 public:
  explicit TEffectTimeLineDialogs(QWidget* parent) : FParent(parent) {}
  bool ChooseColor(TColor& color) override {
    const TColor rgb = ColorToRGB(color);
    const QColor c = QColorDialog::getColor(QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)), FParent);
    if (!c.isValid()) return false;
    color = RGBColor(c.red(), c.green(), c.blue());
    return true;
  }
  // the chooser previews the effect in the transition's own time
  bool ChooseEffect(int32_t& fxId, int lengthMs) override { return ChooseFx(fxId, lengthMs > 0 ? lengthMs : -1); }
  // the keying window, on the block's picture under the pointer
  bool ChooseKeying(TLayerItem& item, int64_t timeMs, TColor& colorKey, TComposeMode& mode) override {
    return ChooseImageKey(FParent, item, timeMs, colorKey, mode);
  }
  bool ChooseColorKey(TColor& colorKey, TComposeMode& mode, int32_t& yuvHi, int32_t& yuvLo) override {
    return ChooseKeyRowColor(FParent, colorKey, mode, yuvHi, yuvLo);
  }

 private:
  QWidget* FParent;
};

}  // namespace

TFilmCommand::TFilmCommand(TMovaraForm& main, TTimeLineForm& project)
    : QObject(&main), FMain(main), FProject(&project) {
  OpenFilm = [](const std::string& file) { OpenClipPlayer(file); };
}

TFilmCommand::~TFilmCommand() {
  if (FProject) FProject->SetDialogs(nullptr);
}

bool TFilmCommand::Run(int mode, bool regenerate) {
  if (FRunning || !FProject) return false;
  FRunning = true;
  struct TDone {
    bool& flag;
    ~TDone() { flag = false; }
  } done{FRunning};

  TLayerBox& box = FProject->Box();
  // 1. the script: anew from the whole time line, or the current one (made again when
  // the time line changed since)
  const std::string script = FProject->MakeScript(regenerate).Text();
  // 2. nothing stays selected
  box.DeselectAll();
  // 3. the settings
  TFilmSettingsData settings;
  {
    TAviFormatForm form(&box, ConfigFileName(), &FMain);
    form.SetContent(mode);
    if (form.exec() != QDialog::Accepted) return false;
    settings = form.Settings();
  }
  // 4. the screen settles
  FMain.repaint();
  WaitWithEvents(111);
  // 5. the render thread of the preview window, with the script
  TFxRenderThread* render = GetRenderThread(true, script);
  if (!render && settings.FilmContent != fcSoundOnly) {
    ShowMessage("Nastąpił błąd podczas inicjalizacji obiektu renderującego. Spróbuj najpierw zmienić opcje w oknie "
                "konfiguracyjnym.",
                TMsgKind::Error);
    return false;
  }
  // 6. the progress window (Ctrl held: every frame shown, nothing written)
  const bool preview = (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier) != 0;
  bool made = false;
  {
    TAviProgressForm progress(&FMain, script, render, &box, settings, preview);
    made = progress.exec() == QDialog::Accepted && !preview;
  }
  // 7. the film opened afterwards
  if (made && (settings.OutputKind == okAviFilm || settings.OutputKind == okMp4Film) && settings.OpenAfterFinished && OpenFilm) OpenFilm(settings.FileName);
  // 8.
  QApplication::processEvents();
  return made;
}

TFilmCommand* InstallEffectWindows(TMovaraForm& main, TTimeLineForm& project) {
  QMdiArea* area = main.MdiArea();
  InstallChain3DWindows(&main, [area](QWidget* w) { return area ? area->addSubWindow(w) : nullptr; });
  InstallCompressorDialog();
  InitChain3D();
  // the clip players and resource views, opened from the resource list and by the film
  InstallMediaWindows(main);

  auto* command = new TFilmCommand(main, project);
  // the project window's "&Generuj film..." makes the script anew first; the clip
  // players close as for the tool bar's film (the main window's menu items, Ctrl+M
  // among them, reach the command through its OnMakeFilm)
  TMovaraForm* frame = &main;
  QObject::connect(&project, &TTimeLineForm::makeFilmRequested, command, [frame, command] {
    frame->CloseWindowsOfKind(kClipPlayerKind);
    command->Run(0, false);
  });

  // the frame under the slider, with sound while Ctrl is held
  project.OnPreview = [](const std::string& script, bool reloaded, int64_t ms, int mode) {
    PreviewScriptAt(script, reloaded, static_cast<int>(ms), mode);
  };
  command->FDialogs = std::make_unique<TEffectTimeLineDialogs>(&main);
  // a title page's thumbnail opens the page editor, as does the Window menu's item
  InstallPageEditor(&main, project);
  main.OnTextEditor = [frame] { OpenPageEditor(frame, frame->Document().ClipBox(), std::string()); };
  // the DV camera windows of the tool bar
  main.OnDvCapture = [frame] { OpenDvCapture(frame); };
  main.OnDvRecord = [frame] { OpenDvRecord(frame); };
  // the project's undo and redo in the Edit menu
  main.SetUndoActions(project.UndoAction(), project.RedoAction());
  main.UpdateCommands();
  project.SetDialogs(command->FDialogs.get());
  // a new project hides the preview; the chain goes before the windows do
  QObject::connect(&project, &TTimeLineForm::newProjectShown, &main, [] { HideFxRenderWindow(); });
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, &main, [] { DoneChain3D(); });
  QObject::connect(&main, &QObject::destroyed, [] { DoneChain3D(); });
  return command;
}


// ---------------------------------------------------------------------------------
// screenshots

namespace {

bool Save(QWidget* w, const QString& file) {
  if (!w) return false;
  QApplication::processEvents();
  return w->grab().save(file);
}

// Waits with the events running until done() or ms have passed.
bool WaitFor(const std::function<bool()>& done, int ms) {
  for (int waited = 0; waited < ms && !done(); waited += 20) WaitWithEvents(20);
  return done();
}

}  // namespace

bool SaveFilmWindowScreenshots(TMovaraForm& main, TTimeLineForm& project, const std::string& folder) {
  const QString dir = QString::fromStdString(IncludeTrailingSlash(folder));
  bool ok = true;
  const std::string script = project.MakeScript(true).Text();
  TFxRenderThread* render = GetRenderThread(false, std::string());

  // the preview window on a frame a third into the film
  if (ShowFxRenderWindow(true)) {
    TFxMyRenderForm* preview = ChainPreviewForm();
    if (QWidget* frame = preview ? preview->Frame() : nullptr) frame->resize(frame->sizeHint());
    int end = 0;
    if (render) {
      render->LoadScript(script);
      end = render->Actions().VideoEnd();
    }
    PreviewScriptAt(script, true, end / 3, 0);
    ok = Save(preview && preview->Frame() ? preview->Frame() : static_cast<QWidget*>(preview), dir + "fxpreview.png") && ok;
    HideFxRenderWindow();
  }

  // the chooser playing the rotating cube
  bool chooser = false;
  QTimer::singleShot(0, &main, [&] {
    WaitFor([] { return ChainChooserForm() && ChainChooserForm()->isVisible() &&
                        ChainChooserForm()->DrawControl()->FramesShown() > 10; },
            5000);
    chooser = Save(ChainChooserForm(), dir + "fxselect.png");
    if (ChainChooserForm()) ChainChooserForm()->reject();
  });
  int32_t fx = 0x301;
  ChooseFx(fx, -1);
  ok = chooser && ok;

  // the settings and the compressor chooser
  {
    TAviFormatForm form(&project.Box(), ConfigFileName(), &main);
    form.show();
    ok = Save(&form, dir + "aviformat.png") && ok;
    form.pcPages->setCurrentIndex(1);
    ok = Save(&form, dir + "aviformat-sound.png") && ok;
    form.close();
  }
  {
    const TVideoFormat input = TVideoFormat::ForFrame(720, 576, 24);
    TCompVars start;
    start.fccType = ICTYPE_VIDEO;
    start.fccHandler = VideoFourCC("MJPG");
    start.lQ = 7500;
    TCompressorChooser chooserForm("Wybór kompresora video", &input, start, &main);
    chooserForm.show();
    ok = Save(&chooserForm, dir + "compressor.png") && ok;
  }

  // the progress window a little into a film of the project, without and with its box
  QTemporaryDir work;
  for (const bool box : {false, true}) {
    TFilmSettingsData s;
    s.FileName = work.filePath("screenshot.avi").toStdString();
    s.FrameWidth = 360;
    s.FrameHeight = 288;
    s.Compvars.fccType = ICTYPE_VIDEO;
    s.Compvars.fccHandler = VideoFourCC("MJPG");
    GetRenderThread(true, script);
    TAviProgressForm progress(&main, script, render, &project.Box(), s, box);
    progress.show();
    WaitFor([&] { return progress.Bar().Percent() >= 5 || (progress.Thread() && progress.Thread()->Terminated()); },
            20000);
    ok = Save(&progress, dir + (box ? "aviprogress-preview.png" : "aviprogress.png")) && ok;
    progress.close();
  }
  // the page editor and the keying windows
  ok = SavePageAndKeyingScreenshots(&main, project, folder) && ok;
  // the clip player and the resource view
  ok = SaveMediaWindowScreenshots(main, folder) && ok;
  return ok;
}

}  // namespace movara
