#pragma once
// TFxSelectForm: the effect chooser "Wybór efektu przejścia", a modal dialog in which the
// user picks a transition from a tree of the catalogue's categories while a preview
// thread plays it on two sample pictures.
#include <QDialog>
#include <memory>

class QCheckBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QTimer;

namespace movara {

class TFx3d;
class TFxDrawWidget;
class TFxThread;

class TFxSelectForm : public QDialog {
  Q_OBJECT
 public:
  explicit TFxSelectForm(QWidget* parent = nullptr);
  ~TFxSelectForm() override;

  // Shows the chooser modally on effectRef (ReverseFlag for backwards) with the preview
  // running a cycle in period ms (3000 when negative). On OK effectRef becomes the
  // previewed effect, with ReverseFlag when it runs backwards, and the result is true;
  // otherwise effectRef stays. False at once without a preview thread.
  bool ChooseEffect(int32_t& effectRef, int period);

  TFxThread* Thread() const { return FThread.get(); }
  QTreeWidget* Tree() const { return tvFx; }
  QCheckBox* ReverseBox() const { return cbFxReverse; }
  TFxDrawWidget* DrawControl() const { return DXDraw; }
  // The Fx ID of the selected effect node; 0 when none or a category is selected.
  int32_t SelectedFxID() const;

  void reject() override;
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LoadFxTreeView();
  void SelectNode(int32_t fxId);
  void RefreshFromThread(bool selection);
  void OnTimer();
  void InitDXDraw();
  // target: the control the key went to.
  bool HandleKey(QObject* target, int key, Qt::KeyboardModifiers modifiers);

  QTreeWidget* tvFx = nullptr;
  TFxDrawWidget* DXDraw = nullptr;
  QCheckBox* cbFxReverse = nullptr;
  QPushButton* bbOK = nullptr;
  QPushButton* bbCancel = nullptr;
  QTimer* FTimer = nullptr;
  std::unique_ptr<TFxThread> FThread;
  TFx3d* FRequested = nullptr;  // the caller's effect, taken at the first show
  bool FUpdating = false;
  bool FFirstShow = true;
  int FSaveCounter = 0;
};

}  // namespace movara
