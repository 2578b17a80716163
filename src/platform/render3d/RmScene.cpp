#include "platform/render3d/RmScene.h"

#include <algorithm>
#include <new>

namespace movara {

// ---------------------------------------------------------------------------------------
// TRmMesh

TRmResult TRmMesh::AddGroup(int vertexCount, int faceCount, int verticesPerFace,
                            const int32_t* faceData, TRmGroupIndex* id) {
  if (vertexCount < 1 || vertexCount > kRmMaxGroupVertices || faceCount < 1 ||
      faceCount > kRmMaxGroupFaces || verticesPerFace < 3 ||
      verticesPerFace > kRmMaxVerticesPerFace || faceData == nullptr)
    return D3DRMERR_BADVALUE;
  const size_t indexCount = static_cast<size_t>(faceCount) * static_cast<size_t>(verticesPerFace);
  for (size_t i = 0; i < indexCount; ++i)
    if (faceData[i] < 0 || faceData[i] >= vertexCount) return D3DRMERR_BADVALUE;
  try {
    TRmGroup group;
    group.Vertices.resize(static_cast<size_t>(vertexCount));
    group.Triangles.reserve(static_cast<size_t>(faceCount) * static_cast<size_t>(verticesPerFace - 2) * 3);
    for (int f = 0; f < faceCount; ++f) {
      const int32_t* face = faceData + static_cast<size_t>(f) * static_cast<size_t>(verticesPerFace);
      // A fan from the face's first vertex keeps that vertex first in every triangle, so
      // flat shading still takes the face's first colour.
      for (int k = 1; k + 1 < verticesPerFace; ++k) {
        group.Triangles.push_back(face[0]);
        group.Triangles.push_back(face[k]);
        group.Triangles.push_back(face[k + 1]);
      }
    }
    groups_.push_back(std::move(group));
  } catch (const std::bad_alloc&) {
    return D3DRMERR_BADALLOC;
  }
  if (id) *id = static_cast<TRmGroupIndex>(groups_.size() - 1);
  return D3DRM_OK;
}

const TRmGroup* TRmMesh::Group(TRmGroupIndex id) const {
  if (id < 0 || id >= GroupCount()) return nullptr;
  return &groups_[static_cast<size_t>(id)];
}

TRmResult TRmMesh::SetVertices(TRmGroupIndex id, int first, int count, const TRmVertex* vertices) {
  if (id < 0 || id >= GroupCount()) return D3DRMERR_BADVALUE;
  TRmGroup& g = groups_[static_cast<size_t>(id)];
  if (vertices == nullptr || first < 0 || count < 0 ||
      static_cast<size_t>(first) + static_cast<size_t>(count) > g.Vertices.size())
    return D3DRMERR_BADVALUE;
  std::copy(vertices, vertices + count, g.Vertices.begin() + first);
  return D3DRM_OK;
}

TRmResult TRmMesh::GetVertices(TRmGroupIndex id, int first, int count, TRmVertex* vertices) const {
  if (id < 0 || id >= GroupCount()) return D3DRMERR_BADVALUE;
  const TRmGroup& g = groups_[static_cast<size_t>(id)];
  if (vertices == nullptr || first < 0 || count < 0 ||
      static_cast<size_t>(first) + static_cast<size_t>(count) > g.Vertices.size())
    return D3DRMERR_BADVALUE;
  std::copy(g.Vertices.begin() + first, g.Vertices.begin() + first + count, vertices);
  return D3DRM_OK;
}

TRmResult TRmMesh::SetGroupTexture(TRmGroupIndex id, std::shared_ptr<TRmTexture> texture) {
  if (id < 0 || id >= GroupCount()) return D3DRMERR_BADVALUE;
  groups_[static_cast<size_t>(id)].Texture = std::move(texture);
  return D3DRM_OK;
}

TRmResult TRmMesh::SetGroupQuality(TRmGroupIndex id, uint32_t quality) {
  if (id < 0 || id >= GroupCount()) return D3DRMERR_BADVALUE;
  if ((quality & D3DRMFILL_MASK) != D3DRMFILL_SOLID) return DDERR_UNSUPPORTED;
  if ((quality & D3DRMSHADE_MASK) > D3DRMSHADE_PHONG) return D3DRMERR_BADVALUE;
  groups_[static_cast<size_t>(id)].Quality = quality;
  return D3DRM_OK;
}

// ---------------------------------------------------------------------------------------
// TRmFrame

TRmFrame::~TRmFrame() {
  for (auto& c : children_) c->parent_ = nullptr;
}

const TRmFrame* TRmFrame::Scene() const {
  const TRmFrame* f = this;
  while (f->parent_) f = f->parent_;
  return f;
}

TRmResult TRmFrame::AddChild(const std::shared_ptr<TRmFrame>& child) {
  if (!child) return D3DRMERR_BADOBJECT;
  for (const TRmFrame* f = this; f; f = f->parent_)
    if (f == child.get()) return D3DRMERR_BADVALUE;
  if (child->parent_ == this) return D3DRM_OK;
  std::shared_ptr<TRmFrame> keep = child;  // the old parent may hold the last reference
  if (child->parent_) child->parent_->DeleteChild(child.get());
  children_.push_back(keep);
  keep->parent_ = this;
  return D3DRM_OK;
}

TRmResult TRmFrame::DeleteChild(const TRmFrame* child) {
  auto it = std::find_if(children_.begin(), children_.end(),
                         [&](const std::shared_ptr<TRmFrame>& c) { return c.get() == child; });
  if (it == children_.end()) return D3DRMERR_NOTFOUND;
  (*it)->parent_ = nullptr;
  children_.erase(it);
  return D3DRM_OK;
}

TRmResult TRmFrame::AddVisual(const std::shared_ptr<TRmMesh>& mesh) {
  if (!mesh) return D3DRMERR_BADOBJECT;
  visuals_.push_back(mesh);
  return D3DRM_OK;
}

TRmResult TRmFrame::DeleteVisual(const TRmMesh* mesh) {
  auto it = std::find_if(visuals_.begin(), visuals_.end(),
                         [&](const std::shared_ptr<TRmMesh>& v) { return v.get() == mesh; });
  if (it == visuals_.end()) return D3DRMERR_NOTFOUND;
  visuals_.erase(it);
  return D3DRM_OK;
}

TD3DVector TRmFrame::WorldPosition() const {
  TD3DVector p;
  for (const TRmFrame* f = this; f; f = f->parent_) {
    p.x += f->position_.x;
    p.y += f->position_.y;
    p.z += f->position_.z;
  }
  return p;
}

TRmResult TRmFrame::SetPosition(const TRmFrame* reference, float x, float y, float z) {
  if (reference == nullptr || reference == parent_) {
    position_ = TD3DVector{x, y, z};
    return D3DRM_OK;
  }
  const TD3DVector ref = reference->WorldPosition();
  const TD3DVector par = parent_ ? parent_->WorldPosition() : TD3DVector{};
  position_ = TD3DVector{ref.x + x - par.x, ref.y + y - par.y, ref.z + z - par.z};
  return D3DRM_OK;
}

TRmResult TRmFrame::GetPosition(const TRmFrame* reference, TD3DVector* position) const {
  if (!position) return D3DRMERR_BADVALUE;
  if (reference == nullptr || reference == parent_) {
    *position = position_;
    return D3DRM_OK;
  }
  const TD3DVector me = WorldPosition();
  const TD3DVector ref = reference->WorldPosition();
  *position = TD3DVector{me.x - ref.x, me.y - ref.y, me.z - ref.z};
  return D3DRM_OK;
}

TRmResult TRmFrame::SetSceneBackground(uint32_t colour) {
  background_ = colour & 0xFFFFFF;
  return D3DRM_OK;
}

TRmResult TRmFrame::SetSceneBackgroundImage(std::shared_ptr<TRmTexture> texture) {
  backgroundImage_ = std::move(texture);
  return D3DRM_OK;
}

}  // namespace movara
