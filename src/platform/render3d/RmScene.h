#pragma once
// The retained-mode objects of a scene: textures made from surfaces, meshes made of
// vertex groups, and frames that place meshes (and the camera) in the scene.
//
// Objects are shared (std::shared_ptr) the way the platform's reference-counted objects
// are: a frame keeps its meshes and child frames alive, a mesh group its texture, a
// texture its surface.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/render3d/RmResult.h"
#include "platform/render3d/RmSurface.h"
#include "platform/render3d/RmVertex.h"

namespace movara {

struct TD3DVector {
  float x = 0, y = 0, z = 0;
};

// out = v * factor (out may be v itself).
inline void D3DRMVectorScale(TD3DVector* out, const TD3DVector* v, float factor) {
  out->x = v->x * factor;
  out->y = v->y * factor;
  out->z = v->z * factor;
}

// ---------------------------------------------------------------------------------------
// Texture: reads the pixels of its surface when drawing, so a picture loaded into the
// surface shows on the next frame.
//
// Texture coordinates address the surface the platform's way: u = 0 is the left edge of
// the surface's first column and u = 1 the right edge of its last; v = 0 is the TOP edge
// of Row(0) and v = 1 the BOTTOM edge of Row(Height() - 1). Texel centres lie at
// ((i + 0.5) / width, (j + 0.5) / height). So a vertex with tv = 1 (the top edge of the
// effects' picture plane) shows the surface's last row: whoever wants a picture upright
// on the plane loads it into the surface with its rows reversed. Outside 0..1 the edge
// texels repeat (clamp to edge). Any size from 1 x 1 up works; powers of two are not
// required.
class TRmTexture {
 public:
  explicit TRmTexture(std::shared_ptr<TRmSurface> surface) : surface_(std::move(surface)) {}

  const std::shared_ptr<TRmSurface>& Surface() const { return surface_; }
  // With decal transparency on, texels of the transparent colour (the nearest texel of
  // the sample point) leave their pixel untouched.
  TRmResult SetDecalTransparency(bool on) {
    transparency_ = on;
    return D3DRM_OK;
  }
  // A D3DCOLOR; its alpha byte is ignored.
  TRmResult SetDecalTransparentColor(uint32_t colour) {
    transparentColour_ = colour & 0xFFFFFF;
    return D3DRM_OK;
  }
  bool DecalTransparency() const { return transparency_; }
  TRmPixel DecalTransparentColor() const { return transparentColour_; }
  // Tells that the surface's pixels were written directly.
  TRmResult Changed() {
    if (surface_) surface_->Changed();
    return D3DRM_OK;
  }

 private:
  std::shared_ptr<TRmSurface> surface_;
  bool transparency_ = false;
  TRmPixel transparentColour_ = 0;
};

// ---------------------------------------------------------------------------------------
// Render quality of a group: shade mode | light mode | fill mode.
inline constexpr uint32_t D3DRMSHADE_FLAT = 0;
inline constexpr uint32_t D3DRMSHADE_GOURAUD = 1;
inline constexpr uint32_t D3DRMSHADE_PHONG = 2;
inline constexpr uint32_t D3DRMSHADE_MASK = 7;
inline constexpr uint32_t D3DRMLIGHT_OFF = 0;
inline constexpr uint32_t D3DRMLIGHT_ON = 8;
inline constexpr uint32_t D3DRMLIGHT_MASK = 0x18;
inline constexpr uint32_t D3DRMFILL_POINTS = 0;
inline constexpr uint32_t D3DRMFILL_WIREFRAME = 0x40;
inline constexpr uint32_t D3DRMFILL_SOLID = 0x80;
inline constexpr uint32_t D3DRMFILL_MASK = 0x1C0;
inline constexpr uint32_t D3DRMRENDER_UNLITFLAT = D3DRMFILL_SOLID | D3DRMSHADE_FLAT | D3DRMLIGHT_OFF;
inline constexpr uint32_t D3DRMRENDER_FLAT = D3DRMFILL_SOLID | D3DRMSHADE_FLAT | D3DRMLIGHT_ON;
inline constexpr uint32_t D3DRMRENDER_GOURAUD = D3DRMFILL_SOLID | D3DRMSHADE_GOURAUD | D3DRMLIGHT_ON;

using TRmGroupIndex = int32_t;

// Largest group the renderer accepts.
inline constexpr int kRmMaxGroupVertices = 65536;
inline constexpr int kRmMaxGroupFaces = 65536;
inline constexpr int kRmMaxVerticesPerFace = 64;

// One group of a mesh: vertices, triangles (faces of more than three vertices are kept
// as fans), texture and quality.
struct TRmGroup {
  std::vector<TRmVertex> Vertices;
  std::vector<int32_t> Triangles;  // three vertex indices per triangle
  std::shared_ptr<TRmTexture> Texture;
  uint32_t Quality = D3DRMRENDER_UNLITFLAT;
};

// Mesh: the scene is drawn unlit, so normals and lighting modes have no effect. With flat
// shading a triangle takes the colour of its face's first vertex; with Gouraud (or Phong)
// shading the vertex colours are interpolated across it. The colour (a D3DCOLOR)
// modulates the texture, and its alpha is the opacity when the device blends.
class TRmMesh {
 public:
  // Adds a group of vertexCount vertices (all zero until SetVertices) and faceCount faces
  // of verticesPerFace indices each, read from faceData. D3DRMERR_BADVALUE for counts
  // out of range, fewer than 3 vertices per face, no face data or an index outside the
  // vertices; nothing is added then.
  TRmResult AddGroup(int vertexCount, int faceCount, int verticesPerFace,
                     const int32_t* faceData, TRmGroupIndex* id);
  // Replaces vertices first .. first + count - 1 of a group.
  TRmResult SetVertices(TRmGroupIndex id, int first, int count, const TRmVertex* vertices);
  TRmResult GetVertices(TRmGroupIndex id, int first, int count, TRmVertex* vertices) const;
  // nullptr removes the texture (the group is drawn in its vertex colours).
  TRmResult SetGroupTexture(TRmGroupIndex id, std::shared_ptr<TRmTexture> texture);
  // Only solid fill is drawn: points and wireframe give DDERR_UNSUPPORTED.
  TRmResult SetGroupQuality(TRmGroupIndex id, uint32_t quality);

