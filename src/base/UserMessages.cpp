#include "base/UserMessages.h"

#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>

#include "base/Format.h"

namespace movara {

void TStderrMessages::Show(const std::string& text, TMsgKind) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

TMsgAnswer TStderrMessages::Ask(const std::string& text, TMsgButtons, TMsgAnswer safeAnswer) {
  std::fprintf(stderr, "%s\n", text.c_str());
  return safeAnswer;
}

struct TRecordingMessages::Impl {
  std::mutex m;
  std::vector<std::string> texts;
  std::deque<TMsgAnswer> answers;
};

TRecordingMessages::TRecordingMessages() : impl_(std::make_shared<Impl>()) {}

void TRecordingMessages::Show(const std::string& text, TMsgKind) {
  std::lock_guard<std::mutex> lock(impl_->m);
  impl_->texts.push_back(text);
}

TMsgAnswer TRecordingMessages::Ask(const std::string& text, TMsgButtons, TMsgAnswer safeAnswer) {
  std::lock_guard<std::mutex> lock(impl_->m);
  impl_->texts.push_back(text);
  if (impl_->answers.empty()) return safeAnswer;
  TMsgAnswer a = impl_->answers.front();
  impl_->answers.pop_front();
  return a;
}

std::vector<std::string> TRecordingMessages::Texts() const {
  std::lock_guard<std::mutex> lock(impl_->m);
  return impl_->texts;
}

void TRecordingMessages::QueueAnswer(TMsgAnswer a) {
  std::lock_guard<std::mutex> lock(impl_->m);
  impl_->answers.push_back(a);
}

void TRecordingMessages::Clear() {
  std::lock_guard<std::mutex> lock(impl_->m);
  impl_->texts.clear();
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

TScopedMessageRecorder::TScopedMessageRecorder()
    : rec_(std::make_shared<TRecordingMessages>()), previous_(SetUserMessages(rec_)) {}

TScopedMessageRecorder::~TScopedMessageRecorder() { SetUserMessages(previous_); }

}  // namespace movara
