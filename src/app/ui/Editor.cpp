#include "app/ui/Editor.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QMdiSubWindow>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "app/ui/FilmCommand.h"
#include "app/ui/MovaraForm.h"
#include "app/ui/QtUserMessages.h"
#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/UserMessages.h"
#include "persist/Config.h"
#include "persist/ProjectDocument.h"
#include "project/ui/ClipPaint.h"
#include "project/ui/DocumentSignals.h"
#include "project/ui/ResourcesForm.h"
#include "project/ui/TimeLineForm.h"

namespace movara {
namespace {

bool IsProjectName(const std::string& arg) {
  std::string ext = ExtractFileExt(arg);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext == ".MVF";
}

// The program's icon: a frame of film with its perforation.
QIcon ProgramIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 40, 48));
  p.drawRoundedRect(QRectF(1, 3, 30, 26), 3, 3);
  p.setBrush(QColor(235, 235, 235));
  for (int x = 4; x < 30; x += 6) {
    p.drawRect(QRectF(x, 5, 3, 3));
    p.drawRect(QRectF(x, 24, 3, 3));
  }
  QLinearGradient sky(0, 10, 0, 22);
  sky.setColorAt(0, QColor(90, 160, 240));
  sky.setColorAt(1, QColor(250, 200, 90));
  p.setBrush(sky);
  p.drawRect(QRectF(4, 10, 24, 12));
  p.end();
  return QIcon(pixmap);
}

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
  return ok;
}

}  // namespace

bool IsEditorCommandLine(int argc, char** argv, TEditorOptions& options) {
  options = TEditorOptions();
  if (argc <= 1) return true;
  const std::string first = argv[1];
  if (first == "--screenshots") {
    if (argc < 3 || argc > 4) return false;
    options.ScreenshotsDir = argv[2];
    if (argc == 4) options.ProjectFile = argv[3];
    return true;
  }
  if (argc == 2 && IsProjectName(first)) {
    options.ProjectFile = first;
    return true;
  }
  return false;
}

int RunEditor(QApplication& app, const TEditorOptions& options) {
  QApplication::setApplicationName("Movara");
  QApplication::setWindowIcon(ProgramIcon());
  // the screenshots run without anyone to answer: its messages go to stderr
  std::shared_ptr<IUserMessages> previous =
      options.ScreenshotsDir.empty() ? SetUserMessages(std::make_shared<TQtUserMessages>())
                                     : SetUserMessages(std::make_shared<TStderrMessages>());
  int result = 0;
  {
    TProjectDocument document;
    TDocumentSignals adapter(document);
    TMovaraForm form(document);
    form.ReadSettings(ConfigFileName());
    // the standing windows, in their order: film sequences, resources, project
    auto* resources = new TResourcesForm(adapter);
    form.AddStandingWindow(resources, swResources);
    auto* openResources = new QAction(QString::fromUtf8("Otwórz Zaso&by..."), &form);
    openResources->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    QObject::connect(openResources, &QAction::triggered, resources, [resources] { resources->AddFiles(); });
    form.AddFileCommand(openResources);
    // the project window comes last
    auto* timeline = new TTimeLineForm(document, adapter);
    form.AddStandingWindow(timeline, swProject);
    // the effect windows, the film command and the slider's preview
    InstallEffectWindows(form, *timeline);
    QObject::connect(&adapter, &TDocumentSignals::opened, &form, &TMovaraForm::ShowProjectWindows);
    QObject::connect(timeline, &TTimeLineForm::newProjectShown, &form, &TMovaraForm::ShowProjectWindows);
    form.RestoreLayout();
    form.show();

    const std::string project = options.ProjectFile;
    const std::string shots = options.ScreenshotsDir;
    QTimer::singleShot(0, &form, [&form, &document, timeline, project, shots, &result] {
      if (!project.empty()) document.Open(project);
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
