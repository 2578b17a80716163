#include "fx3d/FxScene.h"

#include <algorithm>

#include "base/Format.h"
#include "fx3d/DDUtils.h"
#include "fx3d/FxList.h"
#include "fx3d/SurfaceTransfer.h"

namespace movara {
namespace {

// Builds the message only on failure: a frame must not allocate.
void Check(TRmResult r, const char* where) {
  if (r != D3DRM_OK) CheckResultAt(r, where);
}

// Fills a texture surface with a picture stretched over it; reversed puts the picture's
// top row into the surface's last row, where v = 1 of the picture plane samples. A
// surface still black from the last time (blackVersion) is left alone: its version then
// stays, and the viewport keeps its stretched copy of the background.
void FillSurface(TRmSurface& surface, const TDIB* dib, bool reversed, uint64_t& blackVersion) {
  if (!dib || dib->Empty()) {
    if (surface.Version() == blackVersion) return;
    surface.Clear(0);
    blackVersion = surface.Version();
    return;
  }
  Check(surface.LoadFromDIB(*dib, Rect(0, 0, dib->Width(), dib->Height()), reversed), "DIB2Surf");
}

}  // namespace

TFxScene::TFxScene(int width, int height, int textureSize, bool bilinear)
    : width_(width), height_(height), textureSize_(textureSize) {
  target_ = std::make_shared<TRmSurface>();
  Check(target_->Create(width, height), "TFxScene.Create target");
  Check(rm_.CreateFrame(nullptr, &scene_), "TFxScene.CreateFrame scene");
  Check(rm_.CreateFrame(scene_.get(), &camera_), "TFxScene.CreateFrame camera");
  Check(camera_->SetPosition(scene_.get(), 0, 0, -2), "TFxScene.Camera.SetPosition");
  Check(rm_.CreateDeviceFromSurface(target_, &device_), "TFxScene.CreateDevice");
  Check(rm_.CreateViewport(device_, camera_, 0, 0, width, height, &viewport_),
        "TFxScene.CreateViewport");
  Check(device_->SetTextureQuality(bilinear ? D3DRMTEXTURE_LINEAR : D3DRMTEXTURE_NEAREST),
        "TFxScene.SetTextureQuality");
  Check(device_->SetRenderState(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_MODULATE),
        "TFxScene.TextureMapBlend");
  surfaceA_ = std::make_shared<TRmSurface>();
  surfaceB_ = std::make_shared<TRmSurface>();
  Check(surfaceA_->Create(textureSize, textureSize), "TFxScene.Create surface A");
  Check(surfaceB_->Create(textureSize, textureSize), "TFxScene.Create surface B");
  Check(rm_.CreateTextureFromSurface(surfaceA_, &textureA_), "TFxScene.Texture A");
  Check(rm_.CreateTextureFromSurface(surfaceB_, &textureB_), "TFxScene.Texture B");
  SetFxViewAdjustment(width, height);
}

TFxScene::~TFxScene() = default;

void TFxScene::SetPictures(const TDIB* a, const TDIB* b) {
  pictureA_ = a;
  pictureB_ = b;
  texturesStale_ = true;
}

void TFxScene::LoadTextures() {
  const bool backMesh = fx_ && fx_->Options().Contains(foBackMesh);
  FillSurface(*surfaceA_, pictureA_, true, blackA_);
  // with a back mesh picture B is a texture on the plane; otherwise it is the scene's
  // background image, which shows the surface's first row at the top
  FillSurface(*surfaceB_, pictureB_, backMesh, blackB_);
  backReversed_ = backMesh;
  texturesStale_ = false;
}

void TFxScene::BuildMeshes() {
  if (front_) meshFrame_->DeleteVisual(front_.get());
  if (back_) (opaqueBack_ ? backFrame_ : meshFrame_)->DeleteVisual(back_.get());
  if (meshFrame_) scene_->DeleteChild(meshFrame_.get());
  if (backFrame_) scene_->DeleteChild(backFrame_.get());
  front_.reset();
  back_.reset();
  meshFrame_.reset();
  backFrame_.reset();
  frontGroup_ = backGroup_ = -1;
  opaqueBack_ = false;
  if (!fx_) return;

  Check(rm_.CreateFrame(scene_.get(), &meshFrame_), "TFxScene.CreateFrame mesh");
  Check(rm_.CreateMesh(&front_), "TFxScene.CreateMesh front");
  Check(front_->AddGroup(fx_->VertexCount(), fx_->FaceCount(), fx_->FaceVertices(), FxFrontFaces,
                         &frontGroup_),
        "TFxScene.AddGroup front");
  Check(front_->SetVertices(frontGroup_, 0, fx_->VertexCount(), FxFrontVertices),
        "TFxScene.SetVertices front");
  Check(front_->SetGroupQuality(frontGroup_, D3DRMRENDER_UNLITFLAT), "TFxScene.Quality front");
  Check(front_->SetGroupTexture(frontGroup_, textureA_), "TFxScene.Texture front");
  const bool backMesh = fx_->Options().Contains(foBackMesh);
  const bool alpha = fx_->Options().Contains(foAlphaBlend);
  if (fx_->BackVertexCount() > 0) {
    Check(rm_.CreateMesh(&back_), "TFxScene.CreateMesh back");
    Check(back_->AddGroup(fx_->BackVertexCount(), fx_->BackFaceCount(), fx_->BackFaceVertices(),
                          FxBackFaces, &backGroup_),
          "TFxScene.AddGroup back");
    Check(back_->SetVertices(backGroup_, 0, fx_->BackVertexCount(), FxBackVertices),
          "TFxScene.SetVertices back");
    Check(back_->SetGroupQuality(backGroup_, D3DRMRENDER_UNLITFLAT), "TFxScene.Quality back");
    // the back mesh carries the second picture: row-reversed with foBackMesh; the wells'
    // own back lists negate tv to show the unreversed background picture upright
    Check(back_->SetGroupTexture(backGroup_, textureB_), "TFxScene.Texture back");
    // With foBackMesh nothing but the black view lies behind the back mesh: blended with
    // its own alpha it would darken the incoming picture (k * B under the front's
    // (1 - k) * A). So it is drawn opaque from a frame of its own, and the front mesh's
    // alpha alone mixes the two pictures. The wells blend theirs over the same picture
    // in the background, which keeps them bright.
    opaqueBack_ = backMesh && alpha;
    if (opaqueBack_) {
      Check(rm_.CreateFrame(scene_.get(), &backFrame_), "TFxScene.CreateFrame back");
      Check(backFrame_->AddVisual(back_), "TFxScene.AddVisual back");
    } else {
      Check(meshFrame_->AddVisual(back_), "TFxScene.AddVisual back");
    }
  }
  Check(meshFrame_->AddVisual(front_), "TFxScene.AddVisual front");
  Check(scene_->SetSceneBackgroundImage(backMesh ? nullptr : textureB_),
        "TFxScene.SetSceneBackgroundImage");
  Check(device_->SetRenderState(D3DRENDERSTATE_SRCBLEND, alpha ? D3DBLEND_SRCALPHA : D3DBLEND_ONE),
        "TFxScene.SrcBlend");
  Check(device_->SetRenderState(D3DRENDERSTATE_DESTBLEND,
                                alpha ? D3DBLEND_INVSRCALPHA : D3DBLEND_ZERO),
        "TFxScene.DestBlend");
  // a frame that failed between its two passes must not leave blending off
  Check(device_->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1), "TFxScene.BlendEnable");
}

