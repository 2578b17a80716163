#include "platform/render3d/RmRaster.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace movara::rm {
namespace {

// Pixels B, R and G in three 16-bit lanes of a 64-bit word (bits 0, 16 and 32), so one
// multiplication scales all three channels.
constexpr uint64_t kLanes = 0x000000FF00FF00FFull;
inline uint64_t Expand(uint32_t p) {
  return (p & 0xFF00FFu) | (static_cast<uint64_t>(p & 0xFF00u) << 24);
}
inline uint32_t Pack(uint64_t x) {
  return static_cast<uint32_t>(x & 0xFF00FFu) | static_cast<uint32_t>((x >> 24) & 0xFF00u);
}

inline int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  if ((a % b) < 0) --q;
  return q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

// Nearest integer, halves away from zero; inline (no library call) and the same on
// every machine. Callers keep x well inside the int32 range.
inline int32_t RoundToInt(double x) {
  return static_cast<int32_t>(x >= 0 ? x + 0.5 : x - 0.5);
}
// Texel coordinate to 16.16; far-out values are limited so that runs cannot overflow
// (they show the edge texels anyway).
inline int32_t TexelFixed(double t) { return RoundToInt(std::clamp(t, -16384.0, 16384.0) * 65536.0); }
inline int32_t DepthFixed(double q) { return RoundToInt(std::clamp(q, 0.0, 127.0) * kDepthScale); }
inline int32_t ColourFixed(double c) { return RoundToInt(std::clamp(c, 0.0, 255.0) * 65536.0); }
// 0..255 to a multiplier 0..256 (255 keeps the value exactly).
inline uint32_t Factor(uint32_t c) { return c + (c >> 7); }

inline uint32_t Modulate(uint32_t t, uint32_t fr, uint32_t fg, uint32_t fb) {
  const uint32_t r = (((t >> 16) & 0xFF) * fr) >> 8;
  const uint32_t g = (((t >> 8) & 0xFF) * fg) >> 8;
  const uint32_t b = ((t & 0xFF) * fb) >> 8;
  return (r << 16) | (g << 8) | b;
}

constexpr int kRunLength = 16;

// One span of a triangle: its pixels and the attribute values along it.
struct TSpan {
  TRmPixel* Dst = nullptr;
  int32_t* Depth = nullptr;
  int N = 0;
  // Texture planes: the value at pixel k is A + DA * k (u/w, v/w and 1/w when perspective).
  double Q = 0, DQ = 0, U = 0, DU = 0, V = 0, DV = 0;
  int32_t Z = 0, DZ = 0;                        // depth, stepped per pixel
  int32_t C[4] = {0, 0, 0, 0}, DC[4] = {0, 0, 0, 0};  // colour 8.16, stepped per pixel
};

// Draws one span. The texture coordinates are exact (divided) at the ends of runs of 16
// pixels and step linearly in 16.16 between them; a run whose coordinates stay inside
// the texture skips holding them at its edges (for bilinear filtering "inside" means
// left of the last column and above the last row, so the right and lower neighbours
// exist).
template <int Filter, int Colour, bool Blend, bool Key, bool Z>
void DrawSpan(const TRasterState& s, const TSpan& sp) {
  const int tw = s.TextureWidth, th = s.TextureHeight;
  const int32_t umax = Filter == fiBilinear ? (tw - 1) << 16 : (tw << 16) - 1;
  const int32_t vmax = Filter == fiBilinear ? (th - 1) << 16 : (th << 16) - 1;
  const TRmPixel* const tex = s.Texture;
  const ptrdiff_t pitch = s.TexturePitch;
  const TRmPixel key = s.Key;
  const int64_t bias = s.DepthBias;
  const bool depthWrite = s.DepthWrite;
  const uint32_t flat = s.FlatColour;
  const uint32_t flatR = Factor((flat >> 16) & 0xFF), flatG = Factor((flat >> 8) & 0xFF),
                 flatB = Factor(flat & 0xFF);
  const uint32_t flatA = Factor(flat >> 24);
  TRmPixel* __restrict const dst = sp.Dst;
  int32_t* __restrict const depth = sp.Depth;
  int32_t z = sp.Z;
  const int32_t dz = sp.DZ;
  int32_t c0 = sp.C[0], c1 = sp.C[1], c2 = sp.C[2], c3 = sp.C[3];
  const int32_t dc0 = sp.DC[0], dc1 = sp.DC[1], dc2 = sp.DC[2], dc3 = sp.DC[3];

  auto pixels = [&](auto clampTag, int from, int count, int32_t u, int32_t v, int32_t du,
                    int32_t dv) __attribute__((always_inline)) {
    constexpr bool Clamp = decltype(clampTag)::value;
    for (int i = from; i < from + count; ++i) {
      bool draw = true;
      const int32_t zi = z;
      if constexpr (Z) {
        z += dz;
        draw = static_cast<int64_t>(zi) >= static_cast<int64_t>(depth[i]) + bias;
      }
      if (draw) {
        uint32_t c;
        if constexpr (Filter == fiNearest) {
          const int32_t uc = Clamp ? std::clamp(u, 0, umax) : u;
          const int32_t vc = Clamp ? std::clamp(v, 0, vmax) : v;
          c = tex[(vc >> 16) * pitch + (uc >> 16)] & 0xFFFFFF;
          if constexpr (Key) draw = c != key;
        } else if constexpr (Filter == fiBilinear) {
          const int32_t uc = Clamp ? std::clamp(u, 0, umax) : u;
          const int32_t vc = Clamp ? std::clamp(v, 0, vmax) : v;
          const int x0 = uc >> 16, y0 = vc >> 16;
          const uint32_t fx = (static_cast<uint32_t>(uc) >> 8) & 0xFF;
          const uint32_t fy = (static_cast<uint32_t>(vc) >> 8) & 0xFF;
          const TRmPixel* p0 = tex + y0 * pitch + x0;
          const TRmPixel* p1 = p0;
          ptrdiff_t right = 1;
          if constexpr (Clamp) {
            p1 += y0 < th - 1 ? pitch : 0;
            right = x0 < tw - 1 ? 1 : 0;
          } else {
            p1 += pitch;
          }
          if constexpr (Key) {
            // The texel nearest to the sample point decides.
            const TRmPixel* nr = fy >= 128 ? p1 : p0;
            draw = (nr[fx >= 128 ? right : 0] & 0xFFFFFF) != key;
          }
          const uint32_t w11 = (fx * fy + 128) >> 8;
          const uint32_t w10 = fx - w11, w01 = fy - w11, w00 = 256 - fx - fy + w11;
          const uint64_t sum = Expand(p0[0]) * w00 + Expand(p0[right]) * w10 +
                               Expand(p1[0]) * w01 + Expand(p1[right]) * w11;
          c = Pack((sum >> 8) & kLanes);
        } else {
          c = 0xFFFFFF;
        }
        if (draw) {
          uint32_t a = flatA;
          if constexpr (Colour == cmFlat) {
            c = Modulate(c, flatR, flatG, flatB);
          } else if constexpr (Colour == cmGouraud) {
            c = Modulate(c, Factor(static_cast<uint32_t>(c0) >> 16),
                         Factor(static_cast<uint32_t>(c1) >> 16),
                         Factor(static_cast<uint32_t>(c2) >> 16));
            a = Factor(static_cast<uint32_t>(c3) >> 16);
          }
          if constexpr (Blend) {
            const uint64_t mix = Expand(c) * a + Expand(dst[i]) * (256 - a);
            c = Pack((mix >> 8) & kLanes);
          } else {
            (void)a;
          }
          dst[i] = c;
          if constexpr (Z) {
            if (depthWrite) depth[i] = zi;
          }
        }
      }
      if constexpr (Filter != fiNone) {
        u += du;
        v += dv;
      }
      if constexpr (Colour == cmGouraud) {
        c0 += dc0;
        c1 += dc1;
        c2 += dc2;
        c3 += dc3;
      }
    }
  };

  const int n = sp.N;
  if constexpr (Filter == fiNone) {
    pixels(std::true_type{}, 0, n, 0, 0, 0, 0);
  } else {
    // Texture coordinates at pixel k of the span, exact.
    const bool perspective = s.Perspective;
    auto texAt = [&](int k, int32_t& u, int32_t& v) {
      const double uq = sp.U + sp.DU * k, vq = sp.V + sp.DV * k;
      if (perspective) {
        const double w = 1.0 / std::max(sp.Q + sp.DQ * k, 1e-9);
        u = TexelFixed(uq * w);
        v = TexelFixed(vq * w);
      } else {
        u = TexelFixed(uq);
        v = TexelFixed(vq);
      }
    };
    const int32_t insideU = Filter == fiBilinear ? umax : umax + 1;
    const int32_t insideV = Filter == fiBilinear ? vmax : vmax + 1;
    int32_t u0, v0;
    texAt(0, u0, v0);
    for (int k = 0; k < n;) {
      const int len = std::min(kRunLength, n - k);
      int32_t u1 = u0, v1 = v0, du = 0, dv = 0;
      if (k + kRunLength < n) {
        // A full run: its end is the next run's start.
        texAt(k + kRunLength, u1, v1);
        du = static_cast<int32_t>((static_cast<int64_t>(u1) - u0) / kRunLength);
        dv = static_cast<int32_t>((static_cast<int64_t>(v1) - v0) / kRunLength);
      } else if (len > 1) {
        // The last run ends on the span's last pixel, inside the triangle.
        texAt(n - 1, u1, v1);
        du = static_cast<int32_t>((static_cast<int64_t>(u1) - u0) / (len - 1));
        dv = static_cast<int32_t>((static_cast<int64_t>(v1) - v0) / (len - 1));
      }
      // Every pixel of the run lies between its two ends.
      const bool inside = u0 >= 0 && u1 >= 0 && v0 >= 0 && v1 >= 0 && u0 < insideU &&
                          u1 < insideU && v0 < insideV && v1 < insideV;
      if (inside)
        pixels(std::false_type{}, k, len, u0, v0, du, dv);
      else
        pixels(std::true_type{}, k, len, u0, v0, du, dv);
      u0 = u1;
      v0 = v1;
      k += len;
    }
  }
}

using TSpanFn = void (*)(const TRasterState&, const TSpan&);

template <int F, int C, bool B, bool K>
TSpanFn PickZ(bool z) {
  return z ? &DrawSpan<F, C, B, K, true> : &DrawSpan<F, C, B, K, false>;
}
template <int F, int C, bool B>
TSpanFn PickKey(bool key, bool z) {
  if constexpr (F == fiNone) {
    (void)key;
    return PickZ<F, C, B, false>(z);
  } else {
    return key ? PickZ<F, C, B, true>(z) : PickZ<F, C, B, false>(z);
  }
}
template <int F, int C>
TSpanFn PickBlend(bool blend, bool key, bool z) {
  return blend ? PickKey<F, C, true>(key, z) : PickKey<F, C, false>(key, z);
}
template <int F>
TSpanFn PickColour(int colour, bool blend, bool key, bool z) {
  switch (colour) {
    case cmFlat: return PickBlend<F, cmFlat>(blend, key, z);
    case cmGouraud: return PickBlend<F, cmGouraud>(blend, key, z);
    default: return PickBlend<F, cmWhite>(blend, key, z);
  }
}
TSpanFn PickSpan(int filter, int colour, bool blend, bool key, bool z) {
  switch (filter) {
    case fiNearest: return PickColour<fiNearest>(colour, blend, key, z);
    case fiBilinear: return PickColour<fiBilinear>(colour, blend, key, z);
    default: return PickColour<fiNone>(colour, blend, key, z);
  }
}

// One edge walked from top to bottom: the first pixel column at or right of the edge on
// each row, ceil(x), kept exactly as N = q * D + r with 0 <= r < D.
struct TEdge {
  int64_t q = 0, r = 0, D = 1, kq = 0, kr = 0;
  void Init(int64_t xa, int64_t ya, int64_t xb, int64_t yb, int64_t row) {
    const int64_t dy = yb - ya;
    D = dy * kSubPixel;
    const int64_t N = xa * dy + (row * kSubPixel - ya) * (xb - xa);
    q = FloorDiv(N, D);
    r = N - q * D;
    const int64_t K = static_cast<int64_t>(kSubPixel) * (xb - xa);
    kq = FloorDiv(K, D);
    kr = K - kq * D;
  }
  int64_t X() const { return q + (r != 0 ? 1 : 0); }
  void Step() {
    q += kq;
    r += kr;
    if (r >= D) {
      r -= D;
      ++q;
    }
  }
};

enum { aQ = 0, aU = 1, aV = 2, aC = 3, aCount = 7 };

}  // namespace

