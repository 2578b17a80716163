#include "fx3d/ui/Chain3DWindows.h"

#include <QMdiSubWindow>
#include <QPointer>

#include "fx3d/ui/FxMyRenderForm.h"
#include "fx3d/ui/FxSelectForm.h"
#include "persist/Config.h"

namespace movara {
namespace {

QPointer<TFxSelectForm> gChooser;
QPointer<TFxMyRenderForm> gPreview;

class TChooserWindow : public IFxChooserWindow {
 public:
  explicit TChooserWindow(QWidget* owner) : form_(new TFxSelectForm(owner)) { gChooser = form_; }
  ~TChooserWindow() override { delete form_.data(); }
  bool ChooseEffect(int32_t& effectRef, int period) override {
    return form_ ? form_->ChooseEffect(effectRef, period) : false;
  }

 private:
  QPointer<TFxSelectForm> form_;
};

class TPreviewWindow : public IFxPreviewWindow {
 public:
  TPreviewWindow(const std::function<QMdiSubWindow*(QWidget*)>& addMdiChild) {
    form_ = new TFxMyRenderForm(ReadRenderOptions(ConfigFileName()));
    gPreview = form_;
    if (addMdiChild) {
      frame_ = addMdiChild(form_);
      if (frame_) {
        // the frame stays when the window is closed: closing only hides it
        frame_->setAttribute(Qt::WA_DeleteOnClose, false);
        frame_->resize(frame_->sizeHint());
        frame_->hide();
      }
    }
  }
  ~TPreviewWindow() override {
    if (frame_)
      delete frame_.data();  // with the form in it
    else
      delete form_.data();
  }
  bool ShowPreview(bool show) override { return form_ ? form_->ShowPreview(show) : false; }
  TFxRenderThread* RenderThread() override { return form_ ? form_->RenderThread() : nullptr; }
  void SetOptions(const TRenderOptions& options) override {
    if (form_) form_->SetOptions(options);
  }

 private:
  QPointer<TFxMyRenderForm> form_;
  QPointer<QMdiSubWindow> frame_;
};

}  // namespace

void InstallChain3DWindows(QWidget* owner, std::function<QMdiSubWindow*(QWidget*)> addMdiChild) {
  QPointer<QWidget> parent = owner;
  SetChain3DWindowFactory({[parent] { return std::unique_ptr<IFxChooserWindow>(new TChooserWindow(parent)); },
                           [addMdiChild] { return std::unique_ptr<IFxPreviewWindow>(new TPreviewWindow(addMdiChild)); }});
}

TFxSelectForm* ChainChooserForm() { return gChooser; }
TFxMyRenderForm* ChainPreviewForm() { return gPreview; }

}  // namespace movara
