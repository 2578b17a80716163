#pragma once
// The device (a render target surface with its depth buffer and render states) and the
// viewport (a rectangle of the device seen through a camera frame) of the renderer.
//
// Projection: the camera looks down +z with +y up; a point at camera distance d = z - z_cam
// lands on x_s = cx + F * (x - x_cam) / d, y_s = cy - F * (y - y_cam) / d, where (cx, cy)
// is the viewport's centre and F = max(width, height) / (2 * field); the default field
// 0.5 gives F = max(width, height). So with the camera at z = -2 the square [-1, 1] at
// z = 0 spans the viewport's larger side exactly, and the effects' view adjustment
// (y scaled by H / W when H < W, x by W / H otherwise) makes the picture fill a
// non-square view. Pixel centres lie on whole screen coordinates: x = -1 maps to the
// centre of the viewport's first column (see RmRaster.h).
//
// Depth: larger 1/d is nearer; a pixel is drawn when it is at least as near as what the
// buffer holds (less-or-equal in distance terms), so of two meshes at the same depth the
// one drawn later wins, and blends over the earlier one. Triangles closer than the front
// clipping distance (0.01 by default) are clipped; there is no back clipping plane.
//
// Culling: the front face of a triangle is the one whose vertices run clockwise on the
// screen (y down), e.g. top-left, top-right, bottom-left. Back faces are not drawn
// (CULLMODE CCW, the default).
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/render3d/RmResult.h"
#include "platform/render3d/RmScene.h"
#include "platform/render3d/RmSurface.h"

namespace movara {

// Render states the renderer knows, with the platform's numbers.
inline constexpr uint32_t D3DRENDERSTATE_TEXTUREPERSPECTIVE = 4;  // TRUE (default) / FALSE
inline constexpr uint32_t D3DRENDERSTATE_ZENABLE = 7;             // TRUE (default) / FALSE
inline constexpr uint32_t D3DRENDERSTATE_ZWRITEENABLE = 14;       // TRUE (default) / FALSE
inline constexpr uint32_t D3DRENDERSTATE_TEXTUREMAG = 17;         // D3DFILTER_*
inline constexpr uint32_t D3DRENDERSTATE_TEXTUREMIN = 18;         // D3DFILTER_*
inline constexpr uint32_t D3DRENDERSTATE_SRCBLEND = 19;           // D3DBLEND_ONE / SRCALPHA
inline constexpr uint32_t D3DRENDERSTATE_DESTBLEND = 20;          // D3DBLEND_ZERO / INVSRCALPHA
inline constexpr uint32_t D3DRENDERSTATE_TEXTUREMAPBLEND = 21;    // D3DTBLEND_*
inline constexpr uint32_t D3DRENDERSTATE_CULLMODE = 22;           // D3DCULL_*
inline constexpr uint32_t D3DRENDERSTATE_ZFUNC = 23;              // D3DCMP_*
inline constexpr uint32_t D3DRENDERSTATE_ALPHABLENDENABLE = 27;   // TRUE (default) / FALSE

inline constexpr uint32_t D3DBLEND_ZERO = 1;
inline constexpr uint32_t D3DBLEND_ONE = 2;
inline constexpr uint32_t D3DBLEND_SRCALPHA = 5;
inline constexpr uint32_t D3DBLEND_INVSRCALPHA = 6;

inline constexpr uint32_t D3DTBLEND_DECAL = 1;
inline constexpr uint32_t D3DTBLEND_MODULATE = 2;
inline constexpr uint32_t D3DTBLEND_MODULATEALPHA = 4;
inline constexpr uint32_t D3DTBLEND_COPY = 7;

inline constexpr uint32_t D3DFILTER_NEAREST = 1;
inline constexpr uint32_t D3DFILTER_LINEAR = 2;

inline constexpr uint32_t D3DCULL_NONE = 1;
inline constexpr uint32_t D3DCULL_CW = 2;
inline constexpr uint32_t D3DCULL_CCW = 3;

inline constexpr uint32_t D3DCMP_LESS = 2;
inline constexpr uint32_t D3DCMP_LESSEQUAL = 4;
inline constexpr uint32_t D3DCMP_ALWAYS = 8;

// Texture quality of the device (sets both filters): the "no filtering" and
// "linearisation" choices of the program.
inline constexpr uint32_t D3DRMTEXTURE_NEAREST = 0;
inline constexpr uint32_t D3DRMTEXTURE_LINEAR = 1;
inline constexpr uint32_t D3DRMTEXTURE_MIPNEAREST = 2;
inline constexpr uint32_t D3DRMTEXTURE_MIPLINEAR = 3;
inline constexpr uint32_t D3DRMTEXTURE_LINEARMIPNEAREST = 4;
inline constexpr uint32_t D3DRMTEXTURE_LINEARMIPLINEAR = 5;

class TRmViewport;

class TRmDevice {
 public:
  // Draws into target; the depth buffer gets its size. DDERR_INVALIDPARAMS for a missing
  // or empty surface. A target made again at another size needs a new device (rendering
  // reports DDERR_SURFACELOST until then).
  TRmResult Create(std::shared_ptr<TRmSurface> target);
  const std::shared_ptr<TRmSurface>& Target() const { return target_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // DDERR_INVALIDPARAMS for a state the renderer does not know, DDERR_UNSUPPORTED for a
  // value it cannot draw. Blending happens when ALPHABLENDENABLE is on (the default) and
  // the pair is SRCALPHA / INVSRCALPHA; ONE / ZERO (the default) writes opaque, and so
  // does a mixed pair. Filtering follows TEXTUREMAG (nothing is mip-mapped).
  TRmResult SetRenderState(uint32_t state, uint32_t value);
  TRmResult GetRenderState(uint32_t state, uint32_t* value) const;
  // D3DRMTEXTURE_*: the nearest-texel qualities pick D3DFILTER_NEAREST, the others
  // D3DFILTER_LINEAR. D3DRMERR_BADVALUE for other numbers.
  TRmResult SetTextureQuality(uint32_t quality);
  uint32_t TextureQuality() const { return textureQuality_; }

  // Presents what the viewports marked with ForceUpdate; the pixels are already in the
  // target, so this only forgets the marked rectangle.
  TRmResult Update();
  // Union of the rectangles marked since the last Update (empty when none).
  TRect UpdateRect() const { return dirty_; }

 private:
  friend class TRmViewport;
  bool Lost() const;

  std::shared_ptr<TRmSurface> target_;
  int width_ = 0, height_ = 0;
  std::vector<int32_t, TZeroedAllocator<int32_t>> depth_;  // top-down, width_ apart
  TRect dirty_;

  uint32_t perspective_ = 1;
  uint32_t zEnable_ = 1;
  uint32_t zWrite_ = 1;
  uint32_t filterMag_ = D3DFILTER_NEAREST;
  uint32_t filterMin_ = D3DFILTER_NEAREST;
  uint32_t srcBlend_ = D3DBLEND_ONE;
  uint32_t destBlend_ = D3DBLEND_ZERO;
  uint32_t textureBlend_ = D3DTBLEND_MODULATE;
  uint32_t cull_ = D3DCULL_CCW;
  uint32_t zFunc_ = D3DCMP_LESSEQUAL;
  uint32_t alphaBlendEnable_ = 1;
  uint32_t textureQuality_ = D3DRMTEXTURE_NEAREST;
};

class TRmViewport {
 public:
  // The rectangle (x, y, width, height) must lie inside the device: D3DRMERR_BADVALUE
  // otherwise, D3DRMERR_BADOBJECT for a missing device or camera.
  TRmResult Create(std::shared_ptr<TRmDevice> device, std::shared_ptr<TRmFrame> camera, int x,
                   int y, int width, int height);
  TRmResult SetCamera(std::shared_ptr<TRmFrame> camera);
  const std::shared_ptr<TRmFrame>& Camera() const { return camera_; }
  // Half the view's larger side at distance 1 from the camera (0.5 by default).
  TRmResult SetField(float field);
  // Front clipping distance (0.01 by default).
  TRmResult SetFront(float front);
  float Field() const { return field_; }
  float Front() const { return front_; }

