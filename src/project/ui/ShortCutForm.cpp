#include "project/ui/ShortCutForm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "base/Format.h"
#include "project/ShortCut.h"
#include "project/ui/LayerBoxView.h"

namespace movara {

uint16_t ShortCutOfKey(int qtKey, Qt::KeyboardModifiers modifiers) {
  const int vk = VirtualKeyOf(qtKey, (modifiers & Qt::KeypadModifier) != 0);
  if (vk <= 0 || vk > 0xFF) return 0;
  uint16_t code = static_cast<uint16_t>(vk);
  if (modifiers & Qt::ShiftModifier) code |= scShift;
  if (modifiers & Qt::ControlModifier) code |= scCtrl;
  if (modifiers & Qt::AltModifier) code |= scAlt;
  return code;
}

QKeyCombination KeyOfShortCut(uint16_t code) {
  const int vk = code & 0xFF;
  Qt::KeyboardModifiers mods;
  if (code & scShift) mods |= Qt::ShiftModifier;
  if (code & scCtrl) mods |= Qt::ControlModifier;
  if (code & scAlt) mods |= Qt::AltModifier;
  Qt::Key key = Qt::Key_unknown;
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) {
    key = static_cast<Qt::Key>(vk);
  } else if (vk >= 0x70 && vk <= 0x87) {
    key = static_cast<Qt::Key>(Qt::Key_F1 + (vk - 0x70));
  } else if (vk >= 0x60 && vk <= 0x69) {
    key = static_cast<Qt::Key>(Qt::Key_0 + (vk - 0x60));
    mods |= Qt::KeypadModifier;
  } else {
    struct TPair {
      int vk;
      Qt::Key key;
      bool keypad;
    };
    static const TPair pairs[] = {
        {0x08, Qt::Key_Backspace, false}, {0x09, Qt::Key_Tab, false},       {0x0D, Qt::Key_Return, false},
        {0x1B, Qt::Key_Escape, false},    {0x20, Qt::Key_Space, false},     {0x21, Qt::Key_PageUp, false},
        {0x22, Qt::Key_PageDown, false},  {0x23, Qt::Key_End, false},       {0x24, Qt::Key_Home, false},
        {0x25, Qt::Key_Left, false},      {0x26, Qt::Key_Up, false},        {0x27, Qt::Key_Right, false},
        {0x28, Qt::Key_Down, false},      {0x2D, Qt::Key_Insert, false},    {0x2E, Qt::Key_Delete, false},
        {0x6A, Qt::Key_Asterisk, true},   {0x6B, Qt::Key_Plus, true},       {0x6D, Qt::Key_Minus, true},
        {0x6E, Qt::Key_Delete, true},     {0x6F, Qt::Key_Slash, true},      {0xBA, Qt::Key_Semicolon, false},
        {0xBB, Qt::Key_Equal, false},     {0xBC, Qt::Key_Comma, false},     {0xBD, Qt::Key_Minus, false},
        {0xBE, Qt::Key_Period, false},    {0xBF, Qt::Key_Slash, false},     {0xC0, Qt::Key_QuoteLeft, false},
        {0xDB, Qt::Key_BracketLeft, false}, {0xDC, Qt::Key_Backslash, false}, {0xDD, Qt::Key_BracketRight, false},
        {0xDE, Qt::Key_Apostrophe, false},
    };
    for (const TPair& p : pairs)
      if (p.vk == vk) {
        key = p.key;
        if (p.keypad) mods |= Qt::KeypadModifier;
        break;
      }
  }
  return QKeyCombination(mods, key);
}

bool IsProgramShortCut(uint16_t code) {
  static const uint16_t program[] = {
      // the main window's commands (Ctrl+O, D, B, S, M, Shift+M, Alt+M, K, V, Q, Z; F1,
      // Shift+F1)
      16463, 16452, 16450, 16467, 16461, 24653, 49229, 16459, 16470, 16465, 16474, 112, 8304,
      // the project window's (Ctrl+C razor, Ctrl+Alt+S script, Ctrl+E random effects)
      16451, 49235, 16453,
      // the project window's editing keys: Esc, Left, Right, Del, Num +, Num -
      0x1B, 0x25, 0x27, 0x2E, 0x6B, 0x6D,
      // the dialogs' Enter and the focus keys
      0x0D, 0x09, scShift | 0x09};
  return std::find(std::begin(program), std::end(program), code) != std::end(program);
}

