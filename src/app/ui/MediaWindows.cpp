#include "app/ui/MediaWindows.h"

#include <QApplication>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include "app/ui/ClipPlayer.h"
#include "app/ui/MovaraForm.h"
#include "base/AppPaths.h"
#include "base/FileKind.h"
#include "compose/ui/ImageView.h"
#include "compose/ui/MarkInOutSlider.h"
#include "persist/ProjectDocument.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/ui/ClipOpeners.h"

namespace movara {

void InstallMediaWindows(TMovaraForm& main) {
  QMdiArea* area = main.MdiArea();
  SetClipPlayerHost(area, &main.Document().ClipBox());
  TClipOpeners& openers = ClipOpeners();
  openers.PlayClip = [](TClipGraphic& clip) { PlayResourceClip(clip); };
  openers.ViewPicture = [area](const std::string& file) { return OpenResourceView(file, area); };
  // the main window's commands for them
  TMovaraForm* frame = &main;
  main.OnOpenMedia = [area] { OpenMediaDialog(area); };
  main.OnOpenSelectedResources = [frame, area] { OpenSelectedResources(frame->Document().ClipBox(), area); };
  main.SetWindowKindHooks(kClipPlayerKind, {[] { return static_cast<int>(ClipPlayers().size()); },
                                            [] {
                                              const int n = static_cast<int>(ClipPlayers().size());
                                              CloseAllClipPlayers();
                                              return n - static_cast<int>(ClipPlayers().size());
                                            }});
  main.SetWindowKindHooks(kResourceViewKind, {[] { return static_cast<int>(ResourceViews().size()); },
                                              [] {
                                                const int n = static_cast<int>(ResourceViews().size());
                                                CloseAllResourceViews();
                                                return n - static_cast<int>(ResourceViews().size());
                                              }});
  QObject::connect(&main, &QObject::destroyed, [] {
    SetClipPlayerHost(nullptr, nullptr);
    ClipOpeners().PlayClip = nullptr;
    ClipOpeners().ViewPicture = nullptr;
  });
}

namespace {

bool SaveFrame(QWidget* w, const QString& file) {
  if (!w) return false;
  QApplication::processEvents();
  return w->grab().save(file);
}

void WaitWithEvents(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

bool SaveMediaWindowScreenshots(TMovaraForm& main, const std::string& folder) {
  const QString dir = QString::fromStdString(IncludeTrailingSlash(folder));
  TClipBox& box = main.Document().ClipBox();
  TClipGraphic* avi = nullptr;
  TClipGraphic* wav = nullptr;
  TClipGraphic* still = nullptr;
  for (int i = 0; i < box.Count(); ++i) {
    TClipGraphic* c = box.Clips(i);
    switch (FileKindOfName(c->FileShortName())) {
      case fkAvi: if (!avi) avi = c; break;
      case fkWav: if (!wav) wav = c; break;
      case fkBmp: case fkJpg: case fkGif: if (!still) still = c; break;
      default: break;
    }
  }
  bool ok = true;
  if (avi) {
    TClipPlayer* player = PlayResourceClip(*avi);
    ok = player != nullptr && ok;
    if (player) {
      const int length = player->Slider()->MaxPos();
      player->Slider()->SetPosition(length / 4);
      player->MarkIn();
      player->Slider()->SetPosition(length * 3 / 4);
      player->MarkOut();
      player->Player().SetCurrentTime(length / 3);
      player->Slider()->SetPosition(length / 3);
      WaitWithEvents(50);
      ok = SaveFrame(player->Frame(), dir + "clipplayer.png") && ok;
    }
  }
  if (wav) {
    TClipPlayer* player = PlayResourceClip(*wav);
    ok = player != nullptr && ok;
    if (player) ok = SaveFrame(player->Frame(), dir + "clipplayer-sound.png") && ok;
  }
  CloseAllClipPlayers();
  TClipGraphic* picture = still ? still : avi;
  if (picture && OpenResourceView(picture->FullFileName(), main.MdiArea())) {
    std::vector<TImageView*> views = ResourceViews();
    ok = !views.empty() && SaveFrame(views.back()->Frame(), dir + "resourceview.png") && ok;
    for (TImageView* v : views) delete v->Frame();
  }
  return ok;
}

}  // namespace movara