  int X() const { return x_; }
  int Y() const { return y_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // Fills the viewport with the background of the camera's scene: its background image
  // stretched over the whole viewport (straight onto the target while the picture
  // changes from frame to frame, kept stretched once it stays), else its background
  // colour; empties the depth buffer there.
  TRmResult Clear();
  // Draws the meshes of frame and of all frames below it, in the order they were added.
  TRmResult Render(const TRmFrame* frame);
  // Marks a rectangle (x1, y1) - (x2, y2) of the device for the next Update;
  // D3DRMERR_BADVALUE for an inverted rectangle. The part outside the device is ignored.
  TRmResult ForceUpdate(int x1, int y1, int x2, int y2);

 private:
  // A group vertex in camera space, with its screen position when it has one.
  struct TXVertex {
    double X = 0, Y = 0, D = 0;  // camera space; D is the distance along +z
    int64_t SX = 0, SY = 0;      // snapped screen position, 1/256 pixel
    double Q = 0;                // 1 / D
    uint32_t Code = 0;           // outcode bits
  };
  void RenderFrame(const TRmFrame& frame, double ox, double oy, double oz);
  void RenderGroup(const TRmGroup& group, double ox, double oy, double oz);

  std::shared_ptr<TRmDevice> device_;
  std::shared_ptr<TRmFrame> camera_;
  int x_ = 0, y_ = 0, width_ = 0, height_ = 0;
  float field_ = 0.5f;
  float front_ = 0.01f;

  // Camera-space vertices of the group being drawn; grows to the largest group once.
  std::vector<TXVertex> xform_;
  // Camera position of the frame being drawn.
  double camX_ = 0, camY_ = 0, camZ_ = 0;

  // The scene background image stretched to the viewport (empty while the picture
  // changes), and the picture and version last drawn.
  TRmSurface backgroundCache_;
  std::weak_ptr<TRmSurface> backgroundSource_;
  uint64_t backgroundVersion_ = 0;
};

}  // namespace movara
