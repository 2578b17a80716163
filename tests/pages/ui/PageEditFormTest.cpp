// The page editor as a user drives it (offscreen): its settings with their defaults and
// round trip, the tagged controls on one and on several selected items, the style
// commands, ordering and the "&Tekst" menu, the recent files, saving as a picture,
// copy and paste through the system clipboard, the question on closing, and the
// full-screen preview.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

#include "base/AppPaths.h"
#include "base/Dib.h"
#include "base/GifFile.h"
#include "base/MyIniFile.h"
#include "base/UserMessages.h"
#include "pages/PageEditBox.h"
#include "pages/ui/PageEditForm.h"
#include "pages/ui/PageEditView.h"
#include "pages/ui/QtPageClipboard.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

class PageEditFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    messages_ = std::make_shared<TRecordingMessages>();
    previous_ = SetUserMessages(messages_);
  }
  void TearDown() override { SetUserMessages(previous_); }

  std::unique_ptr<TPageEditForm> Open() {
    auto f = std::make_unique<TPageEditForm>(ini_);
    // the file dialogs answer from the queue
    f->FileDialog = [this](const TPageFileDialog&, const std::string&) {
      if (answers_.empty()) return std::string();
      std::string a = answers_.front();
      answers_.erase(answers_.begin());
      return a;
    };
    f->resize(900, 700);
    f->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    return f;
  }
  // A page file with one item of this text on a page of this colour.
  std::string MakePage(const std::string& name, const std::string& text, TColor color) {
    TPageEditBox box;
    box.SetPageColor(color);
    box.AddFontItem(true, false)->Text = text;
    box.SetFileName(dir_.File(name));
    EXPECT_TRUE(box.SaveFile());
    return dir_.File(name);
  }

  test::TTempDir dir_;
  std::string ini_ = dir_.File("Movara.Ini");
  std::vector<std::string> answers_;
  std::shared_ptr<TRecordingMessages> messages_;
  std::shared_ptr<IUserMessages> previous_;
};

TEST_F(PageEditFormTest, SettingsDefaultsAndRoundTrip) {
  {
    auto f = Open();
    // a first start: the default item in the controls, an empty black video page
    EXPECT_EQ(f->windowTitle(), QString::fromUtf8("Edytor Tekstu - []"));
    EXPECT_EQ(f->minimumSize(), QSize(603, 440));
    EXPECT_EQ(f->fcbText->currentText(), "Times New Roman");
    EXPECT_EQ(f->mseText->value(), 40);
    EXPECT_EQ(f->edText->toPlainText(), "Edytor Strony");
    EXPECT_EQ(f->ccbText->Color(), TColor(0x008080));
    EXPECT_TRUE(f->cbDrawShadow->isChecked());
    EXPECT_TRUE(f->ccbShadow->isEnabled());
    EXPECT_FALSE(f->cbDrawOutline->isChecked());
    EXPECT_FALSE(f->mseOutline->isEnabled());
    EXPECT_EQ(f->ccbOutline->Color(), TColor(0xFF0000));
    EXPECT_EQ(f->Box().PageSize(), psVideo);
    EXPECT_EQ(f->Box().PageColor(), TColor(0));
    EXPECT_EQ(f->Box().ItemCount(), 0);
    EXPECT_FALSE(f->Box().Modified());
    EXPECT_EQ(f->mseScale->value(), 100);
    EXPECT_FALSE(f->MenuItem("miRecent0")->isVisible());
    // the user's choices
    f->mseText->setValue(33);
    f->edText->setPlainText("Ala\nma kota");
    f->sbFontBold->click();
    f->cbDrawOutline->setChecked(true);
    f->mseScale->setValue(150);
    f->ccbBackground->SetColor(0x112233);
    EXPECT_EQ(f->Box().Scale(), 150);
    EXPECT_EQ(f->Box().PageColor(), TColor(0x112233));
  }
  TMyIniFile ini(ini_);
  EXPECT_EQ(ini.ReadInteger(kPageEditSection, "FontItemFont Size", 0), 33);
  EXPECT_EQ(ini.ReadString(kPageEditSection, "FontItem Text", ""), "Ala\\nma kota");
  EXPECT_TRUE(ini.ReadBool(kPageEditSection, "FontItem Bold", false));
  EXPECT_FALSE(ini.ReadBool(kPageEditSection, "FontItem WordWrap", true));
  EXPECT_EQ(ini.ReadInteger(kPageEditSection, "PageEdit BoxScale", 0), 150);
  EXPECT_EQ(ini.ReadInteger(kPageEditSection, "PageEditBox PageColor", 0), 0x112233);
  EXPECT_EQ(ini.ReadString(kPageEditSection, "PageEditBox FullFileName", ""), ".");
  // a page the window starts with is a video page, whatever size was stored
  ini.WriteInteger(kPageEditSection, "PageEditBox PageSize", 2);
  {
    auto f = Open();
    EXPECT_EQ(f->mseText->value(), 33);
    EXPECT_EQ(f->edText->toPlainText(), "Ala\nma kota");
    EXPECT_TRUE(f->sbFontBold->isChecked());
    EXPECT_TRUE(f->cbDrawOutline->isChecked());
    EXPECT_TRUE(f->mseOutline->isEnabled());
    EXPECT_EQ(f->mseScale->value(), 150);
    EXPECT_EQ(f->Box().Scale(), 150);
    EXPECT_EQ(f->Box().PageColor(), TColor(0x112233));
    EXPECT_EQ(f->ccbBackground->Color(), TColor(0x112233));
    EXPECT_EQ(f->Box().PageSize(), psVideo);
  }
  EXPECT_EQ(ini.ReadInteger(kPageEditSection, "Window State", -1), 0);
  // a stored normal placement off the screen's right edge comes back onto it, and
  // never smaller than 603 x 440
  ini.WriteInteger(kPageEditSection, "Left", 100000);
  ini.WriteInteger(kPageEditSection, "Top", 30);
  ini.WriteInteger(kPageEditSection, "Width", 300);
  ini.WriteInteger(kPageEditSection, "Height", 200);
  TPageEditForm placed(ini_);
  placed.ShowPlaced();
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(placed.geometry().left(), screen.width() - 100);
  EXPECT_EQ(placed.geometry().top(), 30);
  EXPECT_EQ(placed.geometry().size(), QSize(603, 440));
}

