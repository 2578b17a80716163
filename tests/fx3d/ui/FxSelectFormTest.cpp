// The effect chooser driven as a user drives it (Qt Test, offscreen): the tree of the
// catalogue, ChooseEffect with OK, Cancel, the reverse box and the keys, the preview of
// the sample pictures that runs while the chooser is shown, and the preview window of
// the chain.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "base/AppPaths.h"
#include "fx3d/FxList.h"
#include "fx3d/ui/Chain3DWindows.h"
#include "fx3d/ui/FxDrawWidget.h"
#include "fx3d/ui/FxMyRenderForm.h"
#include "fx3d/ui/FxSelectForm.h"
#include "media/ResourceLists.h"
#include "script/Chain3D.h"
#include "script/RenderThread.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::TTempDir;

bool WaitUntil(const std::function<bool()>& f, int ms = 3000) {
  for (int waited = 0; waited < ms && !f(); waited += 10) QTest::qWait(10);
  return f();
}

// Runs ChooseEffect; the user's part runs inside the dialog once its preview plays.
bool Choose(TFxSelectForm& form, int32_t& ref, int period, const std::function<void()>& user) {
  const int before = form.DrawControl()->FramesShown();
  QTimer::singleShot(0, &form, [&] {
    EXPECT_TRUE(WaitUntil([&] { return form.isVisible() && form.DrawControl()->FramesShown() > before + 1; }));
    user();
    if (form.isVisible()) QTest::mouseClick(form.findChild<QPushButton*>("bbOK"), Qt::LeftButton);
  });
  return form.ChooseEffect(ref, period);
}

QString Selected(const TFxSelectForm& form) {
  QTreeWidgetItem* item = form.Tree()->currentItem();
  return item && item->isSelected() ? item->text(0) : QString();
}

TEST(FxSelectForm, TreeOfTheCatalogue) {
  CreateResourceLists();
  TFxSelectForm form;
  QTreeWidget* tree = form.Tree();
  ASSERT_EQ(tree->topLevelItemCount(), FxCategoryCount);
  int effects = 0;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* node = tree->topLevelItem(i);
    EXPECT_EQ(node->text(0).toStdString(), TFxList::CategoryName(i));
    for (int k = 0; k < node->childCount(); ++k) {
      const int32_t id = node->child(k)->data(0, Qt::UserRole).toInt();
      EXPECT_NE(id, StillFxID);
      EXPECT_EQ(TFxList::CategoryOf(id), i);
      ++effects;
    }
  }
  EXPECT_EQ(effects, EnsureFxList().Count() - 1);  // every effect but the still one
  // catalogue order within a category
  EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), QString::fromUtf8("Przesuwanie w prawo"));
  EXPECT_EQ(tree->topLevelItem(0)->child(7)->text(0), QString::fromUtf8("Przesuwanie na skos w lewo i w górę"));
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Wybór efektu przejścia"));
  EXPECT_EQ(form.ReverseBox()->text(), QString::fromUtf8("Odwrotne wykonywanie efektu"));
}

TEST(FxSelectForm, ChooseEffectCases) {
  CreateResourceLists();
  TFxSelectForm form;
  form.resize(700, 400);

  // a reversed push: its node and the box; OK unchanged hands it back
  int32_t ref = 0x20000130;
  QString node, category;
  bool boxed = false;
  EXPECT_TRUE(Choose(form, ref, -1, [&] {
    node = Selected(form);
    category = form.Tree()->currentItem() ? form.Tree()->currentItem()->parent()->text(0) : QString();
    boxed = form.ReverseBox()->isChecked();
    EXPECT_EQ(form.Thread()->Effect()->GetFxID(), 0x130);
    EXPECT_EQ(form.Thread()->Period(), 3000);
  }));
  EXPECT_EQ(node, QString::fromUtf8("Przepychanie w prawo"));
  EXPECT_EQ(category, QString::fromUtf8("Efekty płaskie - przepychanie"));
  EXPECT_TRUE(boxed);
  EXPECT_EQ(ref, 0x20000130);
  EXPECT_TRUE(form.Thread()->Suspended());  // OK pauses the preview

  // Cancel (Esc) keeps the caller's effect whatever was picked
  ref = 0x301;
  EXPECT_FALSE(Choose(form, ref, 1000, [&] {
    EXPECT_EQ(form.Thread()->Period(), 1000);
    form.Tree()->setCurrentItem(form.Tree()->topLevelItem(0)->child(2));
    EXPECT_EQ(form.Thread()->Effect()->GetFxID(), 0x103);
    QTest::keyClick(form.Tree(), Qt::Key_Escape);
  }));
  EXPECT_EQ(ref, 0x301);

  // the reverse box sets the high bit; a category node keeps the effect
  ref = 0x202;
  EXPECT_TRUE(Choose(form, ref, -1, [&] {
    form.Tree()->setCurrentItem(form.Tree()->topLevelItem(4));
    EXPECT_EQ(form.Thread()->Effect()->GetFxID(), 0x202);
    QTest::mouseClick(form.ReverseBox(), Qt::LeftButton, {}, QPoint(5, form.ReverseBox()->height() / 2));
    EXPECT_EQ(form.Thread()->Direction(), fdReverse);
  }));
  EXPECT_EQ(ref, 0x20000202);

  // keys move through the tree (from any control): two steps down from $101
  ref = 0x101;
  EXPECT_TRUE(Choose(form, ref, -1, [&] {
    QTest::keyClick(form.Tree(), Qt::Key_Down);
    QTest::keyClick(form.findChild<QPushButton*>("bbOK"), Qt::Key_Down);
    EXPECT_EQ(Selected(form), QString::fromUtf8("Przesuwanie w górę"));
  }));
  EXPECT_EQ(ref, 0x103);

  // an effect the catalogue lacks: no node, the first effect previewed
  ref = 0x361;
  EXPECT_TRUE(Choose(form, ref, -1, [&] { EXPECT_TRUE(Selected(form).isEmpty()); }));
  EXPECT_EQ(ref, 0x101);
}