  int GroupCount() const { return static_cast<int>(groups_.size()); }
  const TRmGroup* Group(TRmGroupIndex id) const;

 private:
  std::vector<TRmGroup> groups_;
};

// ---------------------------------------------------------------------------------------
// Frame: a position in the scene (frames translate only; nothing in the program turns
// them), child frames and visuals. The root of a tree is the scene; it carries the
// background colour and the background image. The camera is a frame too: it looks down
// +z with +y up from its position.
class TRmFrame {
 public:
  TRmFrame() = default;
  ~TRmFrame();
  TRmFrame(const TRmFrame&) = delete;
  TRmFrame& operator=(const TRmFrame&) = delete;

  TRmFrame* Parent() const { return parent_; }
  // The root of the tree this frame is in.
  const TRmFrame* Scene() const;

  // Moves child (with its subtree) under this frame. D3DRMERR_BADOBJECT for nullptr,
  // D3DRMERR_BADVALUE when child is this frame or one of its ancestors.
  TRmResult AddChild(const std::shared_ptr<TRmFrame>& child);
  TRmResult DeleteChild(const TRmFrame* child);  // D3DRMERR_NOTFOUND when not a child
  const std::vector<std::shared_ptr<TRmFrame>>& Children() const { return children_; }

  // Visuals are drawn in the order they were added. D3DRMERR_BADOBJECT for nullptr.
  TRmResult AddVisual(const std::shared_ptr<TRmMesh>& mesh);
  TRmResult DeleteVisual(const TRmMesh* mesh);  // D3DRMERR_NOTFOUND when absent
  const std::vector<std::shared_ptr<TRmMesh>>& Visuals() const { return visuals_; }

  // Position relative to reference (nullptr: to the parent).
  TRmResult SetPosition(const TRmFrame* reference, float x, float y, float z);
  TRmResult GetPosition(const TRmFrame* reference, TD3DVector* position) const;
  // Position in the scene (the root's coordinates).
  TD3DVector WorldPosition() const;

  // Scene attributes, used when this frame is the root of the rendered tree.
  TRmResult SetSceneBackground(uint32_t colour);  // D3DCOLOR, alpha ignored
  // The texture's surface is stretched over the whole viewport, its Row(0) at the top;
  // nullptr removes the image.
  TRmResult SetSceneBackgroundImage(std::shared_ptr<TRmTexture> texture);
  TRmPixel SceneBackground() const { return background_; }
  const std::shared_ptr<TRmTexture>& SceneBackgroundImage() const { return backgroundImage_; }

 private:
  TRmFrame* parent_ = nullptr;
  std::vector<std::shared_ptr<TRmFrame>> children_;
  std::vector<std::shared_ptr<TRmMesh>> visuals_;
  TD3DVector position_;
  TRmPixel background_ = 0;
  std::shared_ptr<TRmTexture> backgroundImage_;
};

}  // namespace movara