TEST_F(PageEditFormTest, ControlsEditTheSelectedItemsByTag) {
  auto f = Open();
  TPageEditBox& box = f->Box();
  // three items, each from the controls of its moment
  for (const char* text : {"jeden", "dwa", "trzy"}) {
    box.DeselectAll();  // else the selected item takes the new text
    f->edText->setPlainText(text);
    f->InsertText();
  }
  ASSERT_EQ(box.ItemCount(), 3);
  EXPECT_TRUE(box.Modified());
  EXPECT_EQ(box.SelectedCount(), 1);  // the new one alone
  EXPECT_EQ(box.Items(2)->Text, "trzy");
  EXPECT_EQ(box.Items(2)->FontSize, 40);
  EXPECT_TRUE(box.Items(2)->Shadowed);

  // three selected: the size changes alone in all three
  box.SelectAll();
  f->mseText->setValue(55);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(box.Items(i)->FontSize, 55);
    EXPECT_EQ(box.Items(i)->Text, i == 0 ? "jeden" : i == 1 ? "dwa" : "trzy");
  }
  // two selected: the outline colour of both
  box.SelectOnly(box.Items(0));
  box.Items(1)->Selected = true;
  f->ccbOutline->SetColor(0x0000AA);
  EXPECT_EQ(box.Items(0)->OutlineColor, TColor(0x0000AA));
  EXPECT_EQ(box.Items(1)->OutlineColor, TColor(0x0000AA));
  EXPECT_NE(box.Items(2)->OutlineColor, TColor(0x0000AA));
  EXPECT_EQ(box.Items(0)->Text, "jeden");
  // one selected: every field takes the controls' values
  box.SelectOnly(box.Items(1));
  f->mseShadowX->setValue(-7);
  EXPECT_EQ(box.Items(1)->ShadowX, -7);
  EXPECT_EQ(box.Items(1)->Text, "trzy");  // the field still holds the last text
  EXPECT_EQ(box.Items(0)->ShadowX, 2);

  // the "&Tekst" menu: one entry per item, the selected one checked; an entry selects
  // its item alone and loads it into the controls
  f->RefreshMenus();
  const QList<QAction*> entries = f->TextMenu()->actions();
  ASSERT_GE(entries.size(), 3);
  EXPECT_EQ(entries[0]->text(), "jeden");
  EXPECT_TRUE(entries[1]->isChecked());
  EXPECT_FALSE(entries[0]->isChecked());
  entries[0]->trigger();
  EXPECT_EQ(box.SelectedItems(), std::vector<TFontItem*>{box.Items(0)});
  EXPECT_EQ(f->edText->toPlainText(), "jeden");
  EXPECT_EQ(f->mseText->value(), 55);
  EXPECT_FALSE(box.Items(0)->Bold);

  // the style from the menu: the item and the button follow the menu's check
  f->RefreshMenus();
  f->MenuItem("miBold")->trigger();
  EXPECT_TRUE(box.Items(0)->Bold);
  EXPECT_TRUE(f->sbFontBold->isChecked());
  f->RefreshMenus();
  EXPECT_TRUE(f->MenuItem("miBold")->isChecked());
  // to the front: the selection goes last in the list
  TFontItem* first = box.Items(0);
  f->MenuItem("miBringToFront")->trigger();
  EXPECT_EQ(box.Items(2), first);
  f->MenuItem("miSendToBack")->trigger();
  EXPECT_EQ(box.Items(0), first);
  // nothing selected: the commands that need a selection are off, insertion is on
  box.DeselectAll();
  f->RefreshMenus();
  EXPECT_FALSE(f->MenuItem("miCopy")->isEnabled());
  EXPECT_FALSE(f->MenuItem("miSpaceVert")->isEnabled());
  EXPECT_TRUE(f->MenuItem("miInsertText")->isEnabled());
  EXPECT_EQ(f->MenuItem("miSpaceVert")->text(), QString::fromUtf8("Odstępy w pio&nie\tCtrl+V"));
  EXPECT_TRUE(f->MenuItem("miSpaceVert")->shortcut().isEmpty());
  EXPECT_EQ(f->MenuItem("miPaste")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));

  // a click on the items (all at one place) selects the topmost alone and loads it into the controls;
  // a drag moves it by the pointer's way in page pixels (scale 100)
  box.DeselectAll();
  f->View()->viewport()->repaint();
  QWidget* page = f->View()->viewport();
  const TRect frame = box.Items(2)->Frame;
  const QPoint at((frame.Left + frame.Right) / 2, (frame.Top + frame.Bottom) / 2);
  QTest::mouseClick(page, Qt::LeftButton, {}, at);
  EXPECT_EQ(box.SelectedItems(), std::vector<TFontItem*>{box.Items(2)});
  EXPECT_EQ(f->edText->toPlainText(), QString::fromStdString(box.Items(2)->Text));
  const int x0 = box.Items(2)->PosX, y0 = box.Items(2)->PosY;
  QTest::mousePress(page, Qt::LeftButton, {}, at);
  for (int k = 1; k <= 4; ++k) QTest::mouseMove(page, at + QPoint(10 * k, 5 * k));
  QTest::mouseRelease(page, Qt::LeftButton, {}, at + QPoint(40, 20));
  EXPECT_EQ(box.Items(2)->PosX, x0 + 40);
  EXPECT_EQ(box.Items(2)->PosY, y0 + 20);
  // a click on the selected item starts editing its text: the field takes the focus
  // with its caret at the character under the pointer (the text's start here), and the
  // page draws the caret
  f->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));
  page->repaint();
  const TRect moved = box.Items(2)->Frame;
  QTest::mouseClick(page, Qt::LeftButton, {}, QPoint(moved.Left + 1, (moved.Top + moved.Bottom) / 2));
  EXPECT_TRUE(f->edText->hasFocus());
  EXPECT_EQ(f->edText->textCursor().position(), 0);
  EXPECT_EQ(box.CaretIndex(), 0);
  EXPECT_TRUE(f->View()->CaretShown());
  QTest::mouseClick(page, Qt::LeftButton, {}, QPoint(moved.Right - 2, (moved.Top + moved.Bottom) / 2));
  EXPECT_EQ(f->edText->textCursor().position(), 4);  // after "trzy"

  // the page redraws a little after the change
  const QImage before = f->View()->PageImage();
  box.SelectOnly(box.Items(0));
  f->ccbText->SetColor(0xFF00FF);
  QTest::qWait(400);
  EXPECT_NE(f->View()->PageImage(), before);
  box.SetModified(false);
}

