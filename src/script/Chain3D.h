#pragma once
// Chain3D: the one way from the rest of the program to the 3D renderer. It keeps, one
// each per process and made when first needed, the effect chooser window, the preview
// window (whose render thread is the program's one render thread) and the audio script
// player that plays a short piece of the film's mixed sound. The time line shows the
// frame under its cursor through it (with sound while Ctrl is held); the film command
// takes the render thread from it.
//
// The windows belong to the window layer, which installs how they are made
// (SetChain3DWindowFactory); without it there is no preview window: rendering reports
// false and no sound plays. Every entry point runs on the user-interface thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace movara {

class TAudioScriptPlayer;
class TFxRenderThread;

// The options of the renderer (the options window's "Application Options").
struct TRenderOptions {
  int TextureSize = 1024;   // 512, 1024 or 2048
  int Filter = 0;           // 0 no filtering, 1 linear
  double CameraScaleX = 0;  // position correction, pixels
  double CameraScaleY = 0;
};
// The four keys of "Application Options" of the INI file: "TextureSize" (radio index
// 0..2 = 512, 1024, 2048, default 1; any other value 512), "TextureQuality" (0 or 1,
// default 0; any other value 0), "CameraScaleX", "CameraScaleY" (default 0).
TRenderOptions ReadRenderOptions(const std::string& iniFile);

// The chooser window ("Wybór efektu przejścia").
class IFxChooserWindow {
 public:
  virtual ~IFxChooserWindow() = default;
  // Shows the chooser modally on effectRef (the reverse bit included) with the preview
  // running a cycle in period ms (3000 when negative); on acceptance effectRef is the
  // chosen effect and the result true.
  virtual bool ChooseEffect(int32_t& effectRef, int period) = 0;
};

// The preview window ("Podgląd").
class IFxPreviewWindow {
 public:
  virtual ~IFxPreviewWindow() = default;
  // Shows (and readies its drawing) or hides the window; whether it is now shown,
  // respectively hidden.
  virtual bool ShowPreview(bool show) = 0;
  virtual TFxRenderThread* RenderThread() = 0;
  virtual void SetOptions(const TRenderOptions& options) = 0;
};

struct TChain3DWindowFactory {
  std::function<std::unique_ptr<IFxChooserWindow>()> CreateChooser;
  std::function<std::unique_ptr<IFxPreviewWindow>()> CreatePreview;
};
// Installs how the windows are made (an empty factory removes it). Windows already made
// stay until DoneChain3D.
void SetChain3DWindowFactory(TChain3DWindowFactory factory);

// True: nothing to prepare.
bool InitChain3D();
// Frees the chooser, the preview window and the audio script player; harmless again.
void DoneChain3D();

// Hides the preview window and runs the chooser on fxId; on acceptance fxId is the
// chosen effect (reverse bit included) and the result true.
bool ChooseFx(int32_t& fxId, int period = -1);
// The catalogue's description of the effect (the reverse bit ignored).
std::string FxNameOf(int32_t fxId);
// A random effect of the catalogue (never the still effect $199).
int32_t GetRandomFxID();

// Shows the preview window (made when needed) or hides it; false with show false and
// no window.
bool ShowFxRenderWindow(bool show);
inline bool HideFxRenderWindow() { return ShowFxRenderWindow(false); }
void DestroyFxRenderWindow();
// Hands the options to the preview window when it exists.
void SetRenderOptions(const TRenderOptions& options);
// The preview window's render thread, the window made when needed (nullptr without a
// window layer); with load the script is loaded into it.
TFxRenderThread* GetRenderThread(bool load, const std::string& scriptText);

// Mode 0 or 2 loads the text into the render thread (an empty text in mode 0 clears
// its script); mode 1 or 2 loads it into the audio script player (made when needed).
// A script that does not parse leaves what came before it and is traced.
void LoadPreviewScript(const std::string& scriptText, int mode);
// Mode 0 renders the frame at timeMs in the preview window, 1 plays the sound there,
// 2 renders and, when that succeeded, plays the sound.
bool PlayPreview(int timeMs, int mode);

// The frame under the time cursor (the project window's slider): when the script was
// made again (reloaded) or differs from the one the preview holds, the preview window is
// shown and the script loaded for pictures and sound; then the frame at timeMs is
// rendered, with 150 ms of sound in mode 2 (Ctrl held), the picture alone in mode 0.
bool PreviewScriptAt(const std::string& scriptText, bool reloaded, int timeMs, int mode);

// The process's objects, for the window layer and tests (nullptr until made).
IFxChooserWindow* Chain3DChooser();
IFxPreviewWindow* Chain3DPreview();
TAudioScriptPlayer* Chain3DAudioPlayer();

}  // namespace movara
