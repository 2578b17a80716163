#pragma once
// The one service through which the program shows modal messages and asks questions.
// The windows install a Qt implementation; the command line prints to stderr and
// answers with the choice that loses nothing; tests install a recorder.
#include <memory>
#include <string>
#include <vector>

namespace movara {

enum class TMsgAnswer { Yes, No, Cancel, Ok };
enum class TMsgButtons { Ok, YesNo, YesNoCancel };
enum class TMsgKind { Information, Warning, Error, Question };

class IUserMessages {
 public:
  virtual ~IUserMessages() = default;
  virtual void Show(const std::string& text, TMsgKind kind) = 0;
  // safeAnswer is the answer that loses nothing; non-interactive services return it.
  virtual TMsgAnswer Ask(const std::string& text, TMsgButtons buttons, TMsgAnswer safeAnswer) = 0;
};

// Default service: prints "text" to stderr, answers safeAnswer.
class TStderrMessages : public IUserMessages {
 public:
  void Show(const std::string& text, TMsgKind kind) override;
  TMsgAnswer Ask(const std::string& text, TMsgButtons buttons, TMsgAnswer safeAnswer) override;
};

// Records every text; Ask returns the queued answers in order, then safeAnswer.
class TRecordingMessages : public IUserMessages {
 public:
  TRecordingMessages();
  void Show(const std::string& text, TMsgKind kind) override;
  TMsgAnswer Ask(const std::string& text, TMsgButtons buttons, TMsgAnswer safeAnswer) override;
  std::vector<std::string> Texts() const;
  void QueueAnswer(TMsgAnswer a);
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