TEST_F(PageEditFormTest, FilesRecentListPicturesClipboardAndClosing) {
  std::vector<std::string> pages;
  for (int i = 0; i < 7; ++i) pages.push_back(MakePage("p" + std::to_string(i) + ".pte", "Strona " + std::to_string(i), 0x000080));
  {
    auto f = Open();
    for (int i = 0; i < 7; ++i) {
      answers_ = {pages[i]};
      f->OpenPage();
      EXPECT_EQ(f->windowTitle(), QString::fromStdString("Edytor Tekstu - [" + pages[i] + "]"));
    }
    // the seventh dropped the oldest
    for (int i = 0; i < 6; ++i) EXPECT_EQ(f->RecentFile(i), pages[6 - i]);
    EXPECT_TRUE(f->MenuItem("miRecent5")->isVisible());
    // the third entry goes to the top, none dropped
    f->OpenRecent(2);
    EXPECT_EQ(f->Box().Items(0)->Text, "Strona 4");
    const std::vector<std::string> expect = {pages[4], pages[6], pages[5], pages[3], pages[2], pages[1]};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(f->RecentFile(i), expect[i]);
    EXPECT_EQ(f->Box().PageColor(), TColor(0x000080));
    EXPECT_EQ(f->ccbBackground->Color(), TColor(0x000080));
    f->RefreshMenus();
    EXPECT_TRUE(f->MenuItem("miInsertToResources")->isEnabled());
    std::string inserted;
    f->OnInsertToResources = [&](TPageEditForm&, const std::string& name) { inserted = name; };
    f->MenuItem("miInsertToResources")->trigger();
    EXPECT_EQ(inserted, pages[4]);

    // the page as a picture: an unknown extension says so and writes nothing
    answers_ = {dir_.File("page.png")};
    f->SaveAsPicture();
    ASSERT_EQ(messages_->Texts().size(), 1u);
    EXPECT_EQ(messages_->Texts()[0], "Nie rozpoznano rozszerzenia pliku \"" + dir_.File("page.png") + "\"");
    EXPECT_EQ(messages_->Requests()[0].Caption, QString::fromUtf8("Błąd zapisu pliku").toStdString());
    EXPECT_FALSE(FileExists(dir_.File("page.png")));
    answers_ = {dir_.File("page.bmp"), dir_.File("page.gif")};
    f->SaveAsPicture();
    f->SaveAsPicture();
    TDIB bmp, gif;
    ASSERT_TRUE(bmp.LoadFromFile(dir_.File("page.bmp")));
    EXPECT_EQ(bmp.Width(), 720);
    EXPECT_EQ(bmp.Pixel(2, 2), TColor(0x000080));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(dir_.File("page.gif"), bytes));
    ASSERT_TRUE(LoadGifFromBytes(bytes.data(), bytes.size(), gif));
    EXPECT_EQ(gif.Height(), 576);

    // copy through the system clipboard, under the private type and as a picture
    f->Box().SelectAll();
    f->MenuItem("miCopy")->trigger();
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    EXPECT_TRUE(mime->hasFormat("application/x-movara-page-editor-fontitem"));
    EXPECT_EQ(mime->data("application/x-movara-page-editor-fontitem").size(), 4 + 8272);
    EXPECT_TRUE(mime->hasImage());
    f->RefreshMenus();
    EXPECT_TRUE(f->MenuItem("miPaste")->isEnabled());
    f->MenuItem("miPaste")->trigger();
    ASSERT_EQ(f->Box().ItemCount(), 2);
    EXPECT_EQ(f->Box().Items(1)->Text, "Strona 4");
    EXPECT_TRUE(f->Box().Modified());

    // closing a changed page asks: Cancel keeps the window, No closes it
    messages_->Clear();
    messages_->QueueAnswer(TMsgAnswer::Cancel);
    f->close();
    EXPECT_TRUE(f->isVisible());
    ASSERT_EQ(messages_->Texts().size(), 1u);
    EXPECT_EQ(messages_->Texts()[0], kAskSavePageText);
    messages_->QueueAnswer(TMsgAnswer::No);
    f->close();
    EXPECT_FALSE(f->isVisible());
  }
  // the list is kept for the next window
  auto f = Open();
  EXPECT_EQ(f->RecentFile(0), pages[4]);
  EXPECT_EQ(f->MenuItem("miRecent0")->text(), QString::fromStdString(pages[4]));
}

