#include "project/ui/AutoSaveTimer.h"

#include <unistd.h>

#include <algorithm>

#include <QTimer>

#include "persist/Config.h"
#include "persist/ProjectDocument.h"

namespace movara {

bool StartRecovery(TProjectDocument& document, QObject* owner) {
  document.StartAutoSave(RecoveryFolder(), ::getpid());
  const bool recovered = document.OfferRecovery(RecoveryFolder());
  const int seconds = AutoSaveSeconds(ConfigFileName());
  if (seconds > 0) {
    auto* timer = new QTimer(owner);
    timer->setObjectName("AutoSaveTimer");
    QObject::connect(timer, &QTimer::timeout, owner, [&document] { document.AutoSaveNow(); });
    timer->start(std::min(seconds, 24 * 3600) * 1000);
  }
  return recovered;
}

}  // namespace movara
