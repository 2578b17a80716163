#include "app/ui/QtUserMessages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace movara {
namespace {

QMessageBox::Icon IconOf(TMsgKind kind) {
  switch (kind) {
    case TMsgKind::Warning: return QMessageBox::Warning;
    case TMsgKind::Error: return QMessageBox::Critical;
    case TMsgKind::Question: return QMessageBox::Question;
    case TMsgKind::Information: break;
  }
  return QMessageBox::Information;
}

QMessageBox::StandardButtons ButtonsOf(TMsgButtons buttons) {
  switch (buttons) {
    case TMsgButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case TMsgButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case TMsgButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case TMsgButtons::Ok: break;
  }
  return QMessageBox::Ok;
}

QMessageBox::StandardButton ButtonOf(TMsgAnswer a) {
  switch (a) {
    case TMsgAnswer::Yes: return QMessageBox::Yes;
    case TMsgAnswer::No: return QMessageBox::No;
    case TMsgAnswer::Cancel: return QMessageBox::Cancel;
    case TMsgAnswer::Ok: break;
  }
  return QMessageBox::Ok;
}

// Runs the box on the UI thread.
TMsgReply RunBox(const TMsgRequest& request) {
  QMessageBox box(IconOf(request.Kind),
                  request.Caption.empty() ? QStringLiteral("Movara") : QString::fromStdString(request.Caption),
                  QString::fromStdString(request.Text), ButtonsOf(request.Buttons), QApplication::activeWindow());
  // the buttons speak the program's language whatever translations Qt has
  const struct {
    QMessageBox::StandardButton button;
    const char* text;
  } texts[] = {{QMessageBox::Yes, "&Tak"}, {QMessageBox::No, "&Nie"}, {QMessageBox::Cancel, "Anuluj"},
               {QMessageBox::Ok, "OK"}};
  for (const auto& t : texts)
    if (QAbstractButton* b = box.button(t.button)) b->setText(QString::fromUtf8(t.text));
  const QMessageBox::StandardButton safe = ButtonOf(request.SafeAnswer);
  if (box.button(safe)) {
    box.setDefaultButton(safe);
    box.setEscapeButton(safe);
  }
  QCheckBox* check = nullptr;
  if (!request.CheckBoxText.empty()) {
    check = new QCheckBox(QString::fromStdString(request.CheckBoxText));
    check->setChecked(request.Checked);
    box.setCheckBox(check);  // the box owns it
  }
  const int pressed = box.exec();
  TMsgReply reply;
  reply.Checked = check ? check->isChecked() : request.Checked;
  switch (pressed) {
    case QMessageBox::Yes: reply.Answer = TMsgAnswer::Yes; break;
    case QMessageBox::No: reply.Answer = TMsgAnswer::No; break;
    case QMessageBox::Cancel: reply.Answer = TMsgAnswer::Cancel; break;
    case QMessageBox::Ok: reply.Answer = TMsgAnswer::Ok; break;
    default: reply.Answer = request.SafeAnswer; break;  // closed without a button
  }
  return reply;
}

}  // namespace

void TQtUserMessages::Show(const std::string& text, TMsgKind kind) {
  TMsgRequest r;
  r.Text = text;
  r.Kind = kind;
  Message(r);
}

TMsgAnswer TQtUserMessages::Ask(const std::string& text, TMsgButtons buttons, TMsgAnswer safeAnswer) {
  TMsgRequest r;
  r.Text = text;
  r.Kind = TMsgKind::Question;
  r.Buttons = buttons;
  r.SafeAnswer = safeAnswer;
  return Message(r).Answer;
}

TMsgReply TQtUserMessages::Message(const TMsgRequest& request) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) {
    TStderrMessages fallback;
    return fallback.IUserMessages::Message(request);
  }
  if (QThread::currentThread() == app->thread()) return RunBox(request);
  TMsgReply reply;
  reply.Answer = request.SafeAnswer;
  reply.Checked = request.Checked;
  QMetaObject::invokeMethod(app, [&reply, &request] { reply = RunBox(request); }, Qt::BlockingQueuedConnection);
  return reply;
}

}  // namespace movara
