#include "pages/ui/PageEditForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/GifFile.h"
#include "base/JpegFile.h"
#include "base/MyIniFile.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "pages/PageImage.h"
#include "pages/ui/PageEditView.h"
#include "pages/ui/QtPageClipboard.h"

namespace movara {

std::function<void(TPageEditForm&)> OnPageEditFormShown;

namespace {

constexpr int kMinWidth = 603;
constexpr int kMinHeight = 440;

QColor ToQColor(TColor c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
TColor FromQColor(const QColor& c) { return RGBColor(c.red(), c.green(), c.blue()); }

// At most max bytes of UTF-8, cut before a character that would not fit whole.
std::string LimitUtf8(std::string s, size_t max) {
  if (s.size() <= max) return s;
  size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  s.resize(n);
  return s;
}

// The field's text as an item holds it (lines separated by CR LF), and back.
std::string FieldToItemText(const QString& field) {
  std::string s;
  for (const char c : field.toStdString()) {
    if (c == '\n') s += '\r';
    s += c;
  }
  return LimitUtf8(s, kMaxItemTextBytes);
}
QString ItemTextToField(const std::string& text) {
  std::string s;
  for (const char c : text)
    if (c != '\r') s += c;
  return QString::fromStdString(s);
}

// A position in the field (UTF-16 units, a line break one) as a character index of the
// item's text (code points, a CR LF two), and back.
int FieldPosToIndex(const QString& field, int pos) {
  int index = 0;
  for (int i = 0; i < pos && i < field.size(); ++i) {
    if (field[i].isHighSurrogate() && i + 1 < field.size()) ++i;
    index += field[i] == QChar('\n') ? 2 : 1;
  }
  return index;
}
int IndexToFieldPos(const QString& field, int index) {
  int i = 0;
  for (int n = 0; n < index && i < field.size(); ++i) {
    n += field[i] == QChar('\n') ? 2 : 1;
    if (field[i].isHighSurrogate() && i + 1 < field.size()) ++i;
  }
  return std::min<int>(i, static_cast<int>(field.size()));
}

// The speed buttons' pictures: bars that show the alignment, spacing or order.
QIcon ButtonIcon(int kind) {
  QPixmap pm(18, 18);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setPen(Qt::NoPen);
  const QColor ink(30, 30, 30), bar(40, 90, 200);
  auto box = [&](int x, int y, int w, int h) { p.fillRect(x, y, w, h, bar); };
  auto line = [&](int x1, int y1, int x2, int y2) {
    p.setPen(QPen(ink, 1));
    p.drawLine(x1, y1, x2, y2);
    p.setPen(Qt::NoPen);
  };
  switch (kind) {
    case 0: line(2, 1, 2, 16); box(3, 3, 12, 4); box(3, 10, 7, 4); break;     // left
    case 1: line(9, 1, 9, 16); box(3, 3, 12, 4); box(5, 10, 8, 4); break;     // centre
    case 2: line(15, 1, 15, 16); box(3, 3, 12, 4); box(8, 10, 7, 4); break;   // right
    case 3: line(1, 2, 16, 2); box(3, 3, 4, 12); box(10, 3, 4, 7); break;     // top
    case 4: line(1, 9, 16, 9); box(3, 3, 4, 12); box(10, 5, 4, 8); break;     // middle
    case 5: line(1, 15, 16, 15); box(3, 3, 4, 12); box(10, 8, 4, 7); break;   // bottom
    case 6: box(1, 5, 4, 8); box(7, 5, 4, 8); box(13, 5, 4, 8); break;        // spaced across
    case 7: box(5, 1, 8, 4); box(5, 7, 8, 4); box(5, 13, 8, 4); break;        // spaced down
    case 8: p.fillRect(2, 2, 10, 10, QColor(160, 160, 160)); box(6, 6, 10, 10); break;  // to the front
    case 9: box(2, 2, 10, 10); p.fillRect(6, 6, 10, 10, QColor(160, 160, 160)); break;  // to the back
    default: {  // a new text
      QFont f = p.font();
      f.setBold(true);
      f.setPixelSize(14);
      p.setFont(f);
      p.setPen(ink);
      p.drawText(QRect(0, 0, 18, 18), Qt::AlignCenter, "T");
      break;
    }
  }
  return QIcon(pm);
}

QString CaptionFor(const std::string& name) {
  return QString::fromStdString(Format("Edytor Tekstu - [%s]", name.c_str()));
}

// Qt's filter from "Text|*.A|Text|*.B": both cases of each pattern.
QString QtFilter(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString pattern = parts[i + 1];
    QString name = parts[i];
    const int paren = name.indexOf('(');
    if (paren >= 0) name = name.left(paren).trimmed();
    out << QString("%1 (%2 %3)").arg(name, pattern.toUpper(), pattern.toLower());
  }
  return out.join(";;");
}

std::string QtFileDialog(QWidget* parent, const TPageFileDialog& d, const std::string& startName) {
  QFileDialog dialog(parent, QString::fromStdString(d.Title), QString::fromStdString(d.InitialDir),
                     QtFilter(d.Filter));
  dialog.setAcceptMode(d.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(d.Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QString::fromStdString(d.DefaultExt));
  if (!startName.empty()) dialog.selectFile(QString::fromStdString(startName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace

// ---------------------------------------------------------------------------------
// colour choice

TColorChoice::TColorChoice(const QString& hint, QWidget* parent) : QWidget(parent) {
  setToolTip(hint);
  setFixedSize(46, 22);
  setCursor(Qt::PointingHandCursor);
}

void TColorChoice::SetColor(TColor color) {
  if (color == FColor) return;
  FColor = color;
  update();
  emit changed();
}

void TColorChoice::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect().adjusted(1, 1, -1, -1), isEnabled() ? ToQColor(FColor) : palette().color(QPalette::Button));
  p.setPen(isEnabled() ? Qt::black : Qt::gray);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TColorChoice::mousePressEvent(QMouseEvent*) {
  const QColor c = QColorDialog::getColor(ToQColor(FColor), this, toolTip());
  if (c.isValid()) SetColor(FromQColor(c));
}

// ---------------------------------------------------------------------------------
// the window

TPageEditForm::TPageEditForm(const std::string& iniFile, QWidget* parent) : QDialog(parent), FIniFile(iniFile) {
  setObjectName("PageEditForm");
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  setWindowFlag(Qt::WindowMinimizeButtonHint, true);
  setMinimumSize(kMinWidth, kMinHeight);
  FileDialog = [this](const TPageFileDialog& d, const std::string& start) { return QtFileDialog(this, d, start); };

  // copies go through the system clipboard while the window is open
  FClipboard = std::make_shared<TQtPageClipboard>();
  FClipboard->Picture = [this] {
    QImage image;
    RenderPageToImage(FBox, image);
    return image;
  };
  FPreviousClipboard = SetPageClipboard(FClipboard);

  FRepaint = new QTimer(this);
  FRepaint->setSingleShot(true);
  FRepaint->setInterval(200);
  connect(FRepaint, &QTimer::timeout, this, [this] { FView->Changed(); });

  // 1. the placement
  const TMyIniFile ini(FIniFile);
  FLeft = ini.ReadInteger(kPageEditSection, "Left", 0);
  FTop = ini.ReadInteger(kPageEditSection, "Top", 0);
  FWidth = ini.ReadInteger(kPageEditSection, "Width", 0);
  FHeight = ini.ReadInteger(kPageEditSection, "Height", 0);
  FWindowState = ini.ReadInteger(kPageEditSection, "Window State", 2);
  FVisible = ini.ReadBool(kPageEditSection, " Visible", false);
  // 2. the controls at their values of creation
  BuildControls();
  BuildMenus();
  // 3. the settings
  ReadSettings();
  // 4. a page the window starts with is always a video page
  FBox.SetPageSize(psVideo);
  // 5. the view, the box's events, no change yet
  FBox.SetScrollPos(0, 0);
  FView->Relayout();
  FBox.OnClickFontItem = [this](TPageEditBox&, TFontItem* item) { LoadItem(item); };
  FBox.OnSavedDocument = [this](TPageEditBox&, const std::string& name) {
    if (OnPageSaved) OnPageSaved(*this, name);
  };
  FBox.OnEnterEditMode = [this](TPageEditBox&, int index) { EnterEditMode(index); };
  FBox.OnInvalidate = [this](TPageEditBox&) { PageChanged(); };
  FBox.OnModified = [this](TPageEditBox&) { RefreshMenus(); };
  FBox.OnFileDialog = [this](const TPageFileDialog& d) { return FileDialog ? FileDialog(d, std::string()) : ""; };
  FBox.SetModified(false);
  SetCaption("");
  RefreshMenus();
}

TPageEditForm::~TPageEditForm() {
  FBox.OnInvalidate = nullptr;
  FBox.OnModified = nullptr;
  FBox.OnClickFontItem = nullptr;
  FBox.OnSavedDocument = nullptr;
  FBox.OnEnterEditMode = nullptr;
  try {
    WriteSettings();
  } catch (const std::exception& e) {
    TraceF("[TPageEditForm.Destroy] settings not written: %s", e.what());
  }
  SetPageClipboard(FPreviousClipboard);
  // the view goes before the page it shows (children outlive the members)
  FRepaint->stop();
  delete FView;
  FView = nullptr;
}

void TPageEditForm::BuildControls() {
  auto tagged = [](QWidget* w, int tag) { w->setProperty("tag", tag); };
  auto spin = [this](int lo, int hi, int value, const char* hint) {
    auto* s = new QSpinBox(this);
    s->setRange(lo, hi);
    s->setSingleStep(1);
    s->setValue(value);
    s->setToolTip(QString::fromUtf8(hint));
    return s;
  };
  auto toggle = [this](const char* text, const char* hint, bool bold, bool italic, bool underline) {
    auto* b = new QToolButton(this);
    b->setCheckable(true);
    b->setText(QString::fromUtf8(text));
    QFont f = b->font();
    f.setBold(bold);
    f.setItalic(italic);
    f.setUnderline(underline);
    b->setFont(f);
    b->setToolTip(QString::fromUtf8(hint));
    return b;
  };

  fcbText = new QComboBox(this);
  fcbText->setObjectName("fcbText");
  fcbText->setEditable(true);
  fcbText->addItems(QFontDatabase::families());
  fcbText->setToolTip(QString::fromUtf8("Czionka"));
  fcbText->setCurrentText("Times New Roman");
  fcbText->setMinimumWidth(150);
  tagged(fcbText, ptFontName);
  mseText = spin(4, 800, 20, "Rozmiar czcionki");
  mseText->setObjectName("mseText");
  tagged(mseText, ptFontSize);
  edText = new QPlainTextEdit(this);
  edText->setObjectName("edText");
  edText->setLineWrapMode(QPlainTextEdit::NoWrap);
  edText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edText->setPlainText(QString::fromUtf8("Edytor Tekstu"));
  edText->setFixedHeight(64);
  edText->installEventFilter(this);
  edText->viewport()->installEventFilter(this);
  tagged(edText, ptText);
  ccbText = new TColorChoice(QString::fromUtf8("Kolor tekstu"), this);
  ccbText->setObjectName("ccbText");
  ccbText->SetColor(0x00FFFF);
  tagged(ccbText, ptFontColor);
  cbDrawText = new QCheckBox(QString::fromUtf8("Rysuj tekst"), this);
  cbDrawText->setObjectName("cbDrawText");
  cbDrawText->setChecked(true);
  tagged(cbDrawText, ptTextVisible);
  ccbShadow = new TColorChoice(QString::fromUtf8("Kolor cienia"), this);
  ccbShadow->setObjectName("ccbShadow");
  tagged(ccbShadow, ptShadowColor);
  mseShadowX = spin(-50, 50, 2, "Pozycja pozioma cienia");
  mseShadowX->setObjectName("mseShadowX");
  tagged(mseShadowX, ptShadowX);
  mseShadowY = spin(-50, 50, 2, "Pozycja pionowa cienia");
  mseShadowY->setObjectName("mseShadowY");
  tagged(mseShadowY, ptShadowY);
  cbDrawShadow = new QCheckBox(QString::fromUtf8("Rysuj cień"), this);
  cbDrawShadow->setObjectName("cbDrawShadow");
  tagged(cbDrawShadow, ptShadowed);
  ccbOutline = new TColorChoice(QString::fromUtf8("Kolor Obwódki"), this);
  ccbOutline->setObjectName("ccbOutline");
  tagged(ccbOutline, ptOutlineColor);
  mseOutline = spin(-20, 20, 0, "Grubość obwódki");
  mseOutline->setObjectName("mseOutline");
  tagged(mseOutline, ptOutlineWidth);
  cbDrawOutline = new QCheckBox(QString::fromUtf8("Rysuj obwódkę"), this);
  cbDrawOutline->setObjectName("cbDrawOutline");
  tagged(cbDrawOutline, ptOutlined);

  sbFontBold = toggle("B", "Czcionka pogrubiona", true, false, false);
  sbFontBold->setObjectName("sbFontBold");
  sbFontItalic = toggle("I", "Czcionka pochyła", false, true, false);
  sbFontItalic->setObjectName("sbFontItalic");
  sbFontUnderline = toggle("U", "Czcionka podkreślona", false, false, true);
  sbFontUnderline->setObjectName("sbFontUnderline");
  mseScale = new QSpinBox(this);
  mseScale->setObjectName("mseScale");
  mseScale->setRange(20, 300);
  mseScale->setSingleStep(10);
  mseScale->setValue(100);
  mseScale->setToolTip(QString::fromUtf8("Skala części edycyjnej strony [%]"));
  ccbBackground = new TColorChoice(QString::fromUtf8("Kolor tła strony"), this);
  ccbBackground->setObjectName("ccbBackground");

  // a change of any tagged control
  for (QSpinBox* s : {mseText, mseShadowX, mseShadowY, mseOutline})
    connect(s, &QSpinBox::valueChanged, this, [this, s] { ControlChanged(s->property("tag").toInt()); });
  for (QCheckBox* c : {cbDrawText, cbDrawShadow, cbDrawOutline})
    connect(c, &QCheckBox::toggled, this, [this, c] { ControlChanged(c->property("tag").toInt()); });
  for (TColorChoice* c : {ccbText, ccbShadow, ccbOutline})
    connect(c, &TColorChoice::changed, this, [this, c] { ControlChanged(c->property("tag").toInt()); });
  connect(fcbText, &QComboBox::currentTextChanged, this, [this] { ControlChanged(ptFontName); });
  connect(edText, &QPlainTextEdit::textChanged, this, [this] { ControlChanged(ptText); });
  connect(sbFontBold, &QToolButton::clicked, this, [this] { ToggleStyle(sbFontBold, nullptr); });
  connect(sbFontItalic, &QToolButton::clicked, this, [this] { ToggleStyle(sbFontItalic, nullptr); });
  connect(sbFontUnderline, &QToolButton::clicked, this, [this] { ToggleStyle(sbFontUnderline, nullptr); });
  connect(mseScale, &QSpinBox::valueChanged, this, [this](int v) {
    FBox.SetScale(v);
    FView->Relayout();
  });
  connect(ccbBackground, &TColorChoice::changed, this, [this] {
    if (FSettingBackground) return;
    FBox.SetPageColor(ccbBackground->Color());
    FView->Changed();
  });

  // the speed buttons
  auto speed = [this](const char* name, const char* hint, int icon, std::function<void()> action) {
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setToolTip(QString::fromUtf8(hint));
    b->setIcon(ButtonIcon(icon));
    b->setAutoRaise(true);
    connect(b, &QToolButton::clicked, this, std::move(action));
    return b;
  };
  auto align = [this](uint8_t h, uint8_t v) {
    return [this, h, v] {
      FBox.AlignSelected(h, v);
      FView->Changed();
    };
  };
  auto space = [this](bool horizontally) {
    return [this, horizontally] {
      FBox.SpaceSelected(horizontally);
      FView->Changed();
    };
  };
  QToolButton* buttons[] = {
      speed("sbAHLeft", "Wyrównaj elementy w lewo", 0, align(1, 0)),
      speed("sbAHCenter", "Wyrównaj elementy w osi poziomej", 1, align(2, 0)),
      speed("sbAHRight", "Wyrównaj elementy w prawo", 2, align(3, 0)),
      speed("sbAVTop", "Wyrównaj elementy w górę", 3, align(0, 1)),
      speed("sbAVCenter", "Wyrównaj elementy w osi pionowej", 4, align(0, 2)),
      speed("sbAVBottom", "Wyrównaj elementy w dół", 5, align(0, 3)),
      speed("sbSpaceHorz", "Wyrównaj odstępy w osi poziomej", 6, space(true)),
      speed("sbSpaceVert", "Wyrównaj odstępy w osi pionowej", 7, space(false)),
      speed("sbBringToFront", "Przesuń element na wierzch", 8, [this] { BringToFront(); }),
      speed("sbBringToBack", "Przesuń element pod spód", 9, [this] { SendToBack(); }),
      speed("spInsertText", "Wstaw nowy tekst", 10, [this] { InsertText(); }),
  };

  // the layout: the groups in a row, the buttons and the text field under them, the
  // page filling the rest
  // each group in two rows, so that the window stays narrow
  auto group = [this](const char* title, std::initializer_list<QWidget*> top, std::initializer_list<QWidget*> bottom) {
    auto* g = new QGroupBox(QString::fromUtf8(title), this);
    auto* l = new QVBoxLayout(g);
    l->setContentsMargins(6, 2, 6, 4);
    l->setSpacing(3);
    for (const auto& row : {top, bottom}) {
      auto* r = new QHBoxLayout;
      for (QWidget* w : row) r->addWidget(w);
      r->addStretch(1);
      l->addLayout(r);
    }
    return g;
  };
  auto* groups = new QHBoxLayout;
  groups->addWidget(group("&Napis", {fcbText}, {mseText, sbFontBold, sbFontItalic, sbFontUnderline}));
  groups->addWidget(group("Tek&st", {ccbText}, {cbDrawText}));
  groups->addWidget(group("Ci&eń", {ccbShadow, cbDrawShadow}, {mseShadowX, mseShadowY}));
  groups->addWidget(group("&Obwódka", {ccbOutline, cbDrawOutline}, {mseOutline}));
  groups->addWidget(group("T&ło", {ccbBackground}, {mseScale}));
  groups->addStretch(1);
  auto* tools = new QHBoxLayout;
  for (QToolButton* b : buttons) {
    tools->addWidget(b);
    if (b->objectName() == "sbAVBottom" || b->objectName() == "sbSpaceVert" || b->objectName() == "sbBringToBack")
      tools->addSpacing(10);
  }
  tools->addStretch(1);
  auto* textRow = new QHBoxLayout;
  auto* tl = new QVBoxLayout;
  tl->addLayout(tools);
  tl->addStretch(1);
  textRow->addLayout(tl);
  textRow->addWidget(edText, 1);

  FView = new TPageEditView(FBox, this);
  auto* all = new QVBoxLayout(this);
  all->setContentsMargins(4, 4, 4, 4);
  all->setSpacing(4);
  all->addLayout(groups);
  all->addLayout(textRow);
  all->addWidget(FView, 1);
}

void TPageEditForm::BuildMenus() {
  auto* bar = new QMenuBar(this);
  layout()->setMenuBar(bar);
  auto add = [this](QMenu* menu, const char* name, const char* text, QKeySequence key, std::function<void()> action) {
    QAction* a = menu->addAction(QString::fromUtf8(text));
    a->setObjectName(name);
    if (!key.isEmpty()) {
      a->setShortcut(key);
      a->setShortcutContext(Qt::WindowShortcut);
    }
    connect(a, &QAction::triggered, this, std::move(action));
    return a;
  };
  FFileMenu = bar->addMenu(QString::fromUtf8("&Plik"));
  add(FFileMenu, "miNew", "&Nowy", QKeySequence(Qt::CTRL | Qt::Key_N), [this] { NewPage(); });
  add(FFileMenu, "miOpen", "&Otwórz...", QKeySequence(Qt::CTRL | Qt::Key_O), [this] { OpenPage(); });
  add(FFileMenu, "miSave", "Zap&isz", QKeySequence(Qt::CTRL | Qt::Key_S), [this] { SavePage(); });
  add(FFileMenu, "miSaveAs", "Z&apisz jako...", QKeySequence(), [this] { SavePageAs(); });
  QMenu* exportMenu = FFileMenu->addMenu(QString::fromUtf8("&Eksporuj"));
  exportMenu->menuAction()->setObjectName("miExport");
  add(exportMenu, "miSaveAsPicture", "Zapisz na dysk jako o&brazek...", QKeySequence(), [this] { SaveAsPicture(); });
  add(exportMenu, "miInsertToResources", "&Wstaw do listy zasobów", QKeySequence(), [this] { InsertToResources(); });
  FRecentSeparator = FFileMenu->addSeparator();
  for (int i = 0; i < 6; ++i) {
    FRecent[i] = add(FFileMenu, "", "", QKeySequence(), [this, i] { OpenRecent(i); });
    FRecent[i]->setObjectName(QString("miRecent%1").arg(i));
    FRecent[i]->setVisible(false);
  }
  FRecentSeparator->setVisible(false);
  FFileMenu->addSeparator();
  add(FFileMenu, "miExit", "W&yjście z Edytora Napisów", QKeySequence(), [this] { close(); });

  FEditMenu = bar->addMenu(QString::fromUtf8("&Edycja"));
  add(FEditMenu, "miCopy", "&Kopiuj", QKeySequence(Qt::CTRL | Qt::Key_C), [this] { FBox.CopySelectedToClipboard(); });
  add(FEditMenu, "miPaste", "&Wklej", QKeySequence(Qt::CTRL | Qt::Key_V), [this] {
    FBox.PasteFromClipboard();
    FView->Changed();
  });
  add(FEditMenu, "miDelete", "Ka&suj", QKeySequence(Qt::CTRL | Qt::Key_Delete), [this] {
    FBox.DeleteSelected();
    FView->Changed();
  });
  add(FEditMenu, "miSelectAll", "Z&aznacz wszystkie", QKeySequence(Qt::CTRL | Qt::Key_A), [this] {
    FBox.SelectAll();
    FView->Changed();
  });

  QMenu* view = bar->addMenu(QString::fromUtf8("&Widok"));
  add(view, "miFullScreen", "&Pełny ekran", QKeySequence(Qt::Key_F5), [this] { ShowPreview(); });

  FCommandMenu = bar->addMenu(QString::fromUtf8("&Polecenia"));
  QMenu* font = FCommandMenu->addMenu(QString::fromUtf8("&Czcionka"));
  font->menuAction()->setObjectName("miFont");
  const char* styleNames[3] = {"miBold", "miItalic", "miUnderline"};
  const char* styleTexts[3] = {"Gruba", "Pochyła", "Podkreślona"};
  QToolButton* styleButtons[3] = {sbFontBold, sbFontItalic, sbFontUnderline};
  for (int i = 0; i < 3; ++i) {
    QToolButton* button = styleButtons[i];
    FStyleItems[i] = add(font, styleNames[i], styleTexts[i], QKeySequence(), [] {});
    FStyleItems[i]->setCheckable(true);
    QAction* item = FStyleItems[i];
    disconnect(item, &QAction::triggered, this, nullptr);
    connect(item, &QAction::triggered, this, [this, button, item] { ToggleStyle(button, item); });
  }
  add(FCommandMenu, "miBringToFront", "Na &wierzch", QKeySequence(Qt::CTRL | Qt::Key_I), [this] { BringToFront(); });
  add(FCommandMenu, "miSendToBack", "Pod &spód", QKeySequence(Qt::CTRL | Qt::Key_U), [this] { SendToBack(); });
  add(FCommandMenu, "miSpaceHorz", "Odstępy w pozio&mie", QKeySequence(Qt::CTRL | Qt::Key_H), [this] {
    FBox.SpaceSelected(true);
    FView->Changed();
  });
  // the key shown here belongs to "&Wklej", which comes first
  add(FCommandMenu, "miSpaceVert", "Odstępy w pio&nie\tCtrl+V", QKeySequence(), [this] {
    FBox.SpaceSelected(false);
    FView->Changed();
  });
  add(FCommandMenu, "miInsertText", "Wstaw &tekst", QKeySequence(Qt::CTRL | Qt::Key_T), [this] { InsertText(); });
  for (const auto& [name, text] : {std::pair{"miInsertPicture", "Wstaw &rysunek\tCtrl+B"},
                                   std::pair{"miEditBackground", "&Edycja tła\tCtrl+G"}}) {
    QAction* a = add(FCommandMenu, name, text, QKeySequence(), [] {});
    a->setVisible(false);
    a->setEnabled(false);
  }
  QMenu* sizes = FCommandMenu->addMenu(QString::fromUtf8("&Rozmiar strony"));
  sizes->menuAction()->setObjectName("miPageSize");
  sizes->menuAction()->setVisible(false);
  const char* sizeTexts[3] = {"720 x 576", "768 x 576", "512 x 512"};
  for (int i = 0; i < 3; ++i) {
    FSizeItems[i] = add(sizes, "", sizeTexts[i], QKeySequence(), [this, i] {
      FBox.SetPageSize(static_cast<TPageSize>(i));
      FView->Relayout();
      RefreshMenus();
    });
    FSizeItems[i]->setObjectName(QString("miPageSize%1").arg(i));
    FSizeItems[i]->setCheckable(true);
  }
  FTextMenu = bar->addMenu(QString::fromUtf8("&Tekst"));
  FTextMenu->menuAction()->setObjectName("miText");
  QMenu* help = bar->addMenu(QString::fromUtf8("&Pomoc"));
  help->menuAction()->setVisible(false);
  for (QMenu* m : {FFileMenu, FEditMenu, FCommandMenu, FTextMenu})
    connect(m, &QMenu::aboutToShow, this, [this] { RefreshMenus(); });
  // the window's keys work as the menus are: enabled as the page is now
  for (QAction* a : findChildren<QAction*>()) addAction(a);
}

QAction* TPageEditForm::MenuItem(const QString& name) const {
  for (QAction* a : findChildren<QAction*>())
    if (a->objectName() == name) return a;
  return nullptr;
}

std::string TPageEditForm::RecentFile(int index) const {
  if (index < 0 || index >= 6) return std::string();
  return FRecent[index]->data().toString().toStdString();
}

// ---------------------------------------------------------------------------------
// settings

void TPageEditForm::ReadSettings() {
  const TMyIniFile ini(FIniFile);
  TFontItem item;
  item.Selected = false;
  item.Text = "Edytor Strony";
  item.FontName = "Times New Roman";
  item.FontSize = 40;
  item.FontColor = 0x008080;
  item.TextVisible = true;
  item.Shadowed = true;
  item.Outlined = false;
  item.ShadowX = 2;
  item.ShadowY = 2;
  item.OutlineWidth = 1;
  item.ShadowColor = 0x00FFFF;
  item.OutlineColor = 0xFF0000;
  item.WordWrap = true;
  ReadFontItemSettings(ini, kPageEditSection, item);
  mseScale->setValue(ini.ReadInteger(kPageEditSection, "PageEdit BoxScale", 100));
  FBox.SetScale(mseScale->value());
  const int size = ini.ReadInteger(kPageEditSection, "PageEditBox PageSize", 0);
  FBox.SetPageSize(size >= 0 && size < kPageSizeCount ? static_cast<TPageSize>(size) : psVideo);
  FBox.SetPageColor(static_cast<TColor>(ini.ReadInteger(kPageEditSection, "PageEditBox PageColor", 0)));
  FBox.SetInitialDir(ini.ReadString(kPageEditSection, "PageEditBox InitialDir", UserFolder()));
  for (int i = 0; i < 6; ++i) {
    const std::string name = ini.ReadString(kPageEditSection, Format("RecentFile%d", i), "");
    FRecent[i]->setData(QString::fromStdString(name));
  }
  ShowRecent();
  LoadItem(&item);
  FSettingBackground = true;
  ccbBackground->SetColor(FBox.PageColor());
  FSettingBackground = false;
}

void TPageEditForm::WriteSettings() {
  TMyIniFile ini(FIniFile);
  WriteFontItemSettings(ini, kPageEditSection, ControlsItem());
  ini.WriteString(kPageEditSection, "PageEditBox FullFileName", FBox.FileName());
  ini.WriteInteger(kPageEditSection, "PageEdit BoxScale", FBox.Scale());
  ini.WriteInteger(kPageEditSection, "PageEditBox PageSize", static_cast<int>(FBox.PageSize()));
  ini.WriteInteger(kPageEditSection, "PageEditBox PageColor", static_cast<int>(FBox.PageColor()));
  ini.WriteString(kPageEditSection, "PageEditBox InitialDir", FBox.InitialDir());
  for (int i = 0; i < 6; ++i) ini.WriteString(kPageEditSection, Format("RecentFile%d", i), RecentFile(i));
  const QRect g = isMaximized() || isMinimized() ? normalGeometry() : geometry();
  ini.WriteInteger(kPageEditSection, "Left", g.left());
  ini.WriteInteger(kPageEditSection, "Top", g.top());
  ini.WriteInteger(kPageEditSection, "Width", g.width());
  ini.WriteInteger(kPageEditSection, "Height", g.height());
  ini.WriteInteger(kPageEditSection, "Window State", isMinimized() ? 1 : isMaximized() ? 2 : 0);
  ini.WriteBool(kPageEditSection, " Visible", isVisible());
}

// ---------------------------------------------------------------------------------
// controls and items

TFontItem TPageEditForm::ControlsItem() const {
  TFontItem item;
  ApplyControls(item);
  item.Selected = false;
  item.PosX = 0;
  item.PosY = 0;
  item.WordWrap = false;
  return item;
}

void TPageEditForm::ApplyControls(TFontItem& item) const {
  for (int tag = ptFontName; tag <= ptOutlined; ++tag) ApplyTag(item, tag);
  item.Bold = sbFontBold->isChecked();
  item.Italic = sbFontItalic->isChecked();
  item.Underline = sbFontUnderline->isChecked();
}

void TPageEditForm::ApplyTag(TFontItem& item, int tag) const {
  switch (tag) {
    case ptFontName: item.FontName = LimitUtf8(fcbText->currentText().toStdString(), kMaxItemTextBytes); break;
    case ptFontSize: item.FontSize = mseText->value(); break;
    case ptText: item.Text = FieldToItemText(edText->toPlainText()); break;
    case ptFontColor: item.FontColor = ccbText->Color(); break;
    case ptTextVisible: item.TextVisible = cbDrawText->isChecked(); break;
    case ptShadowColor: item.ShadowColor = ccbShadow->Color(); break;
    case ptShadowX: item.ShadowX = mseShadowX->value(); break;
    case ptShadowY: item.ShadowY = mseShadowY->value(); break;
    case ptShadowed: item.Shadowed = cbDrawShadow->isChecked(); break;
    case ptOutlineColor: item.OutlineColor = ccbOutline->Color(); break;
    case ptOutlineWidth: item.OutlineWidth = mseOutline->value(); break;
    case ptOutlined: item.Outlined = cbDrawOutline->isChecked(); break;
    default: break;
  }
}

void TPageEditForm::LoadItem(const TFontItem* item) {
  if (FLoading) return;
  FLoading = true;
  if (item) {
    fcbText->setCurrentText(QString::fromStdString(item->FontName));
    mseText->setValue(item->FontSize);
    const QString text = ItemTextToField(item->Text);
    if (edText->toPlainText() != text) edText->setPlainText(text);
    ccbText->SetColor(item->FontColor);
    ccbShadow->SetColor(item->ShadowColor);
    ccbOutline->SetColor(item->OutlineColor);
    mseShadowX->setValue(item->ShadowX);
    mseShadowY->setValue(item->ShadowY);
    mseOutline->setValue(item->OutlineWidth);
    sbFontBold->setChecked(item->Bold);
    sbFontItalic->setChecked(item->Italic);
    sbFontUnderline->setChecked(item->Underline);
    cbDrawText->setChecked(item->TextVisible);
    cbDrawShadow->setChecked(item->Shadowed);
    cbDrawOutline->setChecked(item->Outlined);
  }
  RefreshEnabling();
  FLoading = false;
}

void TPageEditForm::RefreshEnabling() {
  ccbText->setEnabled(cbDrawText->isChecked());
  for (QWidget* w : std::initializer_list<QWidget*>{ccbShadow, mseShadowX, mseShadowY})
    w->setEnabled(cbDrawShadow->isChecked());
  ccbOutline->setEnabled(cbDrawOutline->isChecked());
  mseOutline->setEnabled(cbDrawOutline->isChecked());
}

void TPageEditForm::ControlChanged(int tag) {
  if (FLoading || FApplying) return;
  FApplying = true;
  const std::vector<TFontItem*> selected = FBox.SelectedItems();
  bool changed = false;
  if (selected.size() <= 1) {
    // one item takes every control's value
    if (!selected.empty()) {
      ApplyControls(*selected[0]);
      changed = true;
    }
  } else {
    // several take only the changed field
    for (TFontItem* item : selected) ApplyTag(*item, tag);
    changed = true;
  }
  RefreshEnabling();
  if (changed) {
    FBox.SetModified(true);
    FRepaint->start();  // a later change within the delay starts it again
  }
  FApplying = false;
}

void TPageEditForm::ToggleStyle(QToolButton* button, QAction* menuItem) {
  // the menu item has flipped its check already: the button follows it
  if (menuItem) button->setChecked(menuItem->isChecked());
  const std::vector<TFontItem*> selected = FBox.SelectedItems();
  for (TFontItem* item : selected) {
    if (button == sbFontBold) item->Bold = button->isChecked();
    if (button == sbFontItalic) item->Italic = button->isChecked();
    if (button == sbFontUnderline) item->Underline = button->isChecked();
  }
  if (!selected.empty()) {
    FBox.SetModified(true);
    FView->Changed();
  }
}

void TPageEditForm::BringToFront() {
  if (FBox.SelectedCount() == 0) return;
  FBox.BringSelectedToFront();
  FView->Changed();
}

void TPageEditForm::SendToBack() {
  if (FBox.SelectedCount() == 0) return;
  FBox.SendSelectedToBack();
  FView->Changed();
}

void TPageEditForm::InsertText() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  TFontItem* item = FBox.AddFontItem(true, true);
  ApplyControls(*item);
  item->Selected = true;
  QApplication::restoreOverrideCursor();
  FBox.SetModified(true);
  FView->Changed();
}

void TPageEditForm::PageChanged() {
  if (FView) FView->Changed();
  RefreshMenus();
}

// ---------------------------------------------------------------------------------
// text editing on the page

void TPageEditForm::EnterEditMode(int index) {
  if (!edText->isEnabled()) return;
  edText->setFocus(Qt::OtherFocusReason);
  QTextCursor c = edText->textCursor();
  c.setPosition(IndexToFieldPos(edText->toPlainText(), index));
  edText->setTextCursor(c);
  FBox.SetCaretIndex(index);
  FView->SetCaretShown(true);
}

int TPageEditForm::EditIndexToItemIndex() const {
  return FieldPosToIndex(edText->toPlainText(), edText->textCursor().position());
}

bool TPageEditForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edText || watched == edText->viewport()) {
    switch (event->type()) {
      case QEvent::KeyPress:
        FBox.SetTextEditing(FBox.SelectedCount() > 0);
        break;
      case QEvent::KeyRelease:
      case QEvent::MouseButtonPress:
        // after the field has handled it: the caret where the field's is
        QTimer::singleShot(0, this, [this] {
          FBox.SetCaretIndex(EditIndexToItemIndex());
          FView->viewport()->update();
        });
        break;
      case QEvent::FocusIn:
        FView->SetCaretShown(true);
        break;
      case QEvent::FocusOut:
        FView->SetCaretShown(false);
        break;
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------
// menus

void TPageEditForm::RefreshMenus() {
  if (!FTextMenu) return;
  const bool any = FBox.SelectedCount() > 0;
  const bool items = FBox.ItemCount() > 0;
  MenuItem("miSave")->setEnabled(FBox.Modified());
  MenuItem("miSaveAs")->setEnabled(items);
  MenuItem("miSaveAsPicture")->setEnabled(items);
  MenuItem("miInsertToResources")->setEnabled(items && FBox.HasFileName());
  MenuItem("miCopy")->setEnabled(any);
  MenuItem("miPaste")->setEnabled(FBox.CanPaste());
  MenuItem("miDelete")->setEnabled(any);
  MenuItem("miSelectAll")->setEnabled(items);
  for (const char* name : {"miBringToFront", "miSendToBack", "miSpaceHorz", "miSpaceVert", "miFont"})
    MenuItem(name)->setEnabled(any);
  const std::vector<TFontItem*> selected = FBox.SelectedItems();
  for (int i = 0; i < 3; ++i) {
    FStyleItems[i]->setEnabled(any);
    bool all = any;
    for (const TFontItem* item : selected) all = all && (i == 0 ? item->Bold : i == 1 ? item->Italic : item->Underline);
    FStyleItems[i]->setChecked(all);
  }
  for (int i = 0; i < 3; ++i) FSizeItems[i]->setChecked(FBox.PageSize() == i);

  // one entry per item in list order, made as needed, surplus ones hidden
  QList<QAction*> entries = FTextMenu->actions();
  for (int i = 0; i < FBox.ItemCount(); ++i) {
    QAction* a;
    if (i < entries.size()) {
      a = entries[i];
    } else {
      a = FTextMenu->addAction(QString());
      a->setCheckable(true);
      connect(a, &QAction::triggered, this, [this, a] {
        TFontItem* item = FBox.Items(a->data().toInt());
        if (!item) return;
        FBox.SelectOnly(item);
        LoadItem(item);
        FView->Changed();
      });
    }
    const TFontItem* item = FBox.Items(i);
    QString text = ItemTextToField(item->Text).replace('\n', ' ');
    a->setText(text.replace('&', "&&"));
    a->setData(i);
    a->setChecked(item->Selected);
    a->setVisible(true);
  }
  for (int i = FBox.ItemCount(); i < entries.size(); ++i) entries[i]->setVisible(false);
}

// ---------------------------------------------------------------------------------
// files

void TPageEditForm::SetCaption(const std::string& name) {
  FCaptionName = name;
  setWindowTitle(CaptionFor(name));
}

void TPageEditForm::ShowRecent() {
  for (QAction* a : FRecent) {
    const QString name = a->data().toString();
    QString text = name;
    a->setText(text.replace('&', "&&"));
    a->setVisible(!name.isEmpty());
  }
  FRecentSeparator->setVisible(FRecent[0]->isVisible());
}

void TPageEditForm::AddRecent(const std::string& name) {
  if (name.empty() || name == "." || name == RecentFile(0)) return;
  int at = -1;
  for (int i = 0; i < 6; ++i)
    if (RecentFile(i) == name) at = i;
  if (at < 0) at = 5;  // the sixth drops out
  for (int i = at; i > 0; --i) FRecent[i]->setData(FRecent[i - 1]->data());
  FRecent[0]->setData(QString::fromStdString(name));
  ShowRecent();
}

void TPageEditForm::AfterOpen() {
  FView->Relayout();
  FSettingBackground = true;
  ccbBackground->SetColor(FBox.PageColor());
  FSettingBackground = false;
  RefreshEnabling();
  RefreshMenus();
}

void TPageEditForm::NewPage() {
  if (!FBox.AskToSave()) return;
  FBox.ClearItems();
  FBox.SetFileName(".");
  FBox.SetModified(false);
  AfterOpen();
  SetCaption("");
}

void TPageEditForm::OpenPage() {
  FBox.OpenFile();
  if (FBox.HasFileName()) AddRecent(FBox.FileName());
  SetCaption(FBox.HasFileName() ? FBox.FileName() : "");
  AfterOpen();
}

void TPageEditForm::OpenRecent(int index) {
  const std::string name = RecentFile(index);
  if (name.empty()) return;
  FBox.OpenFileNamed(name);
  AddRecent(name);
  SetCaption(FBox.HasFileName() ? FBox.FileName() : "");
  AfterOpen();
}

void TPageEditForm::OpenFileByName(const std::string& fileName) {
  FBox.OpenFileNamed(fileName);
  SetCaption(FBox.HasFileName() ? FBox.FileName() : "");
  AfterOpen();
}

void TPageEditForm::ShowPlaced() {
  if (FWindowState == 2) {
    setWindowState(Qt::WindowMaximized);
    return;
  }
  int left = FLeft, top = FTop;
  const int width = std::max(FWidth, kMinWidth), height = std::max(FHeight, kMinHeight);
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  if (left >= area.width() - 20) left = area.width() - 100;
  if (top >= area.height() - 20) top = area.height() - 100;
  setGeometry(left, top, width, height);
}

bool TPageEditForm::SavePage() {
  const bool saved = FBox.SaveFile();
  if (FBox.HasFileName()) AddRecent(FBox.FileName());
  SetCaption(FBox.HasFileName() ? FBox.FileName() : "");
  RefreshMenus();
  return saved;
}

bool TPageEditForm::SavePageAs() {
  const bool saved = FBox.SaveFileAs();
  if (FBox.HasFileName()) AddRecent(FBox.FileName());
  SetCaption(FBox.HasFileName() ? FBox.FileName() : "");
  RefreshMenus();
  return saved;
}

void TPageEditForm::SaveAsPicture() {
  TPageFileDialog d;
  d.Save = true;
  d.Title = "Zapisz na dysk jako obrazek";
  d.Filter = "Bitmapa (*.BMP)|*.BMP|JPEG (*.JPG)|*.JPG|GIF (*.GIF)|*.GIF";
  d.DefaultExt = "BMP";
  d.InitialDir = FBox.InitialDir();
  const std::string name = FileDialog ? FileDialog(d, "Obrazek") : std::string();
  if (name.empty()) return;
  TDIB picture;
  FBox.RenderToBitmap(picture);
  std::string kind = ExtractFileExt(name);
  kind = kind.size() > 1 ? kind.substr(1, 3) : std::string();
  for (char& c : kind) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  bool written = false;
  std::vector<uint8_t> bytes;
  if (kind == "BMP") {
    written = picture.SaveToFile(name);
  } else if (kind == "JPG") {
    written = SaveJpegToBytes(picture, 75, bytes) && WriteWholeFile(name, bytes.data(), bytes.size());
  } else if (kind == "GIF") {
    written = SaveGifToBytes(QuantizeTo8Bit(picture), bytes) && WriteWholeFile(name, bytes.data(), bytes.size());
  } else {
    ShowMessage(Format("Nie rozpoznano rozszerzenia pliku \"%s\"", name.c_str()), "Błąd zapisu pliku",
                TMsgKind::Error);
    return;
  }
  if (!written)
    ShowMessage(Format("Nie udało się zapisać obrazka \"%s\"", name.c_str()), "Błąd zapisu pliku", TMsgKind::Error);
}

void TPageEditForm::InsertToResources() {
  if (FBox.ItemCount() == 0 || !FBox.HasFileName()) return;
  if (OnInsertToResources) OnInsertToResources(*this, FBox.FileName());
}

void TPageEditForm::ShowPreview() {
  QImage picture;
  RenderPageToImage(FBox, picture);
  TPreviewPageForm preview(picture, this);
  preview.exec();
  FView->Changed();
}

// ---------------------------------------------------------------------------------
// closing

bool TPageEditForm::CanClose() {
  if (!FBox.Modified()) return true;
  return FBox.AskToSave();
}

void TPageEditForm::reject() {
  if (isVisible() && !CanClose()) return;
  QDialog::reject();
}

void TPageEditForm::closeEvent(QCloseEvent* event) {
  // QDialog's close runs reject(), which asks
  QDialog::closeEvent(event);
}

// ---------------------------------------------------------------------------------
// the preview

TPreviewPageForm::TPreviewPageForm(const QImage& picture, QWidget* parent) : QDialog(parent), FPicture(picture) {
  setObjectName("PreviewPageForm");
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  setWindowState(Qt::WindowMaximized);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::black);
  setPalette(pal);
  setAutoFillBackground(true);
}

void TPreviewPageForm::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  p.drawImage((width() - FPicture.width()) / 2, (height() - FPicture.height()) / 2, FPicture);
}

void TPreviewPageForm::mousePressEvent(QMouseEvent*) { accept(); }

void TPreviewPageForm::keyPressEvent(QKeyEvent*) { accept(); }

// ---------------------------------------------------------------------------------

void EditTitlePage(QWidget* parent, const std::string& fileName, const std::string& iniFile,
                   std::function<void(const std::string&)> onInsertToResources,
                   std::function<void(const std::string&)> onPageSaved) {
  TPageEditForm form(iniFile, parent);
  form.OnInsertToResources = [&](TPageEditForm&, const std::string& name) {
    if (onInsertToResources) onInsertToResources(name);
  };
  form.OnPageSaved = [&](TPageEditForm&, const std::string& name) {
    if (onPageSaved) onPageSaved(name);
  };
  if (!fileName.empty()) form.OpenFileByName(fileName);
  form.ShowPlaced();
  if (OnPageEditFormShown) OnPageEditFormShown(form);
  form.exec();
  form.OnInsertToResources = nullptr;
  form.OnPageSaved = nullptr;
}

}  // namespace movara