void TFxScene::AdjustView() {
  SetFxViewAdjustment(width_, height_);
  FxOffsetX += shiftX_;
  FxOffsetY += shiftY_;
}

void TFxScene::SetEffect(TFx3d* fx) {
  fx_ = fx;
  if (fx_) {
    AdjustView();
    fx_->Execute(0);
    if (fx_->Options().Contains(foBackMesh) != backReversed_) texturesStale_ = true;
  }
  BuildMeshes();
}

void TFxScene::RenderStep(uint16_t step) {
  if (texturesStale_) LoadTextures();
  if (fx_) {
    AdjustView();
    fx_->Execute(step);
    Check(front_->SetVertices(frontGroup_, 0, fx_->VertexCount(), FxFrontVertices),
          "TFxScene.RenderStep front");
    if (back_)
      Check(back_->SetVertices(backGroup_, 0, fx_->BackVertexCount(), FxBackVertices),
            "TFxScene.RenderStep back");
  }
  Check(viewport_->ForceUpdate(0, 0, width_, height_), "TFxScene.ForceUpdate");
  Check(viewport_->Clear(), "TFxScene.Clear");
  if (opaqueBack_) {
    Check(device_->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0), "TFxScene.BlendOff");
    Check(viewport_->Render(backFrame_.get()), "TFxScene.Render back");
    Check(device_->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1), "TFxScene.BlendOn");
    Check(viewport_->Render(meshFrame_.get()), "TFxScene.Render front");
  } else {
    Check(viewport_->Render(scene_.get()), "TFxScene.Render");
  }
  Check(device_->Update(), "TFxScene.Update");
}

void TFxScene::ReadFrame(TDIB& out) const {
  if (out.Width() != width_ || out.Height() != height_ || out.BitCount() != 24)
    out.SetSize(width_, height_, 24);
  for (int y = 0; y < height_; ++y) {
    const TRmPixel* src = target_->Row(y);
    uint8_t* dst = out.ScanLine(y);
    for (int x = 0; x < width_; ++x) {
      TRmPixel p = src[x];
      dst[3 * x] = static_cast<uint8_t>(p);
      dst[3 * x + 1] = static_cast<uint8_t>(p >> 8);
      dst[3 * x + 2] = static_cast<uint8_t>(p >> 16);
    }
  }
}

void RenderTransitionStep(TFxScene& scene, int32_t fxId, int step, const TDIB& a, const TDIB& b) {
  TFx3d* fx = EnsureFxList().FindByID(fxId & ~ReverseFlag);
  if (!fx) throw EFx3d(Format("Unknown effect $%X", static_cast<unsigned>(fxId & ~ReverseFlag)));
  step = std::clamp(step, 0, 1000);
  const bool reverse = (fxId & ReverseFlag) != 0;
  if (reverse)
    scene.SetPictures(&b, &a);
  else
    scene.SetPictures(&a, &b);
  if (scene.Effect() != fx) scene.SetEffect(fx);
  scene.RenderStep(static_cast<uint16_t>(reverse ? 1000 - step : step));
}

}  // namespace movara
