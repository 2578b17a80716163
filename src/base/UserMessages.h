#pragma once
// The one service through which the program shows modal messages and asks questions.
// The windows install a Qt implementation; the command line prints to stderr and
// answers with the choice that loses nothing; tests install a recorder.
#include <memory>
#include <string>
#include <vector>

namespace movara {

enum class TMsgAnswer { Yes, No, Cancel, Ok };
enum class TMsgButtons { Ok, YesNo, YesNoCancel, OkCancel };
enum class TMsgKind { Information, Warning, Error, Question };

// A message box as asked for: text, caption (empty = the program's title), icon kind,
// buttons, the answer that loses nothing (what a service without a user answers) and an
// optional check box (empty text = none) with its state when the box opens.
struct TMsgRequest {
  std::string Text;
  std::string Caption;
  TMsgKind Kind = TMsgKind::Information;
  TMsgButtons Buttons = TMsgButtons::Ok;
  TMsgAnswer SafeAnswer = TMsgAnswer::Ok;
  std::string CheckBoxText;
  bool Checked = false;
};

// The button pressed and the check box's state when the box closed.
struct TMsgReply {
  TMsgAnswer Answer = TMsgAnswer::Ok;
  bool Checked = false;
};

class IUserMessages {
 public:
  virtual ~IUserMessages() = default;
  virtual void Show(const std::string& text, TMsgKind kind) = 0;
  // safeAnswer is the answer that loses nothing; non-interactive services return it.
  virtual TMsgAnswer Ask(const std::string& text, TMsgButtons buttons, TMsgAnswer safeAnswer) = 0;
  // The full form. A service that knows no captions or check boxes shows the text with
  // Show (one Ok button) or asks with Ask; the check box then keeps its state.
  virtual TMsgReply Message(const TMsgRequest& request);
};

// Default service: prints "text" to stderr, answers safeAnswer.
class TStderrMessages : public IUserMessages {
 public:
  void Show(const std::string& text, TMsgKind kind) override;
  TMsgAnswer Ask(const std::string& text, TMsgButtons buttons, TMsgAnswer safeAnswer) override;
};

// Records every request; questions return the queued answers in order, then their safe
// answer.
class TRecordingMessages : public IUserMessages {
 public:
  TRecordingMessages();
  void Show(const std::string& text, TMsgKind kind) override;
  TMsgAnswer Ask(const std::string& text, TMsgButtons buttons, TMsgAnswer safeAnswer) override;
  TMsgReply Message(const TMsgRequest& request) override;
  std::vector<std::string> Texts() const;
  // Every request in full (captions, buttons, check boxes).
  std::vector<TMsgRequest> Requests() const;
  void QueueAnswer(TMsgAnswer a);
  // An answer with the check box's state for the next request that has a check box.
  void QueueReply(TMsgReply r);
  void Clear();

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

// Installs a service (nullptr restores the stderr one); returns the previous one.
std::shared_ptr<IUserMessages> SetUserMessages(std::shared_ptr<IUserMessages> service);

void ShowMessage(const std::string& text, TMsgKind kind = TMsgKind::Information);
void ShowMessageF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
TMsgAnswer AskMessage(const std::string& text, TMsgButtons buttons, TMsgAnswer safeAnswer);
// With a caption.
void ShowMessage(const std::string& text, const std::string& caption, TMsgKind kind);
TMsgAnswer AskMessage(const std::string& text, const std::string& caption, TMsgButtons buttons,
                      TMsgAnswer safeAnswer);
// The full form.
TMsgReply UserMessage(const TMsgRequest& request);

// Installs a recorder for the lifetime of the object (tests).
class TScopedMessageRecorder {
 public:
  TScopedMessageRecorder();
  ~TScopedMessageRecorder();
  TRecordingMessages& Recorder() { return *rec_; }
  std::vector<std::string> Texts() const { return rec_->Texts(); }

 private:
  std::shared_ptr<TRecordingMessages> rec_;
  std::shared_ptr<IUserMessages> previous_;
};

}  // namespace movara