TEST(FxSelectForm, PreviewKeys) {
  CreateResourceLists();
  TTempDir dir;
  TFxSelectForm form;
  int32_t ref = 0x202;
  EXPECT_TRUE(Choose(form, ref, -1, [&] {
    TFxThread* t = form.Thread();
    QWidget* tree = form.Tree();
    // the preview animates the sample pictures
    const QImage first = form.DrawControl()->FrameImage();
    EXPECT_TRUE(WaitUntil([&] { return form.DrawControl()->FrameImage() != first; }));
    EXPECT_EQ(form.DrawControl()->FrameImage().size(), form.DrawControl()->size());
    // Num + faster by 333 ms, Num - slower
    QTest::keyClick(tree, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(t->Period(), 2667);
    QTest::keyClick(tree, Qt::Key_Minus, Qt::KeypadModifier);
    QTest::keyClick(tree, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(t->Period(), 3333);
    t->SetPeriod(500);
    QTest::keyClick(tree, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(t->Period(), 500);
    // F3 pauses, F1 restarts at 0, F4 steps 40 ms of the period, F2 turns the box on
    QTest::keyClick(tree, Qt::Key_F3);
    EXPECT_TRUE(t->Suspended());
    QTest::keyClick(tree, Qt::Key_F1);
    EXPECT_EQ(t->PreviewProgress(), 0);
    QTest::keyClick(tree, Qt::Key_F4);
    EXPECT_EQ(t->PreviewProgress(), 80);
    QTest::keyClick(tree, Qt::Key_F2);
    EXPECT_TRUE(form.ReverseBox()->isChecked());
    QTest::keyClick(tree, Qt::Key_F3);
    EXPECT_FALSE(t->Suspended());
    // the overlay and its colour
    EXPECT_FALSE(t->ShowOverlay());
    QTest::keyClick(tree, Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(t->ShowOverlay());
    QTest::keyClick(tree, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(t->OverlayColor(), 0u);
    QTest::keyClick(tree, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(t->OverlayColor(), 0xFFFFFFu);
    // Ctrl+S saves the frame shown, numbered
    QTest::keyClick(tree, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(tree, Qt::Key_S, Qt::ControlModifier);
    TDIB saved;
    EXPECT_TRUE(saved.LoadFromFile(UserFolder() + "Surf00.Bmp"));
    EXPECT_EQ(saved.Width(), form.DrawControl()->width());
    EXPECT_TRUE(FileExists(UserFolder() + "Surf01.Bmp"));
  }));
  EXPECT_EQ(ref, 0x20000202);
}

// The chain's preview window as an MDI child: shown, drawn at its size, hidden by close.
TEST(FxMyRenderForm, PreviewWindowOfTheChain) {
  CreateResourceLists();
  TTempDir dir;
  QMdiArea area;
  area.resize(900, 700);
  area.show();
  InstallChain3DWindows(&area, [&](QWidget* w) { return area.addSubWindow(w); });
  ASSERT_TRUE(ShowFxRenderWindow(true));
  TFxMyRenderForm* form = ChainPreviewForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Podgląd"));
  LoadPreviewScript("*** Video1 ***\r\nCol $FF 1000\r\nCol $FF00 1000\r\nNop null\r\n", 0);
  EXPECT_TRUE(PlayPreview(1500, 0));
  const QImage shown = form->DrawControl()->FrameImage();
  EXPECT_EQ(shown.size(), form->DrawControl()->size());
  EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(0, 255, 0));
  // a new size renders at that size
  form->Frame()->resize(500, 400);
  QTest::qWait(20);
  EXPECT_TRUE(PlayPreview(200, 0));
  EXPECT_EQ(form->DrawControl()->FrameImage().size(), form->DrawControl()->size());
  EXPECT_EQ(form->DrawControl()->FrameImage().pixelColor(10, 10), QColor(255, 0, 0));
  // closing hides the window; it stays for the next preview
  form->Frame()->close();
  EXPECT_FALSE(form->Frame()->isVisible());
  EXPECT_EQ(ChainPreviewForm(), form);
  EXPECT_FALSE(PlayPreview(200, 0));  // its drawing is gone while hidden
  EXPECT_TRUE(ShowFxRenderWindow(true));
  EXPECT_TRUE(PlayPreview(200, 0));
  DoneChain3D();
  EXPECT_EQ(ChainPreviewForm(), nullptr);
  SetChain3DWindowFactory({});
}

}  // namespace
}  // namespace movara
