#include "base/UserMessages.h"

#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>

#include "base/Format.h"

namespace movara {

TMsgReply IUserMessages::Message(const TMsgRequest& request) {
  TMsgReply reply;
  reply.Checked = request.Checked;
  if (request.Buttons == TMsgButtons::Ok && request.CheckBoxText.empty()) {
    Show(request.Text, request.Kind);
    reply.Answer = TMsgAnswer::Ok;
  } else {
    reply.Answer = Ask(request.Text, request.Buttons, request.SafeAnswer);
  }
  return reply;
}

void TStderrMessages::Show(const std::string& text, TMsgKind) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

TMsgAnswer TStderrMessages::Ask(const std::string& text, TMsgButtons, TMsgAnswer safeAnswer) {
  std::fprintf(stderr, "%s\n", text.c_str());
  return safeAnswer;
}

struct TRecordingMessages::Impl {
  struct TQueued {
    TMsgReply Reply;
    bool SetsCheckBox = false;
  };
  std::mutex m;
  std::vector<TMsgRequest> requests;
  std::deque<TQueued> answers;
};

TRecordingMessages::TRecordingMessages() : impl_(std::make_shared<Impl>()) {}

void TRecordingMessages::Show(const std::string& text, TMsgKind kind) {
  TMsgRequest r;
  r.Text = text;
  r.Kind = kind;
  Message(r);
}

TMsgAnswer TRecordingMessages::Ask(const std::string& text, TMsgButtons buttons, TMsgAnswer safeAnswer) {
  TMsgRequest r;
  r.Text = text;
  r.Kind = TMsgKind::Question;
  r.Buttons = buttons;
  r.SafeAnswer = safeAnswer;
  return Message(r).Answer;
}

TMsgReply TRecordingMessages::Message(const TMsgRequest& request) {
  std::lock_guard<std::mutex> lock(impl_->m);
  impl_->requests.push_back(request);
  TMsgReply reply;
  reply.Checked = request.Checked;
  // a box with only an Ok button and nothing to tick takes no queued answer
  if (request.Buttons == TMsgButtons::Ok && request.CheckBoxText.empty()) {
    reply.Answer = TMsgAnswer::Ok;
    return reply;
  }
  if (impl_->answers.empty()) {
    reply.Answer = request.SafeAnswer;
    return reply;
  }
  const Impl::TQueued q = impl_->answers.front();
  impl_->answers.pop_front();
  reply.Answer = q.Reply.Answer;
  if (q.SetsCheckBox && !request.CheckBoxText.empty()) reply.Checked = q.Reply.Checked;
  return reply;
}

std::vector<std::string> TRecordingMessages::Texts() const {
  std::lock_guard<std::mutex> lock(impl_->m);
  std::vector<std::string> texts;
  for (const TMsgRequest& r : impl_->requests) texts.push_back(r.Text);
  return texts;
}

std::vector<TMsgRequest> TRecordingMessages::Requests() const {
  std::lock_guard<std::mutex> lock(impl_->m);
  return impl_->requests;
}

void TRecordingMessages::QueueAnswer(TMsgAnswer a) {
  std::lock_guard<std::mutex> lock(impl_->m);
  impl_->answers.push_back({TMsgReply{a, false}, false});
}

void TRecordingMessages::QueueReply(TMsgReply r) {
  std::lock_guard<std::mutex> lock(impl_->m);
  impl_->answers.push_back({r, true});
}

void TRecordingMessages::Clear() {
  std::lock_guard<std::mutex> lock(impl_->m);
  impl_->requests.clear();
  impl_->answers.clear();
}

namespace {
std::mutex g_serviceMutex;
std::shared_ptr<IUserMessages>& Service() {
  static std::shared_ptr<IUserMessages> s = std::make_shared<TStderrMessages>();
  return s;
}
std::shared_ptr<IUserMessages> Current() {
  std::lock_guard<std::mutex> lock(g_serviceMutex);
  return Service();
}
}  // namespace

std::shared_ptr<IUserMessages> SetUserMessages(std::shared_ptr<IUserMessages> service) {
  std::lock_guard<std::mutex> lock(g_serviceMutex);
  auto old = Service();
  Service() = service ? std::move(service) : std::make_shared<TStderrMessages>();
  return old;
}

void ShowMessage(const std::string& text, TMsgKind kind) { Current()->Show(text, kind); }

void ShowMessageF(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char buf[4096];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  ShowMessage(buf);
}

TMsgAnswer AskMessage(const std::string& text, TMsgButtons buttons, TMsgAnswer safeAnswer) {
  return Current()->Ask(text, buttons, safeAnswer);
}

void ShowMessage(const std::string& text, const std::string& caption, TMsgKind kind) {
  TMsgRequest r;
  r.Text = text;
  r.Caption = caption;
  r.Kind = kind;
  Current()->Message(r);
}

TMsgAnswer AskMessage(const std::string& text, const std::string& caption, TMsgButtons buttons,
                      TMsgAnswer safeAnswer) {
  TMsgRequest r;
  r.Text = text;
  r.Caption = caption;
  r.Kind = TMsgKind::Question;
  r.Buttons = buttons;
  r.SafeAnswer = safeAnswer;
  return Current()->Message(r).Answer;
}

TMsgReply UserMessage(const TMsgRequest& request) { return Current()->Message(request); }

TScopedMessageRecorder::TScopedMessageRecorder()
    : rec_(std::make_shared<TRecordingMessages>()), previous_(SetUserMessages(rec_)) {}

TScopedMessageRecorder::~TScopedMessageRecorder() { SetUserMessages(previous_); }

}  // namespace movara
