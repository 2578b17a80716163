#include "script/Chain3D.h"

#include <cstdlib>

#include "base/MyIniFile.h"
#include "base/Trace.h"
#include "fx3d/FxList.h"
#include "script/AudioScriptTools.h"
#include "script/RenderThread.h"

namespace movara {
namespace {

// The process's chain. The windows go before the factory that made them.
struct TChain {
  // Windows still there at the end of the process outlived their toolkit: they are
  // left alone (DoneChain3D frees them while the toolkit runs).
  ~TChain() {
    (void)Chooser.release();
    (void)Preview.release();
  }
  TChain3DWindowFactory Factory;
  std::unique_ptr<IFxChooserWindow> Chooser;
  std::unique_ptr<IFxPreviewWindow> Preview;
  std::unique_ptr<TAudioScriptPlayer> Player;
  // The text the preview's render thread and sound player hold.
  std::string PreviewScript;
  bool PreviewLoaded = false;
};

TChain& Chain() {
  static TChain chain;
  return chain;
}

IFxPreviewWindow* EnsurePreview() {
  TChain& c = Chain();
  if (!c.Preview && c.Factory.CreatePreview) {
    c.Preview = c.Factory.CreatePreview();
    if (c.Preview) Trace("[Chain3D.ShowFxRenderWindow] FxRenderWindow has been Created.");
  }
  return c.Preview.get();
}

double ReadFloat(const TMyIniFile& ini, const char* key) {
  std::string text = ini.ReadString("Application Options", key, "0");
  for (char& ch : text)
    if (ch == ',') ch = '.';
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  return end == text.c_str() ? 0.0 : v;
}

}  // namespace

TRenderOptions ReadRenderOptions(const std::string& iniFile) {
  TRenderOptions o;
  const TMyIniFile ini(iniFile);
  switch (ini.ReadInteger("Application Options", "TextureSize", 1)) {
    case 1: o.TextureSize = 1024; break;
    case 2: o.TextureSize = 2048; break;
    default: o.TextureSize = 512; break;
  }
  o.Filter = ini.ReadInteger("Application Options", "TextureQuality", 0) == 1 ? 1 : 0;
  o.CameraScaleX = ReadFloat(ini, "CameraScaleX");
  o.CameraScaleY = ReadFloat(ini, "CameraScaleY");
  return o;
}

void SetChain3DWindowFactory(TChain3DWindowFactory factory) { Chain().Factory = std::move(factory); }

bool InitChain3D() { return true; }

void DoneChain3D() {
  Trace("[Chain3d.DoneChain3D] Begin");
  TChain& c = Chain();
  c.Chooser.reset();
  c.Preview.reset();
  c.Player.reset();
  c.PreviewScript.clear();
  c.PreviewLoaded = false;
  Trace("[Chain3d.DoneChain3D] End");
}

bool ChooseFx(int32_t& fxId, int period) {
  HideFxRenderWindow();
  TChain& c = Chain();
  if (!c.Chooser && c.Factory.CreateChooser) {
    Trace("[Chain3d.CreateFxWindow] Creating form...");
    c.Chooser = c.Factory.CreateChooser();
  }
  if (!c.Chooser) return false;
  int32_t id = fxId;
  if (!c.Chooser->ChooseEffect(id, period)) return false;
  fxId = id;
  return true;
}

std::string FxNameOf(int32_t fxId) {
  return EnsureFxList().DescriptionByID(fxId & ~static_cast<int32_t>(ReverseFlag));
}

int32_t GetRandomFxID() { return EnsureFxList().RandomFxID(0); }

bool ShowFxRenderWindow(bool show) {
  TChain& c = Chain();
  if (!show && !c.Preview) return false;
  IFxPreviewWindow* w = show ? EnsurePreview() : c.Preview.get();
  return w ? w->ShowPreview(show) : false;
}

void DestroyFxRenderWindow() {
  TChain& c = Chain();
  if (!c.Preview) return;
  c.Preview.reset();
  c.PreviewLoaded = false;
  Trace("[Chain3D.ShowFxRenderWindow] FxRenderWindow has been Destroyed.");
}

void SetRenderOptions(const TRenderOptions& options) {
  if (IFxPreviewWindow* w = Chain().Preview.get()) w->SetOptions(options);
}

TFxRenderThread* GetRenderThread(bool load, const std::string& scriptText) {
  IFxPreviewWindow* w = EnsurePreview();
  TFxRenderThread* thread = w ? w->RenderThread() : nullptr;
  if (thread && load) {
    Chain().PreviewLoaded = false;  // the sound player may hold another text now
    thread->LoadScript(scriptText);
  }
  return thread;
}

void LoadPreviewScript(const std::string& scriptText, int mode) {
  TChain& c = Chain();
  if (mode == 0 || mode == 2) {
    if (IFxPreviewWindow* w = EnsurePreview())
      if (TFxRenderThread* thread = w->RenderThread()) {
        try {
          thread->LoadScript(scriptText);
        } catch (const std::exception& e) {
          TraceF("[Chain3D.LoadPreviewScript] %s", e.what());
        }
      }
  }
  c.PreviewScript = scriptText;
  c.PreviewLoaded = mode == 2;
  if (mode == 1 || mode == 2) {
    if (!c.Player) c.Player = std::make_unique<TAudioScriptPlayer>(150);
    try {
      c.Player->Generate(scriptText);
    } catch (const std::exception& e) {
      TraceF("[Chain3D.LoadPreviewScript] %s", e.what());
    }
  }
}

bool PlayPreview(int timeMs, int mode) {
  TChain& c = Chain();
  bool ok = true;
  if (mode == 0 || mode == 2) {
    TFxRenderThread* thread = c.Preview ? c.Preview->RenderThread() : nullptr;
    if (!thread) return false;
    try {
      ok = thread->RenderFrame(timeMs) != rfNothing;
    } catch (const std::exception& e) {
      TraceF("[Chain3D.PlayPreview] %s", e.what());
      ok = false;
    }
    if (mode == 0 || !ok) return ok;
  }
  if (mode == 1 || mode == 2) {
    // no preview window: no sound either
    if (!c.Preview || !c.Player) return false;
    try {
      return c.Player->Play(timeMs);
    } catch (const std::exception& e) {
      TraceF("[Chain3D.PlayPreview] %s", e.what());
      return false;
    }
  }
  return ok;
}

bool PreviewScriptAt(const std::string& scriptText, bool reloaded, int timeMs, int mode) {
  TChain& c = Chain();
  if (reloaded || !c.PreviewLoaded || c.PreviewScript != scriptText) {
    ShowFxRenderWindow(true);
    LoadPreviewScript(scriptText, 2);
  }
  return PlayPreview(timeMs, mode);
}

IFxChooserWindow* Chain3DChooser() { return Chain().Chooser.get(); }
IFxPreviewWindow* Chain3DPreview() { return Chain().Preview.get(); }
TAudioScriptPlayer* Chain3DAudioPlayer() { return Chain().Player.get(); }

}  // namespace movara