namespace {

bool Listed(const std::vector<std::string>& used, const std::string& text) {
  return std::find(used.begin(), used.end(), text) != used.end();
}

// The shortcuts the list offers, in this order, less the taken ones.
std::vector<uint16_t> Candidates() {
  std::vector<uint16_t> codes;
  const char* keys = "1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (const uint16_t mod : {uint16_t(0), scCtrl, scAlt, uint16_t(scCtrl | scShift)}) {
    for (const char* k = keys; *k; ++k) codes.push_back(static_cast<uint16_t>(mod | *k));
    for (int f = 0x71; f <= 0x7B; ++f) codes.push_back(static_cast<uint16_t>(mod | f));  // F2..F12
  }
  return codes;
}

}  // namespace

TShortCutForm::TShortCutForm(uint16_t code, const std::vector<std::string>& used, QWidget* parent)
    : QDialog(parent), FUsed(used) {
  setObjectName("ShortCutForm");
  setWindowTitle(QString::fromUtf8("Skrót klawiszowy sekwencji"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromUtf8("Naciśnij klawisze skrótu:"), this));
  edKey = new QLineEdit(this);
  edKey->setObjectName("edKey");
  edKey->setReadOnly(true);
  edKey->installEventFilter(this);
  layout->addWidget(edKey);
  layout->addWidget(new QLabel(QString::fromUtf8("albo wybierz wolny skrót:"), this));
  cbFree = new QComboBox(this);
  cbFree->setObjectName("cbFree");
  cbFree->addItem(QString(), 0);
  for (uint16_t c : Candidates()) {
    const std::string text = ShortCutToText(c);
    if (!IsProgramShortCut(c) && !Listed(FUsed, text)) cbFree->addItem(QString::fromStdString(text), c);
  }
  layout->addWidget(cbFree);
  lbReason = new QLabel(this);
  lbReason->setObjectName("lbReason");
  lbReason->setStyleSheet("QLabel { color: #b00000; }");
  lbReason->setWordWrap(true);
  layout->addWidget(lbReason);
  auto* buttons = new QHBoxLayout;
  btnNone = new QPushButton(QString::fromUtf8("&Brak"), this);
  btnNone->setAutoDefault(false);
  btnOk = new QPushButton(QString::fromUtf8("OK"), this);
  btnOk->setDefault(true);
  btnCancel = new QPushButton(QString::fromUtf8("Anuluj"), this);
  btnCancel->setAutoDefault(false);
  buttons->addWidget(btnNone);
  buttons->addStretch(1);
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  layout->addLayout(buttons);

  connect(cbFree, &QComboBox::activated, this, [this](int index) {
    const uint16_t c = static_cast<uint16_t>(cbFree->itemData(index).toUInt());
    if (c != 0) SetCode(c);
  });
  connect(btnNone, &QPushButton::clicked, this, [this] { SetCode(0); });
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  // a shortcut the block carries is its own, even when it would be refused now
  FCode = code;
  edKey->setText(QString::fromStdString(ShortCutToText(code)));
  edKey->setFocus();
}

bool TShortCutForm::SetCode(uint16_t code) {
  const std::string text = ShortCutToText(code);
  QString reason;
  if (code != 0 && text.empty())
    reason = QString::fromUtf8("Ten klawisz nie może być skrótem.");
  else if (code != 0 && IsProgramShortCut(code))
    reason = QString::fromStdString(Format("Skrót %s należy do polecenia programu.", text.c_str()));
  else if (code != 0 && Listed(FUsed, text))
    reason = QString::fromStdString(Format("Skrót %s jest już używany przez inną sekwencję.", text.c_str()));
  lbReason->setText(reason);
  if (!reason.isEmpty()) return false;
  FCode = code;
  edKey->setText(QString::fromStdString(text));
  const int index = cbFree->findData(code);
  cbFree->setCurrentIndex(index >= 0 ? index : 0);
  return true;
}

bool TShortCutForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edKey && event->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(event);
    switch (k->key()) {
      case Qt::Key_Shift:
      case Qt::Key_Control:
      case Qt::Key_Alt:
      case Qt::Key_Meta:
      case Qt::Key_AltGr:
        return true;  // a modifier alone waits for its key
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_Escape:
      case Qt::Key_Tab:
      case Qt::Key_Backtab:
        if (k->modifiers() == Qt::NoModifier || k->key() == Qt::Key_Backtab) return false;  // the dialog's keys
        break;
      default:
        break;
    }
    const uint16_t code = ShortCutOfKey(k->key(), k->modifiers());
    if (code == 0)
      lbReason->setText(QString::fromUtf8("Ten klawisz nie może być skrótem."));
    else
      SetCode(code);
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

bool ChooseShortCut(QWidget* parent, int32_t& code, const std::vector<std::string>& used) {
  TShortCutForm form(static_cast<uint16_t>(std::max(0, code) & 0xFFFF), used, parent);
  if (form.exec() != QDialog::Accepted) return false;
  code = form.Code();
  return true;
}

}  // namespace movara
