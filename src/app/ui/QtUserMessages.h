#pragma once
// The user-message service of the windows: a QMessageBox with the caption, buttons and
// check box asked for, always shown by the UI thread. A worker thread that asks waits
// for the answer through a blocking queued call (the UI thread never waits on a worker
// without running its events, so this cannot lock up).
#include "base/UserMessages.h"

namespace movara {

class TQtUserMessages : public IUserMessages {
 public:
  void Show(const std::string& text, TMsgKind kind) override;
  TMsgAnswer Ask(const std::string& text, TMsgButtons buttons, TMsgAnswer safeAnswer) override;
  TMsgReply Message(const TMsgRequest& request) override;
};

}  // namespace movara
