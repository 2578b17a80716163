#pragma once
// TFxScene: the renderer set up for the transition effects the way the render thread
// drives it. Two texture surfaces (A: the picture that leaves, B: the one that comes), a
// mesh frame with the front and back meshes of the current effect (a back mesh drawn
// opaque under a translucent front has a frame of its own), a camera at
// (0, 0, -2) and a viewport over a W x H target. Pictures are loaded once per picture or
// effect change; a frame costs Execute(step), two SetVertices and a render.
#include <cstdint>
#include <memory>

#include "base/Dib.h"
#include "fx3d/Fx3d.h"
#include "platform/render3d/Direct3DRM.h"

namespace movara {

class TFxScene {
 public:
  // textureSize: the side of the square texture surfaces (512, 1024 or 2048);
  // bilinear: "linearyzacja" filtering, else "bez filtrowania". Raises ED3DRM when the
  // renderer refuses a call.
  TFxScene(int width, int height, int textureSize = 512, bool bilinear = false);
  ~TFxScene();
  TFxScene(const TFxScene&) = delete;
  TFxScene& operator=(const TFxScene&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }

  // The two pictures of the transition (any depth); a null or empty picture shows black.
  void SetPictures(const TDIB* a, const TDIB* b);
  // Makes fx the current effect: Execute(0), the meshes rebuilt from the face buffers.
  void SetEffect(TFx3d* fx);
  TFx3d* Effect() const { return fx_; }
  // Moves the picture by (dx, dy) in picture-plane units (2 across the view), added to
  // the view adjustment of every step: the position correction of the options.
  void SetViewShift(float dx, float dy) {
    shiftX_ = dx;
    shiftY_ = dy;
  }
  // Renders one step (0 shows A, 1000 shows B) into the target surface.
  void RenderStep(uint16_t step);
  const TRmSurface& Target() const { return *target_; }
  // The target as a 24-bit picture of the scene's size.
  void ReadFrame(TDIB& out) const;

 private:
  void BuildMeshes();
  void LoadTextures();

  int width_, height_, textureSize_;
  TDirect3DRM rm_;
  std::shared_ptr<TRmSurface> target_;
  std::shared_ptr<TRmDevice> device_;
  std::shared_ptr<TRmFrame> scene_, camera_, meshFrame_;
  // The back mesh's frame when it is drawn opaque before the front (opaqueBack_).
  std::shared_ptr<TRmFrame> backFrame_;
  bool opaqueBack_ = false;
  std::shared_ptr<TRmViewport> viewport_;
  std::shared_ptr<TRmSurface> surfaceA_, surfaceB_;
  std::shared_ptr<TRmTexture> textureA_, textureB_;
  std::shared_ptr<TRmMesh> front_, back_;
  TRmGroupIndex frontGroup_ = -1, backGroup_ = -1;
  TFx3d* fx_ = nullptr;
  const TDIB* pictureA_ = nullptr;
  const TDIB* pictureB_ = nullptr;
  bool texturesStale_ = true;
  float shiftX_ = 0, shiftY_ = 0;
  void AdjustView();
  bool backReversed_ = false;  // how surface B was filled last
  // Versions of surfaces A and B right after they were cleared to black (none yet: ~0).
  uint64_t blackA_ = ~uint64_t(0), blackB_ = ~uint64_t(0);
};

// Renders one step of the effect fxId (ReverseFlag allowed) between pictures a and b as
// a film shows it: with the flag the motion runs backwards, i.e. the geometry of step
// 1000 - step with the two pictures swapped. Unknown ids raise EFx3d.
void RenderTransitionStep(TFxScene& scene, int32_t fxId, int step, const TDIB& a, const TDIB& b);

}  // namespace movara