TEST_F(PageEditFormTest, EditTitlePageSavesAndTheFullScreenPreview) {
  const std::string page = MakePage("title.pte", "Tytuł", 0x004000);
  std::vector<std::string> saved;
  bool previewed = false;
  OnPageEditFormShown = [&](TPageEditForm& f) {
    QTimer::singleShot(0, &f, [&] {
      EXPECT_EQ(f.windowTitle(), QString::fromStdString("Edytor Tekstu - [" + page + "]"));
      EXPECT_TRUE(f.isMaximized());
      // F5: the page full screen, centred on black; a key closes it
      QTimer::singleShot(0, [&] {
        auto* preview = qobject_cast<TPreviewPageForm*>(QApplication::activeModalWidget());
        ASSERT_NE(preview, nullptr);
        previewed = preview->Picture().size() == QSize(720, 576);
        QTest::keyClick(preview, Qt::Key_Space);
      });
      f.ShowPreview();
      f.Box().SelectAll();
      f.edText->setPlainText("Nowy tytuł");
      ASSERT_TRUE(f.SavePage());
      f.close();
    });
  };
  EditTitlePage(nullptr, page, ini_, nullptr, [&](const std::string& name) { saved.push_back(name); });
  OnPageEditFormShown = nullptr;
  EXPECT_TRUE(previewed);
  EXPECT_EQ(saved, std::vector<std::string>{page});
  TPageEditBox box;
  ASSERT_TRUE(box.OpenFileNamed(page));
  ASSERT_EQ(box.ItemCount(), 1);
  EXPECT_EQ(box.Items(0)->Text, "Nowy tytuł");
  EXPECT_EQ(box.PageColor(), TColor(0x004000));
}

}  // namespace
}  // namespace movara
