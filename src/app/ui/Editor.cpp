#include "app/ui/Editor.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSplashScreen>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

#include "app/ui/FilmCommand.h"
#include "app/ui/MovaraForm.h"
#include "app/ui/OptionsForm.h"
#include "app/ui/QtUserMessages.h"
#include "app/ui/ToolBarIcons.h"
#include "app/ui/VideoSequenceForm.h"
#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/UserMessages.h"
#include "persist/Config.h"
#include "persist/ProjectDocument.h"
#include "project/ui/AutoSaveTimer.h"
#include "project/ui/ClipPaint.h"
#include "project/ui/DocumentSignals.h"
#include "project/ui/LayerBoxView.h"
#include "project/ui/ResourcesForm.h"
#include "project/ui/ShortCutForm.h"
#include "project/ui/TimeLineForm.h"
#include "script/Chain3D.h"

namespace movara {
namespace {

// Saves a PNG of the main window and of every MDI child, named after the window.
bool SaveScreenshots(TMovaraForm& form, const std::string& folder) {
  QDir().mkpath(QString::fromStdString(folder));
  const QString dir = QString::fromStdString(IncludeTrailingSlash(folder));
  bool ok = form.grab().save(dir + "main.png");
  const struct {
    TStandingWindow which;
    const char* file;
  } standing[] = {{swProject, "project.png"}, {swResources, "resources.png"}, {swSequences, "sequences.png"}};
  for (const auto& s : standing) {
    QMdiSubWindow* sub = form.StandingWindow(s.which);
    if (!sub || !sub->isVisible()) continue;
    // each window as large as it asks to be, so that the picture shows all it holds
    const QSize frame = sub->size() - sub->widget()->size();
    const QSize hint = sub->widget()->sizeHint() + frame;
    sub->resize(std::max(sub->width(), hint.width()), std::max(sub->height(), hint.height()));
    QApplication::processEvents();
    ok = sub->grab().save(dir + s.file) && ok;
  }
  // the cursors and pictures the windows draw for themselves
  ok = DropperOkPixmap().save(dir + "cursor-ZAKRAPLACZOK.png") && ok;

  // the menus of the main window, opened
  const struct {
    QMenu* menu;
    const char* file;
  } menus[] = {{form.FileMenu(), "menu-file.png"},
               {form.EditMenu(), "menu-edit.png"},
               {form.WindowMenu(), "menu-window.png"},
               {form.HelpMenu(), "menu-help.png"}};
  for (const auto& m : menus) {
    m.menu->popup(form.mapToGlobal(QPoint(20, 20)));
    QApplication::processEvents();
    ok = m.menu->grab().save(dir + m.file) && ok;
    m.menu->hide();
  }
  // the dialogs, each shown and taken while it runs
  auto modal = [&](const char* file, const std::function<void()>& run) {
    QTimer::singleShot(100, &form, [&, file] {
      QWidget* w = QApplication::activeModalWidget();
      if (!w) {
        ok = false;
        return;
      }
      ok = w->grab().save(dir + file) && ok;
      w->close();
    });
    run();
  };
  {
    TOptionsForm options(ConfigFileName(), true, &form);
    modal("options.png", [&] { options.exec(); });
    modal("options-warning.png", [&] { options.ShowWarning(); });
  }
  {
    TShortCutForm shortcut(0x4000 | '1', {"F2", "Ctrl+2"}, &form);
    shortcut.SetCode(0x71);  // F2, taken: the reason shows
    modal("shortcut.png", [&] { shortcut.exec(); });
  }
  modal("about.png", [&] { form.ShowAbout(); });
  return ok;
}

// The start-up benchmark: with MOVARA_BENCH_T0 set to the launcher's clock before it
// started the program (nanoseconds since the epoch, as `date +%s%N` gives it), the
// editor prints "startup_ms N cpu_ms C" to stderr once the time line has been painted
// with the project open, then closes.
class TFirstPaintProbe : public QObject {
 public:
  TFirstPaintProbe(QWidget* view, QWidget* main, long long t0) : QObject(view), FMain(main), FT0(t0) {
    view->installEventFilter(this);
  }
  // From now on the next paint counts (the project is open).
  void Arm(QWidget* view) {
    FArmed = true;
    view->update();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (FArmed && event->type() == QEvent::Paint) {
      FArmed = false;
      // after the paint has run
      QTimer::singleShot(0, FMain, [this] {
        const long long now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count();
        // and the processor time the process took so far (what a busy machine does not
        // stretch)
        std::fprintf(stderr, "startup_ms %.1f cpu_ms %.1f\n", static_cast<double>(now - FT0) / 1e6,
                     1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC);
        FMain->close();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QWidget* FMain;
  long long FT0;
  bool FArmed = false;
};

}  // namespace

QWidget* ShowSplash() {
  QPixmap picture(360, 200);
  picture.fill(QColor(32, 34, 44));
  {
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.drawPixmap(24, 56, ProgramPixmap(88));
    QFont title("DejaVu Sans");
    title.setPixelSize(40);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(130, 50, 220, 56), Qt::AlignLeft | Qt::AlignVCenter, "Movara");
    QFont line("DejaVu Sans");
    line.setPixelSize(14);
    p.setFont(line);
    p.setPen(QColor(200, 205, 220));
    p.drawText(QRect(132, 104, 220, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8("Edytor filmów"));
    p.drawText(QRect(132, 128, 220, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8("Uruchamianie..."));
  }
  auto* splash = new QSplashScreen(picture);
  splash->setObjectName("SplashForm");
  // a title of its own: whoever looks for the main window "Movara" by its name (the
  // desktop, a test driving the program) does not take the splash for it
  splash->setWindowTitle(QString::fromUtf8("Movara - uruchamianie"));
  splash->show();
  // painted at once, before anything else is made
  splash->repaint();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return splash;
}

TEditor::TEditor(bool splash) {
  // 1. the splash
  QWidget* splashWindow = splash ? ShowSplash() : nullptr;
  // 2. the application's title and help
  QApplication::setApplicationName("Movara");
  QApplication::setApplicationDisplayName("Movara");
  QApplication::setWindowIcon(ProgramIcon());
  // 3. the main window, then the film sequences, the resource and the project window
  FDocument = std::make_unique<TProjectDocument>();
  FSignals = std::make_unique<TDocumentSignals>(*FDocument);
  FMain = std::make_unique<TMovaraForm>(*FDocument);
  FMain->SetSplash(splashWindow);
  TMovaraForm& form = *FMain;
  form.ReadSettings(ConfigFileName());
  FSequences = new TVideoSequenceForm(FDocument->LayerBox());
  form.AddStandingWindow(FSequences, swSequences);
  FResources = new TResourcesForm(*FSignals);
  form.AddStandingWindow(FResources, swResources);
  FProject = new TTimeLineForm(*FDocument, *FSignals);
  form.AddStandingWindow(FProject, swProject);
  form.SetWindows(FProject, FResources, FSequences);
  FSequences->SetCountType(ctSMPTE);
  FSequences->SetTimeBase(DefaultTimeBase);
  // 4. the effect chain, with the effect windows and the film command
  FFilm = InstallEffectWindows(form, *FProject);
  if (InitChain3D()) {
    TFilmCommand* film = FFilm;
    form.OnMakeFilm = [film](int mode, bool regenerate) { return film->Run(mode, regenerate); };
    form.UpdateCommands();
    form.RestoreLayout();
    form.InstallCallbacks(*FSignals);
    QObject::connect(FSignals.get(), &TDocumentSignals::opened, &form, &TMovaraForm::ShowProjectWindows);
    QObject::connect(FProject, &TTimeLineForm::newProjectShown, &form, &TMovaraForm::ShowProjectWindows);
  }
}

TEditor::~TEditor() {
  // the windows go before the document they show
  FMain.reset();
  DoneChain3D();
}

int RunEditor(QApplication& app, const TEditorOptions& options) {
  // the screenshots run without anyone to answer: its messages go to stderr
  std::shared_ptr<IUserMessages> previous =
      options.ScreenshotsDir.empty() ? SetUserMessages(std::make_shared<TQtUserMessages>())
                                     : SetUserMessages(std::make_shared<TStderrMessages>());
  int result = 0;
  {
    TEditor editor(options.ScreenshotsDir.empty());
    TMovaraForm& form = editor.Main();
    TProjectDocument& document = editor.Document();
    TTimeLineForm* timeline = &editor.Project();
    form.show();

    TFirstPaintProbe* probe = nullptr;
    if (const char* t0 = std::getenv("MOVARA_BENCH_T0"); t0 && *t0)
      probe = new TFirstPaintProbe(timeline->View(), &form, std::atoll(t0));

    const std::string project = options.ProjectFile;
    const std::string shots = options.ScreenshotsDir;
    QTimer::singleShot(0, &form, [&form, &document, timeline, project, shots, probe, &result] {
      // unsaved work left by an editor that was killed comes first
      const bool recovered = shots.empty() && !probe && StartRecovery(document, &form);
      if (!project.empty() && !recovered) document.Open(project);
      if (probe) probe->Arm(timeline->View());
      if (!shots.empty()) {
        QApplication::processEvents();
        if (!SaveScreenshots(form, shots) || !SaveFilmWindowScreenshots(form, *timeline, shots)) {
          std::fprintf(stderr, "movara: cannot save the screenshots in %s\n", shots.c_str());
          result = 1;
        }
        document.LayerBox().SetModified(false);  // nothing is saved from a screenshots run
        form.close();
      }
    });
    const int code = app.exec();
    if (result == 0) result = code;
  }
  SetUserMessages(previous);
  return result;
}

}  // namespace movara