void RasterTriangle(const TRasterState& s, const TRasterVertex& a, const TRasterVertex& b,
                    const TRasterVertex& c) {
  const TRasterVertex* v[3] = {&a, &b, &c};
  // Top to bottom.
  if (v[1]->Y < v[0]->Y) std::swap(v[0], v[1]);
  if (v[2]->Y < v[1]->Y) std::swap(v[1], v[2]);
  if (v[1]->Y < v[0]->Y) std::swap(v[0], v[1]);
  const TRasterVertex& v0 = *v[0];
  const TRasterVertex& v1 = *v[1];
  const TRasterVertex& v2 = *v[2];
  const int64_t dx1 = v1.X - v0.X, dy1 = v1.Y - v0.Y, dx2 = v2.X - v0.X, dy2 = v2.Y - v0.Y;
  const int64_t det = dx1 * dy2 - dx2 * dy1;
  if (det == 0 || dy2 == 0) return;

  const int64_t rowTop = std::max<int64_t>(CeilDiv(v0.Y, kSubPixel), s.ClipTop);
  const int64_t rowMid = std::clamp<int64_t>(CeilDiv(v1.Y, kSubPixel), s.ClipTop, s.ClipBottom);
  const int64_t rowEnd = std::min<int64_t>(CeilDiv(v2.Y, kSubPixel), s.ClipBottom);
  if (rowTop >= rowEnd) return;

  // Attribute planes in pixel units, relative to v0.
  const bool textured = s.Filter != fiNone;
  const bool gouraud = s.Colour == cmGouraud;
  double base[aCount] = {}, ddx[aCount] = {}, ddy[aCount] = {};
  const double scale = static_cast<double>(kSubPixel) / static_cast<double>(det);
  auto plane = [&](int k, double a0, double a1, double a2) {
    const double d1 = a1 - a0, d2 = a2 - a0;
    base[k] = a0;
    ddx[k] = (d1 * static_cast<double>(dy2) - d2 * static_cast<double>(dy1)) * scale;
    ddy[k] = (d2 * static_cast<double>(dx1) - d1 * static_cast<double>(dx2)) * scale;
  };
  plane(aQ, v0.Q, v1.Q, v2.Q);
  if (textured) {
    plane(aU, v0.U, v1.U, v2.U);
    plane(aV, v0.V, v1.V, v2.V);
  }
  if (gouraud)
    for (int k = 0; k < 4; ++k) plane(aC + k, v0.C[k], v1.C[k], v2.C[k]);
  const double x0 = static_cast<double>(v0.X) / kSubPixel, y0 = static_cast<double>(v0.Y) / kSubPixel;

  const bool depth = s.DepthTest && s.Depth != nullptr;
  const TSpanFn span = PickSpan(s.Filter, s.Colour, s.Blend, s.Keyed, depth);

  // v1 left of the long edge v0 -> v2 puts the long edge on the right.
  const bool longRight = det < 0;
  TEdge longEdge, shortEdge;
  longEdge.Init(v0.X, v0.Y, v2.X, v2.Y, rowTop);
  bool upper = rowTop < rowMid;
  if (upper)
    shortEdge.Init(v0.X, v0.Y, v1.X, v1.Y, rowTop);
  else
    shortEdge.Init(v1.X, v1.Y, v2.X, v2.Y, rowTop);

  for (int64_t py = rowTop; py < rowEnd; ++py) {
    if (upper && py >= rowMid) {
      upper = false;
      shortEdge.Init(v1.X, v1.Y, v2.X, v2.Y, py);
    }
    int64_t xl = longRight ? shortEdge.X() : longEdge.X();
    int64_t xr = longRight ? longEdge.X() : shortEdge.X();
    longEdge.Step();
    shortEdge.Step();
    xl = std::max<int64_t>(xl, s.ClipLeft);
    xr = std::min<int64_t>(xr, s.ClipRight);
    if (xl >= xr) continue;
    const int n = static_cast<int>(xr - xl);
    const double fx = static_cast<double>(xl) - x0, fy = static_cast<double>(py) - y0;
    TSpan sp;
    sp.Dst = s.Target + py * s.TargetPitch + xl;
    sp.Depth = depth ? s.Depth + py * s.DepthPitch + xl : nullptr;
    sp.N = n;
    sp.Q = base[aQ] + ddx[aQ] * fx + ddy[aQ] * fy;
    sp.DQ = ddx[aQ];
    if (depth) {
      sp.Z = DepthFixed(sp.Q);
      if (n > 1)
        sp.DZ = static_cast<int32_t>(
            (static_cast<int64_t>(DepthFixed(sp.Q + sp.DQ * (n - 1))) - sp.Z) / (n - 1));
    }
    if (gouraud) {
      for (int k = 0; k < 4; ++k) {
        const double c0 = base[aC + k] + ddx[aC + k] * fx + ddy[aC + k] * fy;
        sp.C[k] = ColourFixed(c0);
        if (n > 1) sp.DC[k] = (ColourFixed(c0 + ddx[aC + k] * (n - 1)) - sp.C[k]) / (n - 1);
      }
    }
    if (textured) {
      sp.U = base[aU] + ddx[aU] * fx + ddy[aU] * fy;
      sp.DU = ddx[aU];
      sp.V = base[aV] + ddx[aV] * fx + ddy[aV] * fy;
      sp.DV = ddx[aV];
    }
    span(s, sp);
  }
}

}  // namespace movara::rm
