#include "platform/render3d/RmDevice.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "platform/render3d/RmRaster.h"

namespace movara {
namespace {
// The whole-number shift that brings three texture coordinates into 0..1 when they lie
// within one unit interval; 0 when they are inside already or span more than one.
double WrapShift(float a, float b, float c) {
  const double lo = std::min({a, b, c}), hi = std::max({a, b, c});
  if (lo >= 0.0 && hi <= 1.0) return 0.0;
  if (!(hi - lo <= 1.0)) return 0.0;
  const double k = std::floor(lo);
  return hi <= k + 1.0 ? -k : 0.0;
}
}  // namespace

namespace {

// Outcode bits of a camera-space vertex.
constexpr uint32_t kNear = 1;           // closer than the front clipping distance
constexpr uint32_t kLeft = 2;           // outside the viewport (by more than a pixel)
constexpr uint32_t kRight = 4;
constexpr uint32_t kTop = 8;
constexpr uint32_t kBottom = 16;
constexpr uint32_t kGuardLeft = 32;     // outside the guard band: triangles get cut
constexpr uint32_t kGuardRight = 64;
constexpr uint32_t kGuardTop = 128;
constexpr uint32_t kGuardBottom = 256;
constexpr uint32_t kInvalid = 512;      // not a finite position
constexpr uint32_t kRejectMask = kNear | kLeft | kRight | kTop | kBottom;
constexpr uint32_t kClipMask = kNear | kGuardLeft | kGuardRight | kGuardTop | kGuardBottom;

// How far beyond the viewport a triangle may reach before it is cut geometrically; the
// scissor of the rasteriser takes care of everything nearer. Keeps snapped coordinates
// small enough for exact 64-bit edge arithmetic.
constexpr double kGuardBand = 4096.0;

// A polygon vertex while cutting: camera space, texel coordinates, colour.
struct TClipVertex {
  double X, Y, D, U, V;
  double C[4];
};
constexpr int kMaxPolygon = 3 + 5 + 1;

TClipVertex Lerp(const TClipVertex& in, const TClipVertex& out, double t) {
  TClipVertex r;
  r.X = in.X + (out.X - in.X) * t;
  r.Y = in.Y + (out.Y - in.Y) * t;
  r.D = in.D + (out.D - in.D) * t;
  r.U = in.U + (out.U - in.U) * t;
  r.V = in.V + (out.V - in.V) * t;
  for (int k = 0; k < 4; ++k) r.C[k] = in.C[k] + (out.C[k] - in.C[k]) * t;
  return r;
}

// Twice the signed screen area of a triangle (positive: clockwise on the screen).
template <class T>
int64_t Area(const T& a, const T& b, const T& c) {
  return (b.SX - a.SX) * (c.SY - a.SY) - (c.SX - a.SX) * (b.SY - a.SY);
}

inline int64_t Snap(double screen) {
  return static_cast<int64_t>(std::llrint(screen * rm::kSubPixel));
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TRmDevice

TRmResult TRmDevice::Create(std::shared_ptr<TRmSurface> target) {
  if (!target || !target->Valid()) return DDERR_INVALIDPARAMS;
  try {
    // new zeroed memory, mapped when a view first clears it
    decltype(depth_)().swap(depth_);
    depth_.resize(static_cast<size_t>(target->Width()) * static_cast<size_t>(target->Height()));
  } catch (const std::bad_alloc&) {
    target_.reset();
    width_ = height_ = 0;
    return DDERR_OUTOFMEMORY;
  }
  target_ = std::move(target);
  width_ = target_->Width();
  height_ = target_->Height();
  dirty_ = TRect{};
  return D3DRM_OK;
}

bool TRmDevice::Lost() const {
  return !target_ || !target_->Valid() || target_->Width() != width_ ||
         target_->Height() != height_;
}

TRmResult TRmDevice::SetRenderState(uint32_t state, uint32_t value) {
  auto boolean = [&](uint32_t& field) -> TRmResult {
    field = value != 0 ? 1 : 0;
    return D3DRM_OK;
  };
  switch (state) {
    case D3DRENDERSTATE_TEXTUREPERSPECTIVE: return boolean(perspective_);
    case D3DRENDERSTATE_ZENABLE: return boolean(zEnable_);
    case D3DRENDERSTATE_ZWRITEENABLE: return boolean(zWrite_);
    case D3DRENDERSTATE_ALPHABLENDENABLE: return boolean(alphaBlendEnable_);
    case D3DRENDERSTATE_TEXTUREMAG:
    case D3DRENDERSTATE_TEXTUREMIN:
      if (value != D3DFILTER_NEAREST && value != D3DFILTER_LINEAR) return DDERR_UNSUPPORTED;
      (state == D3DRENDERSTATE_TEXTUREMAG ? filterMag_ : filterMin_) = value;
      return D3DRM_OK;
    case D3DRENDERSTATE_SRCBLEND:
      if (value != D3DBLEND_ONE && value != D3DBLEND_SRCALPHA) return DDERR_UNSUPPORTED;
      srcBlend_ = value;
      return D3DRM_OK;
    case D3DRENDERSTATE_DESTBLEND:
      if (value != D3DBLEND_ZERO && value != D3DBLEND_INVSRCALPHA) return DDERR_UNSUPPORTED;
      destBlend_ = value;
      return D3DRM_OK;
    case D3DRENDERSTATE_TEXTUREMAPBLEND:
      if (value != D3DTBLEND_DECAL && value != D3DTBLEND_MODULATE &&
          value != D3DTBLEND_MODULATEALPHA && value != D3DTBLEND_COPY)
        return DDERR_UNSUPPORTED;
      textureBlend_ = value;
      return D3DRM_OK;
    case D3DRENDERSTATE_CULLMODE:
      if (value != D3DCULL_NONE && value != D3DCULL_CW && value != D3DCULL_CCW)
        return DDERR_UNSUPPORTED;
      cull_ = value;
      return D3DRM_OK;
    case D3DRENDERSTATE_ZFUNC:
      if (value != D3DCMP_LESS && value != D3DCMP_LESSEQUAL && value != D3DCMP_ALWAYS)
        return DDERR_UNSUPPORTED;
      zFunc_ = value;
      return D3DRM_OK;
    default:
      return DDERR_INVALIDPARAMS;
  }
}

TRmResult TRmDevice::GetRenderState(uint32_t state, uint32_t* value) const {
  if (!value) return DDERR_INVALIDPARAMS;
  switch (state) {
    case D3DRENDERSTATE_TEXTUREPERSPECTIVE: *value = perspective_; break;
    case D3DRENDERSTATE_ZENABLE: *value = zEnable_; break;
    case D3DRENDERSTATE_ZWRITEENABLE: *value = zWrite_; break;
    case D3DRENDERSTATE_ALPHABLENDENABLE: *value = alphaBlendEnable_; break;
    case D3DRENDERSTATE_TEXTUREMAG: *value = filterMag_; break;
    case D3DRENDERSTATE_TEXTUREMIN: *value = filterMin_; break;
    case D3DRENDERSTATE_SRCBLEND: *value = srcBlend_; break;
    case D3DRENDERSTATE_DESTBLEND: *value = destBlend_; break;
    case D3DRENDERSTATE_TEXTUREMAPBLEND: *value = textureBlend_; break;
    case D3DRENDERSTATE_CULLMODE: *value = cull_; break;
    case D3DRENDERSTATE_ZFUNC: *value = zFunc_; break;
    default: return DDERR_INVALIDPARAMS;
  }
  return D3DRM_OK;
}

TRmResult TRmDevice::SetTextureQuality(uint32_t quality) {
  uint32_t filter;
  switch (quality) {
    case D3DRMTEXTURE_NEAREST:
    case D3DRMTEXTURE_MIPNEAREST:
    case D3DRMTEXTURE_MIPLINEAR: filter = D3DFILTER_NEAREST; break;
    case D3DRMTEXTURE_LINEAR:
    case D3DRMTEXTURE_LINEARMIPNEAREST:
    case D3DRMTEXTURE_LINEARMIPLINEAR: filter = D3DFILTER_LINEAR; break;
    default: return D3DRMERR_BADVALUE;
  }
  textureQuality_ = quality;
  filterMag_ = filterMin_ = filter;
  return D3DRM_OK;
}

TRmResult TRmDevice::Update() {
  if (Lost()) return DDERR_SURFACELOST;
  dirty_ = TRect{};
  return D3DRM_OK;
}

// ---------------------------------------------------------------------------------------
// TRmViewport

TRmResult TRmViewport::Create(std::shared_ptr<TRmDevice> device, std::shared_ptr<TRmFrame> camera,
                              int x, int y, int width, int height) {
  if (!device || !camera || device->Width() <= 0) return D3DRMERR_BADOBJECT;
  if (x < 0 || y < 0 || width < 1 || height < 1 || width > device->Width() - x ||
      height > device->Height() - y)
    return D3DRMERR_BADVALUE;
  device_ = std::move(device);
  camera_ = std::move(camera);
  x_ = x;
  y_ = y;
  width_ = width;
  height_ = height;
  backgroundCache_.Release();
  backgroundSource_.reset();
  return D3DRM_OK;
}

TRmResult TRmViewport::SetCamera(std::shared_ptr<TRmFrame> camera) {
  if (!camera) return D3DRMERR_BADOBJECT;
  camera_ = std::move(camera);
  return D3DRM_OK;
}

TRmResult TRmViewport::SetField(float field) {
  if (!(field > 0.0f) || !std::isfinite(field)) return D3DRMERR_BADVALUE;
  field_ = field;
  return D3DRM_OK;
}

TRmResult TRmViewport::SetFront(float front) {
  if (!(front > 0.0f) || !std::isfinite(front)) return D3DRMERR_BADVALUE;
  front_ = front;
  return D3DRM_OK;
}

TRmResult TRmViewport::ForceUpdate(int x1, int y1, int x2, int y2) {
  if (!device_) return D3DRMERR_BADOBJECT;
  if (x2 < x1 || y2 < y1) return D3DRMERR_BADVALUE;
  TRect r = Rect(std::max(x1, 0), std::max(y1, 0), std::min(x2, device_->Width()),
                 std::min(y2, device_->Height()));
  if (r.Right <= r.Left || r.Bottom <= r.Top) return D3DRM_OK;
  TRect& d = device_->dirty_;
  if (d.Right <= d.Left || d.Bottom <= d.Top)
    d = r;
  else
    d = Rect(std::min(d.Left, r.Left), std::min(d.Top, r.Top), std::max(d.Right, r.Right),
             std::max(d.Bottom, r.Bottom));
  return D3DRM_OK;
}

TRmResult TRmViewport::Clear() {
  if (!device_ || !camera_) return D3DRMERR_BADOBJECT;
  if (device_->Lost()) return DDERR_SURFACELOST;
  TRmSurface& target = *device_->target_;
  const TRmFrame* scene = camera_->Scene();
  const std::shared_ptr<TRmTexture>& image = scene->SceneBackgroundImage();
  std::shared_ptr<TRmSurface> source = image ? image->Surface() : nullptr;
  TRmResult res = D3DRM_OK;
  TRmPixel uniform = 0;
  if (source && source->Valid() && source.get() != &target && source->Uniform(uniform)) {
    // a picture of one colour stretches to that colour: filled, not copied
    res = target.Fill(Rect(x_, y_, x_ + width_, y_ + height_), uniform);
  } else if (source && source->Valid() && source.get() != &target) {
    if (source->Width() == width_ && source->Height() == height_) {
      res = target.BltFast(x_, y_, *source, source->Bounds());
    } else {
      const bool unchanged = !backgroundSource_.expired() && !backgroundSource_.owner_before(source) &&
                             !source.owner_before(backgroundSource_) &&
                             backgroundVersion_ == source->Version();
      const TRect view = Rect(x_, y_, x_ + width_, y_ + height_);
      const bool inside = x_ >= 0 && y_ >= 0 && view.Right <= target.Width() && view.Bottom <= target.Height();
      if (!unchanged && inside) {
        // A new picture (a film's frame changes every time) is stretched straight onto
        // the target, the bytes a copy through the cache would give; a picture that
        // stays is kept stretched from the second time on. No cache is kept meanwhile.
        backgroundCache_.Release();
        res = target.Blt(view, *source, source->Bounds());
        if (res != D3DRM_OK) return res;
        backgroundSource_ = source;
        backgroundVersion_ = source->Version();
      } else {
        if (!backgroundCache_.Valid() || !unchanged) {
          if (!backgroundCache_.Valid() && (res = backgroundCache_.Create(width_, height_)) != D3DRM_OK) return res;
          res = backgroundCache_.Blt(backgroundCache_.Bounds(), *source, source->Bounds());
          if (res != D3DRM_OK) {
            backgroundCache_.Release();
            return res;
          }
          backgroundSource_ = source;
          backgroundVersion_ = source->Version();
        }
        res = target.BltFast(x_, y_, backgroundCache_, backgroundCache_.Bounds());
      }
    }
  } else {
    res = target.Fill(Rect(x_, y_, x_ + width_, y_ + height_), scene->SceneBackground());
  }
  if (res != D3DRM_OK) return res;
  for (int y = y_; y < y_ + height_; ++y) {
    int32_t* row = device_->depth_.data() + static_cast<size_t>(y) * device_->width_;
    std::fill(row + x_, row + x_ + width_, 0);
  }
  return D3DRM_OK;
}

TRmResult TRmViewport::Render(const TRmFrame* frame) {
  if (!frame || !device_ || !camera_) return D3DRMERR_BADOBJECT;
  if (device_->Lost()) return DDERR_SURFACELOST;
  const TD3DVector cam = camera_->WorldPosition();
  camX_ = cam.x;
  camY_ = cam.y;
  camZ_ = cam.z;
  const TD3DVector above = frame->Parent() ? frame->Parent()->WorldPosition() : TD3DVector{};
  try {
    RenderFrame(*frame, above.x, above.y, above.z);
  } catch (const std::bad_alloc&) {
    return D3DRMERR_BADALLOC;
  }
  device_->target_->Changed();
  return D3DRM_OK;
}

void TRmViewport::RenderFrame(const TRmFrame& frame, double ox, double oy, double oz) {
  TD3DVector p;
  frame.GetPosition(nullptr, &p);
  ox += p.x;
  oy += p.y;
  oz += p.z;
  for (const auto& mesh : frame.Visuals())
    for (int g = 0; g < mesh->GroupCount(); ++g) RenderGroup(*mesh->Group(g), ox, oy, oz);
  for (const auto& child : frame.Children()) RenderFrame(*child, ox, oy, oz);
}

void TRmViewport::RenderGroup(const TRmGroup& group, double ox, double oy, double oz) {
  TRmDevice& dev = *device_;
  TRmSurface& target = *dev.target_;
  const size_t count = group.Vertices.size();
  if (xform_.size() < count) xform_.resize(count);

  // Camera-space positions, outcodes and screen positions of all vertices, once.
  const double F = std::max(width_, height_) / (2.0 * static_cast<double>(field_));
  const double hw = width_ / 2.0, hh = height_ / 2.0;
  const double cx = x_ + hw, cy = y_ + hh;
  const double front = front_;
  for (size_t i = 0; i < count; ++i) {
    const TRmVertex& v = group.Vertices[i];
    TXVertex& t = xform_[i];
    t.X = v.x + ox - camX_;
    t.Y = v.y + oy - camY_;
    t.D = v.z + oz - camZ_;
    if (!std::isfinite(t.X) || !std::isfinite(t.Y) || !std::isfinite(t.D)) {
      t.Code = kInvalid;
      continue;
    }
    const double fx = F * t.X, fy = F * t.Y;
    uint32_t code = 0;
    if (t.D < front) code |= kNear;
    if (fx + (hw + 1) * t.D < 0) code |= kLeft;
    if ((hw + 1) * t.D - fx < 0) code |= kRight;
    if ((hh + 1) * t.D - fy < 0) code |= kTop;
    if (fy + (hh + 1) * t.D < 0) code |= kBottom;
    if (fx + (hw + kGuardBand) * t.D < 0) code |= kGuardLeft;
    if ((hw + kGuardBand) * t.D - fx < 0) code |= kGuardRight;
    if ((hh + kGuardBand) * t.D - fy < 0) code |= kGuardTop;
    if (fy + (hh + kGuardBand) * t.D < 0) code |= kGuardBottom;
    t.Code = code;
    if ((code & kClipMask) == 0) {
      t.Q = 1.0 / t.D;
      t.SX = Snap(cx + fx * t.Q);
      t.SY = Snap(cy - fy * t.Q);
    }
  }

  // What every triangle of the group shares.
  rm::TRasterState s;
  s.Target = target.Row(0);
  s.TargetPitch = target.Pitch() / static_cast<int>(sizeof(TRmPixel));
  s.ClipLeft = x_;
  s.ClipTop = y_;
  s.ClipRight = x_ + width_;
  s.ClipBottom = y_ + height_;
  s.RowLength = target.Width();
  s.Depth = dev.depth_.data();
  s.DepthPitch = dev.width_;
  s.DepthTest = dev.zEnable_ != 0;
  s.DepthWrite = dev.zWrite_ != 0;
  s.DepthBias = dev.zFunc_ == D3DCMP_LESS     ? 1
                : dev.zFunc_ == D3DCMP_ALWAYS ? std::numeric_limits<int64_t>::min() / 2
                                              : 0;
  s.Perspective = dev.perspective_ != 0;
  const TRmTexture* texture = group.Texture.get();
  const TRmSurface* texels = texture ? texture->Surface().get() : nullptr;
  const bool textured = texels && texels->Valid() && texels != &target;
  double texW = 0, texH = 0, texShift = 0;
  if (textured) {
    s.Filter = dev.filterMag_ == D3DFILTER_LINEAR ? rm::fiBilinear : rm::fiNearest;
    s.Texture = texels->Row(0);
    s.TexturePitch = texels->Pitch() / static_cast<int>(sizeof(TRmPixel));
    s.TextureWidth = texels->Width();
    s.TextureHeight = texels->Height();
    s.Keyed = texture->DecalTransparency();
    s.Key = texture->DecalTransparentColor();
    texW = texels->Width();
    texH = texels->Height();
    // Bilinear samples between the four texel centres around the point.
    texShift = s.Filter == rm::fiBilinear ? -0.5 : 0.0;
  }
  const bool decal = textured && (dev.textureBlend_ == D3DTBLEND_DECAL ||
                                  dev.textureBlend_ == D3DTBLEND_COPY);
  const bool blendOn = dev.alphaBlendEnable_ != 0 && dev.srcBlend_ == D3DBLEND_SRCALPHA &&
                       dev.destBlend_ == D3DBLEND_INVSRCALPHA;
  const bool flatShade = (group.Quality & D3DRMSHADE_MASK) == D3DRMSHADE_FLAT;
  const uint32_t cull = dev.cull_;
  auto visible = [cull](int64_t area) {
    if (area == 0) return false;
    if (cull == D3DCULL_CCW) return area > 0;
    if (cull == D3DCULL_CW) return area < 0;
    return true;
  };

  const std::vector<int32_t>& tri = group.Triangles;
  const TRmVertex* verts = group.Vertices.data();
  for (size_t f = 0; f + 2 < tri.size(); f += 3) {
    const int32_t i[3] = {tri[f], tri[f + 1], tri[f + 2]};
    const TXVertex* x[3] = {&xform_[static_cast<size_t>(i[0])], &xform_[static_cast<size_t>(i[1])],
                            &xform_[static_cast<size_t>(i[2])]};
    const uint32_t codeAnd = x[0]->Code & x[1]->Code & x[2]->Code;
    const uint32_t codeOr = x[0]->Code | x[1]->Code | x[2]->Code;
    if ((codeAnd & kRejectMask) != 0 || (codeOr & kInvalid) != 0) continue;

    // Colour: flat shading takes the face's first vertex.
    uint32_t col[3] = {verts[i[0]].color, verts[i[1]].color, verts[i[2]].color};
    if (flatShade) col[1] = col[2] = col[0];
    if (decal) {
      s.Colour = rm::cmWhite;
      s.FlatColour = 0xFFFFFFFF;
      s.Blend = false;
    } else if (col[0] == col[1] && col[0] == col[2]) {
      s.Colour = (col[0] & 0xFFFFFF) == 0xFFFFFF ? rm::cmWhite : rm::cmFlat;
      s.FlatColour = col[0];
      s.Blend = blendOn && (col[0] >> 24) < 255;
    } else {
      s.Colour = rm::cmGouraud;
      s.Blend = blendOn && std::min({col[0] >> 24, col[1] >> 24, col[2] >> 24}) < 255;
    }
    const bool gouraud = s.Colour == rm::cmGouraud;
    // Texture coordinates wrap: a triangle lying within one unit interval outside 0..1
    // (the wells' back meshes negate tv) samples the picture as if shifted into 0..1.
    double wrapU = 0, wrapV = 0;
    if (textured) {
      wrapU = WrapShift(verts[i[0]].tu, verts[i[1]].tu, verts[i[2]].tu);
      wrapV = WrapShift(verts[i[0]].tv, verts[i[1]].tv, verts[i[2]].tv);
    }

    if ((codeOr & kClipMask) == 0) {
      const int64_t area = Area(*x[0], *x[1], *x[2]);
      if (!visible(area)) continue;
      auto raster = [&](int32_t index, uint32_t colour, double shiftU, double shiftV) {
        const TXVertex& t = xform_[static_cast<size_t>(index)];
        rm::TRasterVertex r;
        r.X = t.SX;
        r.Y = t.SY;
        r.Q = t.Q;
        if (textured) {
          const TRmVertex& v = verts[index];
          const double u = (v.tu + shiftU) * texW + texShift, w = (v.tv + shiftV) * texH + texShift;
          r.U = s.Perspective ? u * t.Q : u;
          r.V = s.Perspective ? w * t.Q : w;
        }
        if (gouraud) {
          r.C[0] = (colour >> 16) & 0xFF;
          r.C[1] = (colour >> 8) & 0xFF;
          r.C[2] = colour & 0xFF;
          r.C[3] = colour >> 24;
        }
        return r;
      };
      rm::TRasterVertex r[3];
      for (int k = 0; k < 3; ++k) r[k] = raster(i[k], col[k], wrapU, wrapV);

      // Two triangles of one flat quad (the next face turns back along an edge of this
      // one) are drawn as the quad: half the rows to walk.
      if (!gouraud && f + 5 < tri.size()) {
        const int32_t j[3] = {tri[f + 3], tri[f + 4], tri[f + 5]};
        int k = -1, m = -1;
        for (int a = 0; a < 3 && k < 0; ++a)
          for (int b = 0; b < 3; ++b)
            if (i[a] == j[(b + 1) % 3] && i[(a + 1) % 3] == j[b]) {
              k = a;
              m = b;
              break;
            }
        if (k >= 0) {
          const TXVertex* y[3] = {&xform_[static_cast<size_t>(j[0])],
                                  &xform_[static_cast<size_t>(j[1])],
                                  &xform_[static_cast<size_t>(j[2])]};
          const uint32_t and2 = y[0]->Code & y[1]->Code & y[2]->Code;
          const uint32_t or2 = y[0]->Code | y[1]->Code | y[2]->Code;
          const uint32_t col2 = verts[j[0]].color;
          const bool sameColour =
              decal || (flatShade ? col2 == col[0]
                                  : verts[j[1]].color == col[0] && verts[j[2]].color == col[0] &&
                                        col2 == col[0]);
          const int32_t d = j[(m + 2) % 3];
          const bool sameWrap =
              !textured ||
              (WrapShift(verts[j[0]].tu, verts[j[1]].tu, verts[j[2]].tu) == wrapU &&
               WrapShift(verts[j[0]].tv, verts[j[1]].tv, verts[j[2]].tv) == wrapV);
          if ((and2 & kRejectMask) == 0 && (or2 & (kClipMask | kInvalid)) == 0 && sameColour &&
              sameWrap) {
            const int64_t area2 = Area(*y[0], *y[1], *y[2]);
            // around the quad: b, c, a (this face from its edge a - b on), then d
            const int32_t q[4] = {i[(k + 1) % 3], i[(k + 2) % 3], i[k], d};
            bool convex = visible(area2) && (area2 > 0) == (area > 0);
            for (int e = 0; e < 4 && convex; ++e) {
              const int64_t turn = Area(xform_[static_cast<size_t>(q[e])],
                                        xform_[static_cast<size_t>(q[(e + 1) % 4])],
                                        xform_[static_cast<size_t>(q[(e + 2) % 4])]);
              convex = turn != 0 && (turn > 0) == (area > 0);
            }
            if (convex) {
              const rm::TRasterVertex rd = raster(d, col[0], wrapU, wrapV);
              const rm::TRasterVertex& rb = r[(k + 1) % 3];
              const rm::TRasterVertex& rc = r[(k + 2) % 3];
              const rm::TRasterVertex& ra = r[k];
              if (rm::QuadIsFlat(s, rb, rc, ra, rd)) {
                rm::RasterQuad(s, rb, rc, ra, rd);
                f += 3;
                continue;
              }
            }
          }
        }
      }
      rm::RasterTriangle(s, r[0], r[1], r[2]);
      continue;
    }

    // Cut the triangle by the front plane and the guard band, in camera space.
    TClipVertex polyA[kMaxPolygon], polyB[kMaxPolygon];
    int n = 3;
    for (int k = 0; k < 3; ++k) {
      const TRmVertex& v = verts[i[k]];
      TClipVertex& c = polyA[k];
      c.X = x[k]->X;
      c.Y = x[k]->Y;
      c.D = x[k]->D;
      c.U = textured ? (v.tu + wrapU) * texW + texShift : 0;
      c.V = textured ? (v.tv + wrapV) * texH + texShift : 0;
      c.C[0] = (col[k] >> 16) & 0xFF;
      c.C[1] = (col[k] >> 8) & 0xFF;
      c.C[2] = col[k] & 0xFF;
      c.C[3] = col[k] >> 24;
    }
    TClipVertex* in = polyA;
    TClipVertex* out = polyB;
    for (uint32_t plane : {kNear, kGuardLeft, kGuardRight, kGuardTop, kGuardBottom}) {
      if ((codeOr & plane) == 0) continue;
      auto dist = [&](const TClipVertex& c) {
        switch (plane) {
          case kNear: return c.D - front;
          case kGuardLeft: return F * c.X + (hw + kGuardBand) * c.D;
          case kGuardRight: return (hw + kGuardBand) * c.D - F * c.X;
          case kGuardTop: return (hh + kGuardBand) * c.D - F * c.Y;
          default: return F * c.Y + (hh + kGuardBand) * c.D;
        }
      };
      int m = 0;
      for (int k = 0; k < n; ++k) {
        const TClipVertex& prev = in[(k + n - 1) % n];
        const TClipVertex& cur = in[k];
        const double dp = dist(prev), dc = dist(cur);
        if (dc >= 0) {
          if (dp < 0) out[m++] = Lerp(cur, prev, dc / (dc - dp));
          out[m++] = cur;
        } else if (dp >= 0) {
          out[m++] = Lerp(prev, cur, dp / (dp - dc));
        }
      }
      std::swap(in, out);
      n = m;
      if (n < 3) break;
    }
    if (n < 3) continue;

    rm::TRasterVertex r[kMaxPolygon];
    bool sane = true;
    for (int k = 0; k < n && sane; ++k) {
      const TClipVertex& c = in[k];
      const double q = 1.0 / std::max(c.D, front * 0.5);
      const double sx = F * c.X * q, sy = F * c.Y * q;
      // Cutting keeps points inside the guard band; anything else is numeric junk.
      if (!(std::fabs(sx) <= hw + kGuardBand + 2) || !(std::fabs(sy) <= hh + kGuardBand + 2)) {
        sane = false;
        break;
      }
      r[k].X = Snap(cx + sx);
      r[k].Y = Snap(cy - sy);
      r[k].Q = q;
      r[k].U = s.Perspective ? c.U * q : c.U;
      r[k].V = s.Perspective ? c.V * q : c.V;
      for (int j = 0; j < 4; ++j) r[k].C[j] = c.C[j];
    }
    if (!sane) continue;
    int64_t area = 0;
    for (int k = 0; k < n; ++k) {
      const rm::TRasterVertex& p = r[k];
      const rm::TRasterVertex& q = r[(k + 1) % n];
      area += p.X * q.Y - q.X * p.Y;
    }
    if (!visible(area)) continue;
    for (int k = 1; k + 1 < n; ++k) rm::RasterTriangle(s, r[0], r[k], r[k + 1]);
  }
}

}  // namespace movara
