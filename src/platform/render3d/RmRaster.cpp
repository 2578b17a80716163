#include "platform/render3d/RmRaster.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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
// Spans of at most this many pixels take their texture coordinates and depth exactly at
// every pixel: cheaper than cutting them into runs, and as cheap in eight lanes.
constexpr int kShortSpan = 8;

// The truncated quotient a / b for b > 0, as integer division gives it: a double holds a
// exactly, and for |a| < 2^32 and b < 2^16 the rounded quotient never crosses a whole
// number. (A 64-bit integer division costs several times more, twice per span.)
inline int32_t DivTrunc(int64_t a, int b) {
  return static_cast<int32_t>(static_cast<double>(a) / static_cast<double>(b));
}

// Wrapping 32-bit a + k * b, the value a stepped k times by b.
inline int32_t Stepped(int32_t a, int k, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) +
                              static_cast<uint32_t>(k) * static_cast<uint32_t>(b));
}

// One span of a triangle: its pixels and the attribute values along it.
struct TSpan {
  TRmPixel* Dst = nullptr;
  int32_t* Depth = nullptr;
  int N = 0;
  int Room = 0;  // pixels from Dst to the end of its row (eight-pixel loads may reach there)
  // Texture planes: the value at pixel k is A + DA * k (u/w, v/w and 1/w when perspective).
  double Q = 0, DQ = 0, U = 0, DU = 0, V = 0, DV = 0;
  int32_t Z = 0, DZ = 0;                        // depth, stepped per pixel
  int32_t C[4] = {0, 0, 0, 0}, DC[4] = {0, 0, 0, 0};  // colour 8.16, stepped per pixel
};

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

// The rows of a convex polygon (a triangle, or a flat quad), top to bottom: each
// non-empty row inside the scissor as a span with its attribute values. The attribute
// planes come from the polygon's first three vertices.
class TRows {
 public:
  // False when the polygon covers no pixel row. n is 3 or 4.
  bool Init(const TRasterState& s, const TRasterVertex* const* v, int n) {
    const TRasterVertex& v0 = *v[0];
    const TRasterVertex& v1 = *v[1];
    const TRasterVertex& v2 = *v[2];
    const int64_t dx1 = v1.X - v0.X, dy1 = v1.Y - v0.Y, dx2 = v2.X - v0.X, dy2 = v2.Y - v0.Y;
    const int64_t det = dx1 * dy2 - dx2 * dy1;
    if (det == 0) return false;

    n_ = n;
    int top = 0, bottom = 0;
    for (int k = 0; k < n; ++k) {
      x_[k] = v[k]->X;
      y_[k] = v[k]->Y;
      if (y_[k] < y_[top]) top = k;
      if (y_[k] > y_[bottom]) bottom = k;
    }
    py_ = std::max<int64_t>(CeilDiv(y_[top], kSubPixel), s.ClipTop);
    rowEnd_ = std::min<int64_t>(CeilDiv(y_[bottom], kSubPixel), s.ClipBottom);
    if (py_ >= rowEnd_) return false;

    // Attribute planes in pixel units, relative to v0.
    textured_ = s.Filter != fiNone;
    gouraud_ = s.Colour == cmGouraud;
    const double scale = static_cast<double>(kSubPixel) / static_cast<double>(det);
    auto plane = [&](int k, double a0, double a1, double a2) {
      const double d1 = a1 - a0, d2 = a2 - a0;
      base_[k] = a0;
      ddx_[k] = (d1 * static_cast<double>(dy2) - d2 * static_cast<double>(dy1)) * scale;
      ddy_[k] = (d2 * static_cast<double>(dx1) - d1 * static_cast<double>(dx2)) * scale;
    };
    plane(aQ, v0.Q, v1.Q, v2.Q);
    if (textured_) {
      plane(aU, v0.U, v1.U, v2.U);
      plane(aV, v0.V, v1.V, v2.V);
    }
    if (gouraud_)
      for (int k = 0; k < 4; ++k) plane(aC + k, v0.C[k], v1.C[k], v2.C[k]);
    x0_ = static_cast<double>(v0.X) / kSubPixel;
    y0_ = static_cast<double>(v0.Y) / kSubPixel;

    depth_ = s.DepthTest && s.Depth != nullptr;
    target_ = s.Target;
    targetPitch_ = s.TargetPitch;
    depthBuffer_ = s.Depth;
    depthPitch_ = s.DepthPitch;
    clipLeft_ = s.ClipLeft;
    clipRight_ = s.ClipRight;
    rowLength_ = s.RowLength;

    // Clockwise on the screen (y down), the vertices after the top one run down the
    // right side; the two chains end at the bottom vertex.
    int64_t area = 0;
    for (int k = 0; k < n; ++k) {
      const int j = k + 1 == n ? 0 : k + 1;
      area += x_[k] * y_[j] - x_[j] * y_[k];
    }
    right_.Start(top, area > 0 ? 1 : n - 1);
    left_.Start(top, area > 0 ? n - 1 : 1);
    Follow(right_, py_);
    Follow(left_, py_);
    return true;
  }

  bool Depth() const { return depth_; }
  // Textured, one colour, at one depth everywhere, with u changing along the rows only
  // and v down the columns only: an upright quad whose texture is mapped by a plain
  // scale. Every span then has DQ = DV = 0, and spans that start in the same column
  // share their texture columns.
  bool Upright() const {
    return textured_ && !gouraud_ && ddx_[aQ] == 0 && ddy_[aQ] == 0 && ddx_[aV] == 0 &&
           ddy_[aU] == 0;
  }

  // The next row's span; false after the last row.
  __attribute__((always_inline)) bool Next(TSpan& sp) {
    for (; py_ < rowEnd_; ++py_) {
      if (py_ >= left_.EndRow) Follow(left_, py_);
      if (py_ >= right_.EndRow) Follow(right_, py_);
      int64_t xl = left_.Edge.X();
      int64_t xr = right_.Edge.X();
      left_.Edge.Step();
      right_.Edge.Step();
      xl = std::max<int64_t>(xl, clipLeft_);
      xr = std::min<int64_t>(xr, clipRight_);
      if (xl >= xr) continue;
      const int64_t py = py_++;
      const int n = static_cast<int>(xr - xl);
      const double fx = static_cast<double>(xl) - x0_, fy = static_cast<double>(py) - y0_;
      sp.Dst = target_ + py * targetPitch_ + xl;
      sp.Depth = depth_ ? depthBuffer_ + py * depthPitch_ + xl : nullptr;
      sp.N = n;
      sp.Room = static_cast<int>(rowLength_ - xl);
      sp.Q = base_[aQ] + ddx_[aQ] * fx + ddy_[aQ] * fy;
      sp.DQ = ddx_[aQ];
      if (depth_ && n > kShortSpan) {  // short spans take the depth at every pixel
        sp.Z = DepthFixed(sp.Q);
        sp.DZ = DivTrunc(static_cast<int64_t>(DepthFixed(sp.Q + sp.DQ * (n - 1))) - sp.Z, n - 1);
      }
      if (gouraud_) {
        for (int k = 0; k < 4; ++k) {
          const double c0 = base_[aC + k] + ddx_[aC + k] * fx + ddy_[aC + k] * fy;
          sp.C[k] = ColourFixed(c0);
          sp.DC[k] =
              n > 1 ? DivTrunc(ColourFixed(c0 + ddx_[aC + k] * (n - 1)) - sp.C[k], n - 1) : 0;
        }
      }
      if (textured_) {
        sp.U = base_[aU] + ddx_[aU] * fx + ddy_[aU] * fy;
        sp.DU = ddx_[aU];
        sp.V = base_[aV] + ddx_[aV] * fx + ddy_[aV] * fy;
        sp.DV = ddx_[aV];
      }
      return true;
    }
    return false;
  }

 private:
  // One side of the polygon: the edge from vertex At to the next one in the direction
  // Step, covering rows up to EndRow (exclusive).
  struct TChain {
    int At = 0, Step = 1;
    int64_t EndRow = 0;
    TEdge Edge;
    void Start(int top, int step) {
      At = top;
      Step = step;
      EndRow = INT64_MIN;
    }
  };
  // Moves the chain on to the edge that covers row; the first edge starts at the top.
  void Follow(TChain& c, int64_t row) {
    if (c.EndRow != INT64_MIN) c.At = (c.At + c.Step) % n_;
    for (;;) {
      const int next = (c.At + c.Step) % n_;
      c.EndRow = CeilDiv(y_[next], kSubPixel);
      if (c.EndRow > row) {
        c.Edge.Init(x_[c.At], y_[c.At], x_[next], y_[next], row);
        return;
      }
      c.At = next;
    }
  }

  double base_[aCount] = {}, ddx_[aCount] = {}, ddy_[aCount] = {};
  double x0_ = 0, y0_ = 0;
  bool textured_ = false, gouraud_ = false, depth_ = false;
  int n_ = 3;
  int64_t x_[4] = {}, y_[4] = {};
  int64_t py_ = 0, rowEnd_ = 0;
  TChain left_, right_;
  TRmPixel* target_ = nullptr;
  ptrdiff_t targetPitch_ = 0;
  int32_t* depthBuffer_ = nullptr;
  ptrdiff_t depthPitch_ = 0;
  int64_t clipLeft_ = 0, clipRight_ = 0, rowLength_ = 0;
};

// A run of a textured span: up to 16 pixels whose texture coordinates are exact (divided)
// at the run's ends and step linearly in 16.16 between them.
struct TRun {
  int K = 0, Len = 0;               // first pixel in the span, pixel count
  int32_t U = 0, V = 0, DU = 0, DV = 0;
  bool Inside = false;              // no pixel's coordinates need holding at the edges
};

// Cuts a textured span into runs. A run whose coordinates stay inside the texture skips
// holding them at its edges (for bilinear filtering "inside" means left of the last
// column and above the last row, so the right and lower neighbours exist).
class TRunWalker {
 public:
  __attribute__((always_inline)) TRunWalker(const TRasterState& s, const TSpan& sp, bool bilinear)
      : sp_(sp), perspective_(s.Perspective) {
    const int32_t umax = bilinear ? (s.TextureWidth - 1) << 16 : (s.TextureWidth << 16) - 1;
    const int32_t vmax = bilinear ? (s.TextureHeight - 1) << 16 : (s.TextureHeight << 16) - 1;
    insideU_ = bilinear ? umax : umax + 1;
    insideV_ = bilinear ? vmax : vmax + 1;
    const int n = sp.N;
    if (n > 1 && n <= kRunLength) {
      Ends(n - 1, u0_, v0_, uLast_, vLast_);
      haveLast_ = true;
    } else {
      At(0, u0_, v0_);
    }
  }
  __attribute__((always_inline)) bool Next(TRun& r) {
    const int n = sp_.N;
    if (k_ >= n) return false;
    const int len = std::min(kRunLength, n - k_);
    int32_t u1 = u0_, v1 = v0_, du = 0, dv = 0;
    if (k_ + kRunLength < n) {
      // A full run: its end is the next run's start.
      At(k_ + kRunLength, u1, v1);
      du = static_cast<int32_t>((static_cast<int64_t>(u1) - u0_) / kRunLength);
      dv = static_cast<int32_t>((static_cast<int64_t>(v1) - v0_) / kRunLength);
    } else if (len > 1) {
      // The last run ends on the span's last pixel, inside the triangle.
      if (haveLast_) {
        u1 = uLast_;
        v1 = vLast_;
      } else {
        At(n - 1, u1, v1);
      }
      du = static_cast<int32_t>(static_cast<double>(static_cast<int64_t>(u1) - u0_) *
                                kReciprocal[len - 1]);
      dv = static_cast<int32_t>(static_cast<double>(static_cast<int64_t>(v1) - v0_) *
                                kReciprocal[len - 1]);
    }
    r.K = k_;
    r.Len = len;
    r.U = u0_;
    r.V = v0_;
    r.DU = du;
    r.DV = dv;
    // Every pixel of the run lies between its two ends.
    r.Inside = u0_ >= 0 && u1 >= 0 && v0_ >= 0 && v1 >= 0 && u0_ < insideU_ && u1 < insideU_ &&
               v0_ < insideV_ && v1 < insideV_;
    u0_ = u1;
    v0_ = v1;
    k_ += len;
    return true;
  }

 private:
  // 1 / k for the steps of a last run.
  static constexpr double kReciprocal[kRunLength] = {
      0.0,       1.0,        1.0 / 2,  1.0 / 3,  1.0 / 4,  1.0 / 5,  1.0 / 6,  1.0 / 7,
      1.0 / 8,   1.0 / 9,    1.0 / 10, 1.0 / 11, 1.0 / 12, 1.0 / 13, 1.0 / 14, 1.0 / 15};

  // Texture coordinates at the first pixel and at pixel k of a span of one run, with one
  // division for both.
  __attribute__((always_inline)) void Ends(int k, int32_t& u0, int32_t& v0, int32_t& u1,
                                           int32_t& v1) const {
    const double uq0 = sp_.U, vq0 = sp_.V;
    const double uq1 = sp_.U + sp_.DU * k, vq1 = sp_.V + sp_.DV * k;
    if (perspective_) {
      const double q0 = std::max(sp_.Q, 1e-9), q1 = std::max(sp_.Q + sp_.DQ * k, 1e-9);
      const double r = 1.0 / (q0 * q1);
      const double w0 = q1 * r, w1 = q0 * r;
      u0 = TexelFixed(uq0 * w0);
      v0 = TexelFixed(vq0 * w0);
      u1 = TexelFixed(uq1 * w1);
      v1 = TexelFixed(vq1 * w1);
    } else {
      u0 = TexelFixed(uq0);
      v0 = TexelFixed(vq0);
      u1 = TexelFixed(uq1);
      v1 = TexelFixed(vq1);
    }
  }

  // Texture coordinates at pixel k of the span, exact.
  __attribute__((always_inline)) void At(int k, int32_t& u, int32_t& v) const {
    const double uq = sp_.U + sp_.DU * k, vq = sp_.V + sp_.DV * k;
    if (perspective_) {
      const double w = 1.0 / std::max(sp_.Q + sp_.DQ * k, 1e-9);
      u = TexelFixed(uq * w);
      v = TexelFixed(vq * w);
    } else {
      u = TexelFixed(uq);
      v = TexelFixed(vq);
    }
  }

  const TSpan& sp_;
  bool perspective_;
  int32_t insideU_ = 0, insideV_ = 0;
  int k_ = 0;
  int32_t u0_ = 0, v0_ = 0;
  bool haveLast_ = false;
  int32_t uLast_ = 0, vLast_ = 0;
};

// Draws one span, pixel by pixel.
template <int Filter, int Colour, bool Blend, bool Key, bool Z>
__attribute__((always_inline)) inline void DrawSpan(const TRasterState& s, const TSpan& sp) {
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

  if (sp.N <= kShortSpan) {
    // Texture coordinates and depth exact at every pixel.
    for (int k = 0; k < sp.N; ++k) {
      const double q = sp.Q + sp.DQ * k;
      z = DepthFixed(q);
      int32_t u = 0, v = 0;
      if constexpr (Filter != fiNone) {
        const double uq = sp.U + sp.DU * k, vq = sp.V + sp.DV * k;
        if (s.Perspective) {
          const double w = 1.0 / std::max(q, 1e-9);
          u = TexelFixed(uq * w);
          v = TexelFixed(vq * w);
        } else {
          u = TexelFixed(uq);
          v = TexelFixed(vq);
        }
      }
      pixels(std::true_type{}, k, 1, u, v, 0, 0);
    }
  } else if constexpr (Filter == fiNone) {
    pixels(std::true_type{}, 0, sp.N, 0, 0, 0, 0);
  } else {
    TRunWalker runs(s, sp, Filter == fiBilinear);
    TRun r;
    while (runs.Next(r)) {
      if (r.Inside)
        pixels(std::false_type{}, r.K, r.Len, r.U, r.V, r.DU, r.DV);
      else
        pixels(std::true_type{}, r.K, r.Len, r.U, r.V, r.DU, r.DV);
    }
  }
}

// Draws every row of a triangle.
using TTriangleFn = void (*)(const TRasterState&, TRows&);

template <int Filter, int Colour, bool Blend, bool Key, bool Z>
void DrawTriangle(const TRasterState& s, TRows& rows) {
  TSpan sp;
  while (rows.Next(sp)) DrawSpan<Filter, Colour, Blend, Key, Z>(s, sp);
}

#if defined(__x86_64__)
#define MOVARA_RM_VECTOR 1
#define RM_AVX2 __attribute__((target("avx2")))

// Lane helpers of the eight-pixel spans.
RM_AVX2 __attribute__((always_inline)) inline __m256i BothHalves(__m256i w) {
  return _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
}
// Green of each pixel in the low byte.
RM_AVX2 __attribute__((always_inline)) inline __m256i GreenOf(__m256i p) {
  return _mm256_and_si256(_mm256_srli_epi32(p, 8), _mm256_set1_epi32(0xFF));
}
// Blue and red in the 16-bit halves.
RM_AVX2 __attribute__((always_inline)) inline __m256i BlueRedOf(__m256i p) {
  return _mm256_and_si256(p, _mm256_set1_epi32(0x00FF00FF));
}
// A pixel from channel sums scaled by 256: blue and red in the halves of rb, green in g.
RM_AVX2 __attribute__((always_inline)) inline __m256i PackSums(__m256i rb, __m256i g) {
  return _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(rb, 8), _mm256_set1_epi32(0x00FF00FF)),
                         _mm256_and_si256(g, _mm256_set1_epi32(0x0000FF00)));
}

// The bilinear mix of four texels by the fractions fx, fy (0..255) of eight pixels.
RM_AVX2 __attribute__((always_inline)) inline __m256i Bilinear(__m256i p00, __m256i p10, __m256i p01, __m256i p11,
                                                               __m256i fx, __m256i fy) {
  const __m256i w11 = _mm256_srli_epi32(_mm256_add_epi32(_mm256_mullo_epi16(fx, fy), _mm256_set1_epi32(128)), 8);
  const __m256i w10 = _mm256_sub_epi32(fx, w11), w01 = _mm256_sub_epi32(fy, w11);
  const __m256i w00 = _mm256_add_epi32(_mm256_sub_epi32(_mm256_sub_epi32(_mm256_set1_epi32(256), fx), fy), w11);
  const __m256i rb = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(BlueRedOf(p00), BothHalves(w00)),
                                                       _mm256_mullo_epi16(BlueRedOf(p10), BothHalves(w10))),
                                      _mm256_add_epi16(_mm256_mullo_epi16(BlueRedOf(p01), BothHalves(w01)),
                                                       _mm256_mullo_epi16(BlueRedOf(p11), BothHalves(w11))));
  const __m256i g = _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi16(GreenOf(p00), w00),
                                                      _mm256_mullo_epi16(GreenOf(p10), w10)),
                                     _mm256_add_epi32(_mm256_mullo_epi16(GreenOf(p01), w01),
                                                      _mm256_mullo_epi16(GreenOf(p11), w11)));
  return PackSums(rb, g);
}
// A texel and its right neighbour in the low 64 bits.
RM_AVX2 __attribute__((always_inline)) inline __m128i TexelPair(const int* tex, int32_t at) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(tex + at));
}
// Of pairs (x0 y0 x1 y1 | x2 y2 x3 y3) in a and b: the first of each pair, in the order
// a0 a1 b0 b1 | a2 a3 b2 b3; OddLanes the second.
RM_AVX2 __attribute__((always_inline)) inline __m256i EvenLanes(__m256i a, __m256i b) {
  return _mm256_castps_si256(
      _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), 0x88));
}
RM_AVX2 __attribute__((always_inline)) inline __m256i OddLanes(__m256i a, __m256i b) {
  return _mm256_castps_si256(
      _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), 0xDD));
}
// 0..255 to 0..256, as Factor.
RM_AVX2 __attribute__((always_inline)) inline __m256i FactorOf(__m256i x) {
  return _mm256_add_epi32(x, _mm256_srli_epi32(x, 7));
}
// Modulate: frb holds the blue factor in the low half and the red one in the high half.
RM_AVX2 __attribute__((always_inline)) inline __m256i ModulateBy(__m256i t, __m256i frb,
                                                                  __m256i fg) {
  return PackSums(_mm256_mullo_epi16(BlueRedOf(t), frb), _mm256_mullo_epi16(GreenOf(t), fg));
}

// What the eight-pixel spans of one triangle share, in lanes.
struct TLaneConstants {
  __m256i UMax, VMax;              // the texture coordinates' upper limits (16.16)
  __m256i InsideU, InsideV;        // the limits of a run that needs no holding, less one
  __m256i Pitch, LastColumn, LastRow;
  __m256i Alpha;                   // flat opacity 0..256
  __m256i FlatRB, FlatG;           // flat colour factors, blue and red in the halves
};

template <int Filter>
RM_AVX2 __attribute__((always_inline)) inline void InitLanes(const TRasterState& s,
                                                            TLaneConstants& k) {
  const int tw = s.TextureWidth, th = s.TextureHeight;
  k.UMax = _mm256_set1_epi32(Filter == fiBilinear ? (tw - 1) << 16 : (tw << 16) - 1);
  k.VMax = _mm256_set1_epi32(Filter == fiBilinear ? (th - 1) << 16 : (th << 16) - 1);
  k.InsideU = _mm256_set1_epi32((Filter == fiBilinear ? (tw - 1) << 16 : tw << 16) - 1);
  k.InsideV = _mm256_set1_epi32((Filter == fiBilinear ? (th - 1) << 16 : th << 16) - 1);
  k.Pitch = _mm256_set1_epi32(static_cast<int32_t>(s.TexturePitch));
  k.LastColumn = _mm256_set1_epi32(tw - 1);
  k.LastRow = _mm256_set1_epi32(th - 1);
  const uint32_t flat = s.FlatColour;
  k.Alpha = _mm256_set1_epi32(static_cast<int32_t>(Factor(flat >> 24)));
  const uint32_t fr = Factor((flat >> 16) & 0xFF), fg = Factor((flat >> 8) & 0xFF),
                 fb = Factor(flat & 0xFF);
  k.FlatRB = _mm256_set1_epi32(static_cast<int32_t>((fr << 16) | fb));
  k.FlatG = _mm256_set1_epi32(static_cast<int32_t>(fg));
}

// Eight pixels of a span from pixel i on (count of them, 1..8) with the texture
// coordinates (u, v) at pixel i stepping by (du, dv): the arithmetic of DrawSpan in
// eight 32-bit lanes. The colour channels are worked on in 16-bit halves (blue and red
// in one, green in the other); every product and sum stays below 65536 there, as the
// weights of a pixel add up to 256. The texture coordinates are always held at the
// texture's edges: inside a run that changes nothing.
template <int Filter, int Colour, bool Blend, bool Z>
RM_AVX2 __attribute__((always_inline)) inline void Pixels8(const TRasterState& s,
                                                           const TLaneConstants& k,
                                                           const TSpan& sp, int i, int count,
                                                           __m256i U, __m256i V, __m256i zi,
                                                           bool inside) {
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i valid = _mm256_cmpgt_epi32(_mm256_set1_epi32(count), lane);
  const __m256i byteMask = _mm256_set1_epi32(0xFF);
  __m256i pass = valid;
  // Eight whole pixels can be read and written back: those beyond the span keep their
  // values. Only at the end of a row the masked loads and stores are needed.
  const bool wide = i + 8 <= sp.Room;
  __m256i oldDepth = _mm256_setzero_si256();
  if constexpr (Z) {
    oldDepth = wide ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sp.Depth + i))
                    : _mm256_maskload_epi32(sp.Depth + i, valid);
    if (s.DepthBias == 0)
      pass = _mm256_andnot_si256(_mm256_cmpgt_epi32(oldDepth, zi), valid);
    else if (s.DepthBias == 1)
      pass = _mm256_and_si256(_mm256_cmpgt_epi32(zi, oldDepth), valid);
    if (_mm256_testz_si256(pass, pass)) return;
  }

  __m256i c;
  if constexpr (Filter == fiNone) {
    c = _mm256_set1_epi32(0xFFFFFF);
  } else {
    const __m256i zero = _mm256_setzero_si256();
    U = _mm256_min_epi32(_mm256_max_epi32(U, zero), k.UMax);
    V = _mm256_min_epi32(_mm256_max_epi32(V, zero), k.VMax);
    const __m256i x0 = _mm256_srai_epi32(U, 16), y0 = _mm256_srai_epi32(V, 16);
    const __m256i pitch = k.Pitch;
    const __m256i at = _mm256_add_epi32(_mm256_mullo_epi32(y0, pitch), x0);
    const int* tex = reinterpret_cast<const int*>(s.Texture);
    if constexpr (Filter == fiNearest) {
      c = _mm256_and_si256(_mm256_mask_i32gather_epi32(zero, tex, at, pass, 4),
                           _mm256_set1_epi32(0xFFFFFF));
    } else {
      // the right and lower neighbours, the texel itself on the last column and row
      const __m256i right = _mm256_cmpgt_epi32(k.LastColumn, x0);  // -1 or 0
      const __m256i down = _mm256_and_si256(_mm256_cmpgt_epi32(k.LastRow, y0), pitch);
      const __m256i at10 = _mm256_sub_epi32(at, right);
      const __m256i at01 = _mm256_add_epi32(at, down);
      const __m256i at11 = _mm256_sub_epi32(at01, right);
      __m256i p00, p10, p01, p11;
      if (inside) {
        // Each texel with its right neighbour in one 8-byte load, which beats gathering
        // four times; lanes without a pixel read the first texel pair.
        alignas(32) int32_t offset[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(offset), _mm256_and_si256(at, valid));
        const int32_t down = static_cast<int32_t>(s.TexturePitch);
        auto pair = [tex](int32_t o) RM_AVX2 { return TexelPair(tex, o); };
        // lanes 0, 1, 4, 5 in a and 2, 3, 6, 7 in b: the shuffles below put them in order
        const __m128i a0 = _mm_unpacklo_epi64(pair(offset[0]), pair(offset[1]));
        const __m128i b0 = _mm_unpacklo_epi64(pair(offset[2]), pair(offset[3]));
        const __m128i c0 = _mm_unpacklo_epi64(pair(offset[0] + down), pair(offset[1] + down));
        const __m128i d0 = _mm_unpacklo_epi64(pair(offset[2] + down), pair(offset[3] + down));
        __m128i a1 = _mm_setzero_si128(), b1 = a1, c1 = a1, d1 = a1;
        if (count > 4) {  // the upper four lanes only when they hold pixels
          a1 = _mm_unpacklo_epi64(pair(offset[4]), pair(offset[5]));
          b1 = _mm_unpacklo_epi64(pair(offset[6]), pair(offset[7]));
          c1 = _mm_unpacklo_epi64(pair(offset[4] + down), pair(offset[5] + down));
          d1 = _mm_unpacklo_epi64(pair(offset[6] + down), pair(offset[7] + down));
        }
        const __m256i a = _mm256_set_m128i(a1, a0), b = _mm256_set_m128i(b1, b0);
        const __m256i c = _mm256_set_m128i(c1, c0), d = _mm256_set_m128i(d1, d0);
        p00 = EvenLanes(a, b);
        p10 = OddLanes(a, b);
        p01 = EvenLanes(c, d);
        p11 = OddLanes(c, d);
      } else {
        p00 = _mm256_mask_i32gather_epi32(zero, tex, at, pass, 4);
        p10 = _mm256_mask_i32gather_epi32(zero, tex, at10, pass, 4);
        p01 = _mm256_mask_i32gather_epi32(zero, tex, at01, pass, 4);
        p11 = _mm256_mask_i32gather_epi32(zero, tex, at11, pass, 4);
      }
      const __m256i fx = _mm256_and_si256(_mm256_srli_epi32(U, 8), byteMask);
      const __m256i fy = _mm256_and_si256(_mm256_srli_epi32(V, 8), byteMask);
      c = Bilinear(p00, p10, p01, p11, fx, fy);
    }
  }

  // Modulation by the colour: factors 0..256 per channel.
  __m256i alpha;  // 0..256 per lane
  if constexpr (Colour == cmGouraud) {
    __m256i f[4];
    for (int k = 0; k < 4; ++k) {
      const __m256i cf = _mm256_add_epi32(_mm256_set1_epi32(Stepped(sp.C[k], i, sp.DC[k])),
                                          _mm256_mullo_epi32(lane, _mm256_set1_epi32(sp.DC[k])));
      f[k] = FactorOf(_mm256_srli_epi32(cf, 16));
    }
    c = ModulateBy(c, _mm256_or_si256(_mm256_slli_epi32(f[0], 16), f[2]), f[1]);
    alpha = f[3];
  } else {
    if constexpr (Colour == cmFlat) c = ModulateBy(c, k.FlatRB, k.FlatG);
    alpha = k.Alpha;
  }

  TRmPixel* const dst = sp.Dst + i;
  const bool full = _mm256_movemask_ps(_mm256_castsi256_ps(pass)) == 0xFF;
  __m256i old = _mm256_setzero_si256();
  if (Blend || (wide && !full))
    old = wide ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst))
               : _mm256_maskload_epi32(reinterpret_cast<const int*>(dst), valid);
  if constexpr (Blend) {
    const __m256i a2 = _mm256_or_si256(alpha, _mm256_slli_epi32(alpha, 16));
    const __m256i na2 = _mm256_sub_epi16(_mm256_set1_epi32(0x01000100), a2);
    const __m256i rb = _mm256_add_epi16(_mm256_mullo_epi16(BlueRedOf(c), a2),
                                        _mm256_mullo_epi16(BlueRedOf(old), na2));
    const __m256i g = _mm256_add_epi16(_mm256_mullo_epi16(GreenOf(c), a2),
                                       _mm256_mullo_epi16(GreenOf(old), na2));
    c = PackSums(rb, g);
  } else {
    (void)alpha;
  }
  if (full)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), c);
  else if (wide)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm256_blendv_epi8(old, c, pass));
  else
    _mm256_maskstore_epi32(reinterpret_cast<int*>(dst), pass, c);
  if constexpr (Z) {
    if (s.DepthWrite) {
      __m256i* const at = reinterpret_cast<__m256i*>(sp.Depth + i);
      if (full)
        _mm256_storeu_si256(at, zi);
      else if (wide)
        _mm256_storeu_si256(at, _mm256_blendv_epi8(oldDepth, zi, pass));
      else
        _mm256_maskstore_epi32(sp.Depth + i, pass, zi);
    }
  }
}

// The rows of a triangle lie a page or more apart in the texture, the target and the
// depth buffer, where the processor's own prefetching does not reach: while a span is
// drawn, the memory of the span kAhead rows further down is fetched, guessed from how the
// texture coordinates moved from the previous row. (It changes no pixel.)
constexpr int kAhead = 4;
struct TAhead {
  bool Valid = false;
  int32_t U = 0, V = 0;  // texture coordinates at the previous span's start
};

RM_AVX2 __attribute__((always_inline)) inline void Prefetch(const void* base, ptrdiff_t bytes) {
  _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(base) +
                                             static_cast<uintptr_t>(bytes)),
               _MM_HINT_T0);
}

template <bool Z>
RM_AVX2 __attribute__((always_inline)) inline void PrefetchTarget(const TRasterState& s,
                                                                  const TSpan& sp) {
  const ptrdiff_t last = static_cast<ptrdiff_t>(sp.N - 1) * 4;
  const ptrdiff_t dst = kAhead * s.TargetPitch * 4;
  Prefetch(sp.Dst, dst);
  Prefetch(sp.Dst, dst + last);
  if constexpr (Z) {
    const ptrdiff_t depth = kAhead * s.DepthPitch * 4;
    Prefetch(sp.Depth, depth);
    Prefetch(sp.Depth, depth + last);
  }
}

RM_AVX2 __attribute__((always_inline)) inline void PrefetchTexture(const TRasterState& s,
                                                                   const TSpan& sp, const TRun& r,
                                                                   TAhead& ahead) {
  if (ahead.Valid) {
    const int64_t umax = static_cast<int64_t>(s.TextureWidth - 1) << 16;
    const int64_t vmax = static_cast<int64_t>(s.TextureHeight - 1) << 16;
    const int64_t u = std::clamp<int64_t>(r.U + int64_t{kAhead} * (r.U - ahead.U), 0, umax);
    const int64_t v = std::clamp<int64_t>(r.V + int64_t{kAhead} * (r.V - ahead.V), 0, vmax);
    const int64_t uEnd = std::clamp<int64_t>(u + int64_t{r.DU} * sp.N, 0, umax);
    const ptrdiff_t row = static_cast<ptrdiff_t>(v >> 16) * s.TexturePitch * 4;
    const ptrdiff_t below = (v >> 16) < s.TextureHeight - 1 ? s.TexturePitch * 4 : 0;
    const ptrdiff_t x0 = static_cast<ptrdiff_t>(u >> 16) * 4, x1 = static_cast<ptrdiff_t>(uEnd >> 16) * 4;
    Prefetch(s.Texture, row + x0);
    Prefetch(s.Texture, row + below + x0);
    Prefetch(s.Texture, row + x1);
    Prefetch(s.Texture, row + below + x1);
  }
  ahead.Valid = true;
  ahead.U = r.U;
  ahead.V = r.V;
}

// Lanes a + k * d for k = 0 .. 7, wrapping.
RM_AVX2 __attribute__((always_inline)) inline __m256i Steps(int32_t a, int32_t d) {
  return _mm256_add_epi32(_mm256_set1_epi32(a),
                          _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                             _mm256_set1_epi32(d)));
}

// The stepped depth of pixels i .. i + 7 of a span.
template <bool Z>
RM_AVX2 __attribute__((always_inline)) inline __m256i DepthLanes(const TSpan& sp, int i) {
  if constexpr (Z)
    return Steps(Stepped(sp.Z, i, sp.DZ), sp.DZ);
  else
    return _mm256_setzero_si256();
}

// RoundToInt of four doubles, as four int32.
RM_AVX2 __attribute__((always_inline)) inline __m128i RoundLanes(__m256d x) {
  const __m256d half = _mm256_or_pd(_mm256_and_pd(x, _mm256_set1_pd(-0.0)), _mm256_set1_pd(0.5));
  return _mm256_cvttpd_epi32(_mm256_add_pd(x, half));
}

// a + d * k for k = 0 .. 3 and 4 .. 7, in the order of operations of the pixel spans.
RM_AVX2 __attribute__((always_inline)) inline void PlaneLanes(double a, double d, __m256d& lo,
                                                             __m256d& hi) {
  const __m256d va = _mm256_set1_pd(a), vd = _mm256_set1_pd(d);
  lo = _mm256_add_pd(va, _mm256_mul_pd(vd, _mm256_setr_pd(0, 1, 2, 3)));
  hi = _mm256_add_pd(va, _mm256_mul_pd(vd, _mm256_setr_pd(4, 5, 6, 7)));
}

// The exact lanes of a short span (ShortTexel, ShortDepth): u and v with the run's
// "inside" test, and the depth.
template <int Filter, bool Z>
RM_AVX2 __attribute__((always_inline)) inline void ShortLanes(const TRasterState& s,
                                                              const TLaneConstants& k,
                                                              const TSpan& sp, __m256i& U,
                                                              __m256i& V, __m256i& zi,
                                                              bool& inside) {
  __m256d qlo, qhi;
  PlaneLanes(sp.Q, sp.DQ, qlo, qhi);
  if constexpr (Z) {
    auto depth = [](__m256d q) RM_AVX2 {
      q = _mm256_min_pd(_mm256_max_pd(q, _mm256_setzero_pd()), _mm256_set1_pd(127.0));
      return RoundLanes(_mm256_mul_pd(q, _mm256_set1_pd(kDepthScale)));
    };
    zi = _mm256_set_m128i(depth(qhi), depth(qlo));
  }
  if constexpr (Filter != fiNone) {
    __m256d ulo, uhi, vlo, vhi;
    PlaneLanes(sp.U, sp.DU, ulo, uhi);
    PlaneLanes(sp.V, sp.DV, vlo, vhi);
    if (s.Perspective) {
      const __m256d one = _mm256_set1_pd(1.0), tiny = _mm256_set1_pd(1e-9);
      const __m256d wlo = _mm256_div_pd(one, _mm256_max_pd(tiny, qlo));
      const __m256d whi = _mm256_div_pd(one, _mm256_max_pd(tiny, qhi));
      ulo = _mm256_mul_pd(ulo, wlo);
      uhi = _mm256_mul_pd(uhi, whi);
      vlo = _mm256_mul_pd(vlo, wlo);
      vhi = _mm256_mul_pd(vhi, whi);
    }
    auto fixed = [](__m256d t) RM_AVX2 {
      t = _mm256_min_pd(_mm256_max_pd(t, _mm256_set1_pd(-16384.0)), _mm256_set1_pd(16384.0));
      return RoundLanes(_mm256_mul_pd(t, _mm256_set1_pd(65536.0)));
    };
    U = _mm256_set_m128i(fixed(uhi), fixed(ulo));
    V = _mm256_set_m128i(fixed(vhi), fixed(vlo));
    const __m256i valid =
        _mm256_cmpgt_epi32(_mm256_set1_epi32(sp.N), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256i out = _mm256_or_si256(
        _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), U),
                        _mm256_cmpgt_epi32(_mm256_setzero_si256(), V)),
        _mm256_or_si256(_mm256_cmpgt_epi32(U, k.InsideU), _mm256_cmpgt_epi32(V, k.InsideV)));
    inside = _mm256_testz_si256(out, valid) && s.TextureWidth > 1 && s.TextureHeight > 1;
  }
}

template <int Filter, int Colour, bool Blend, bool Z>
RM_AVX2 __attribute__((always_inline)) inline void DrawSpanVector(const TRasterState& s,
                                                                  const TLaneConstants& k,
                                                                  const TSpan& sp, TAhead& ahead) {
  PrefetchTarget<Z>(s, sp);
  const __m256i none = _mm256_setzero_si256();
  if (sp.N <= kShortSpan) {
    __m256i U = none, V = none, zi = none;
    bool inside = false;
    ShortLanes<Filter, Z>(s, k, sp, U, V, zi, inside);
    if constexpr (Filter != fiNone) {
      TRun r;  // for the prefetch: the start and the step of the span
      r.U = _mm256_cvtsi256_si32(U);
      r.V = _mm256_cvtsi256_si32(V);
      r.DU = _mm256_extract_epi32(U, 1) - r.U;
      PrefetchTexture(s, sp, r, ahead);
    }
    Pixels8<Filter, Colour, Blend, Z>(s, k, sp, 0, sp.N, U, V, zi, inside);
    return;
  }
  if constexpr (Filter == fiNone) {
    (void)ahead;
    for (int i = 0; i < sp.N; i += 8)
      Pixels8<Filter, Colour, Blend, Z>(s, k, sp, i, std::min(8, sp.N - i), none, none,
                                        DepthLanes<Z>(sp, i), false);
  } else {
    TRunWalker runs(s, sp, Filter == fiBilinear);
    // pairs of texels need a right and a lower neighbour for every texel
    const bool pairs = s.TextureWidth > 1 && s.TextureHeight > 1;
    TRun r;
    bool first = true;
    while (runs.Next(r)) {
      if (first) {
        PrefetchTexture(s, sp, r, ahead);
        first = false;
      }
      const bool inside = pairs && r.Inside;
      Pixels8<Filter, Colour, Blend, Z>(s, k, sp, r.K, std::min(8, r.Len), Steps(r.U, r.DU),
                                        Steps(r.V, r.DV), DepthLanes<Z>(sp, r.K), inside);
      if (r.Len > 8)
        Pixels8<Filter, Colour, Blend, Z>(
            s, k, sp, r.K + 8, r.Len - 8, Steps(Stepped(r.U, 8, r.DU), r.DU),
            Steps(Stepped(r.V, 8, r.DV), r.DV), DepthLanes<Z>(sp, r.K + 8), inside);
    }
  }
}

template <int Filter, int Colour, bool Blend, bool Z>
RM_AVX2 void DrawTriangleVector(const TRasterState& s, TRows& rows) {
  TLaneConstants k;
  InitLanes<Filter>(s, k);
  TSpan sp;
  TAhead ahead;
  while (rows.Next(sp)) DrawSpanVector<Filter, Colour, Blend, Z>(s, k, sp, ahead);
}

bool DetectVector() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
const bool gVectorSupported = DetectVector();
// switched by tests and the command line while render threads may draw
std::atomic<bool> gVectorEnabled{gVectorSupported};

template <int F, int C, bool B>
TTriangleFn PickVectorZ(bool z) {
  return z ? &DrawTriangleVector<F, C, B, true> : &DrawTriangleVector<F, C, B, false>;
}
template <int F>
TTriangleFn PickVector(int colour, bool blend, bool z) {
  switch (colour) {
    case cmFlat: return blend ? PickVectorZ<F, cmFlat, true>(z) : PickVectorZ<F, cmFlat, false>(z);
    case cmGouraud:
      return blend ? PickVectorZ<F, cmGouraud, true>(z) : PickVectorZ<F, cmGouraud, false>(z);
    default: return blend ? PickVectorZ<F, cmWhite, true>(z) : PickVectorZ<F, cmWhite, false>(z);
  }
}
#endif  // __x86_64__

template <int F, int C, bool B, bool K>
TTriangleFn PickZ(bool z) {
  return z ? &DrawTriangle<F, C, B, K, true> : &DrawTriangle<F, C, B, K, false>;
}
template <int F, int C, bool B>
TTriangleFn PickKey(bool key, bool z) {
  if constexpr (F == fiNone) {
    (void)key;
    return PickZ<F, C, B, false>(z);
  } else {
    return key ? PickZ<F, C, B, true>(z) : PickZ<F, C, B, false>(z);
  }
}
template <int F, int C>
TTriangleFn PickBlend(bool blend, bool key, bool z) {
  return blend ? PickKey<F, C, true>(key, z) : PickKey<F, C, false>(key, z);
}
template <int F>
TTriangleFn PickColour(int colour, bool blend, bool key, bool z) {
  switch (colour) {
    case cmFlat: return PickBlend<F, cmFlat>(blend, key, z);
    case cmGouraud: return PickBlend<F, cmGouraud>(blend, key, z);
    default: return PickBlend<F, cmWhite>(blend, key, z);
  }
}
TTriangleFn PickTriangle(const TRasterState& s, bool z) {
  const bool key = s.Keyed && s.Filter != fiNone;
#ifdef MOVARA_RM_VECTOR
  // The eight-pixel spans know no colour key and the three depth tests only.
  const bool knownBias = s.DepthBias == 0 || s.DepthBias == 1 || s.DepthBias <= INT32_MIN;
  if (gVectorEnabled && !key && (!z || knownBias)) {
    switch (s.Filter) {
      case fiNearest: return PickVector<fiNearest>(s.Colour, s.Blend, z);
      case fiBilinear: return PickVector<fiBilinear>(s.Colour, s.Blend, z);
      default: return PickVector<fiNone>(s.Colour, s.Blend, z);
    }
  }
#endif
  switch (s.Filter) {
    case fiNearest: return PickColour<fiNearest>(s.Colour, s.Blend, key, z);
    case fiBilinear: return PickColour<fiBilinear>(s.Colour, s.Blend, key, z);
    default: return PickColour<fiNone>(s.Colour, s.Blend, key, z);
  }
}

// ---------------------------------------------------------------------------------------
// Upright quads (TRows::Upright): the texture column of every pixel, its bilinear weight
// and the depth are the same on every row, so the columns are sampled once per quad and
// each row only looks its texels up and blends. The coordinates are taken exactly as the
// spans above take them (runs, their 16.16 steps, the holding at the edges), so both ways
// give the same pixels and depth; the tests compare them.

// Widest span sampled this way (the table lives on the stack); wider views take the
// spans above.
constexpr int kUprightSpan = 4096;

// The texture columns of one span, remembered with what they were made from.
struct TUprightColumns {
  int64_t Room = -1;  // with N: where the span lies in its row
  int N = 0;
  uint64_t U = 0, DU = 0, Q = 0;  // bits of the span's planes
  // Nearest: the texel column. Bilinear: the left and right texel columns (the same on
  // the last column) and the horizontal weight 0..255.
  int32_t X0[kUprightSpan], X1[kUprightSpan];
  uint8_t Fx[kUprightSpan];
  // Eight columns from 8 g on that lie within sixteen texels of the row (Near[g]):
  // their first texel Base[g] and the columns counted from there (L0, L1), so that two
  // loads and a shuffle fetch them.
  bool Near[kUprightSpan / 8];
  int32_t Base[kUprightSpan / 8];
  uint8_t L0[kUprightSpan], L1[kUprightSpan];
};

// One row's texture rows, weight and depth.
struct TUprightRow {
  const TRmPixel* Row0 = nullptr;
  const TRmPixel* Row1 = nullptr;  // the lower row (Row0 on the last one)
  uint32_t Fy = 0;
  int32_t Z = 0;
};

inline uint64_t Bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

// Texture coordinates of pixel k of a short span (DrawSpan's own formula).
inline void ShortTexel(const TRasterState& s, const TSpan& sp, int k, int32_t& u, int32_t& v) {
  const double q = sp.Q + sp.DQ * k;
  const double uq = sp.U + sp.DU * k, vq = sp.V + sp.DV * k;
  if (s.Perspective) {
    const double w = 1.0 / std::max(q, 1e-9);
    u = TexelFixed(uq * w);
    v = TexelFixed(vq * w);
  } else {
    u = TexelFixed(uq);
    v = TexelFixed(vq);
  }
}

// The span's texture row (v is the same at every pixel of an upright span) and, when the
// columns are not those of the last span, its columns.
template <int Filter>
void UprightSpan(const TRasterState& s, const TSpan& sp, TUprightColumns& c, TUprightRow& row) {
  constexpr bool bilinear = Filter == fiBilinear;
  const int tw = s.TextureWidth, th = s.TextureHeight;
  const int32_t umax = bilinear ? (tw - 1) << 16 : (tw << 16) - 1;
  const int32_t vmax = bilinear ? (th - 1) << 16 : (th << 16) - 1;
  const bool same = c.Room == sp.Room && c.N == sp.N && c.U == Bits(sp.U) &&
                    c.DU == Bits(sp.DU) && c.Q == Bits(sp.Q);
  int32_t v = 0;
  auto column = [&](int k, int32_t u) {
    const int32_t uc = std::clamp(u, 0, umax);
    const int32_t x0 = uc >> 16;
    c.X0[k] = x0;
    if constexpr (bilinear) {
      c.X1[k] = x0 < tw - 1 ? x0 + 1 : x0;
      c.Fx[k] = static_cast<uint8_t>(static_cast<uint32_t>(uc) >> 8);
    }
  };
  if (sp.N <= kShortSpan) {
    int32_t u = 0;
    ShortTexel(s, sp, 0, u, v);
    if (!same)
      for (int k = 0; k < sp.N; ++k) {
        int32_t w = 0;
        ShortTexel(s, sp, k, u, w);
        column(k, u);
      }
  } else {
    TRunWalker runs(s, sp, bilinear);
    TRun r;
    bool first = true;
    while (runs.Next(r)) {
      if (first) v = r.V;
      first = false;
      if (same) break;
      uint32_t u = static_cast<uint32_t>(r.U);
      for (int k = r.K; k < r.K + r.Len; ++k, u += static_cast<uint32_t>(r.DU))
        column(k, static_cast<int32_t>(u));
    }
  }
  if (!same) {
    for (int g = 0; g < sp.N / 8; ++g) {
      const int32_t* x0 = c.X0 + 8 * g;
      const int32_t* x1 = bilinear ? c.X1 + 8 * g : x0;
      int32_t lo = x0[0], hi = x0[0];
      for (int k = 0; k < 8; ++k) {
        lo = std::min({lo, x0[k], x1[k]});
        hi = std::max({hi, x0[k], x1[k]});
      }
      const int32_t base = std::min(lo, tw - 16);
      c.Near[g] = tw >= 16 && hi - base < 16;
      c.Base[g] = base;
      for (int k = 0; k < 8; ++k) {
        c.L0[8 * g + k] = static_cast<uint8_t>(x0[k] - base);  // 0..15 when Near
        c.L1[8 * g + k] = static_cast<uint8_t>(x1[k] - base);
      }
    }
    c.Room = sp.Room;
    c.N = sp.N;
    c.U = Bits(sp.U);
    c.DU = Bits(sp.DU);
    c.Q = Bits(sp.Q);
  }
  const int32_t vc = std::clamp(v, 0, vmax);
  const int y0 = vc >> 16;
  row.Row0 = s.Texture + static_cast<ptrdiff_t>(y0) * s.TexturePitch;
  row.Row1 = bilinear && y0 < th - 1 ? row.Row0 + s.TexturePitch : row.Row0;
  row.Fy = (static_cast<uint32_t>(vc) >> 8) & 0xFF;
  row.Z = DepthFixed(sp.Q);
}

// Pixels from .. to of an upright span, one at a time: DrawSpan's arithmetic.
template <int Filter, int Colour, bool Blend, bool Z>
__attribute__((always_inline)) inline void UprightPixels(const TRasterState& s,
                                                         const TUprightColumns& c,
                                                         const TUprightRow& row, const TSpan& sp,
                                                         int from, int to) {
  const uint32_t flat = s.FlatColour;
  const uint32_t flatR = Factor((flat >> 16) & 0xFF), flatG = Factor((flat >> 8) & 0xFF),
                 flatB = Factor(flat & 0xFF), a = Factor(flat >> 24);
  const int64_t bias = s.DepthBias;
  const bool depthWrite = s.DepthWrite;
  TRmPixel* __restrict const dst = sp.Dst;
  int32_t* __restrict const depth = sp.Depth;
  const uint32_t fy = row.Fy;
  for (int i = from; i < to; ++i) {
    if constexpr (Z) {
      if (!(static_cast<int64_t>(row.Z) >= static_cast<int64_t>(depth[i]) + bias)) continue;
    }
    uint32_t p;
    if constexpr (Filter == fiNearest) {
      p = row.Row0[c.X0[i]] & 0xFFFFFF;
    } else {
      const uint32_t fx = static_cast<uint32_t>(c.Fx[i]);
      const uint32_t w11 = (fx * fy + 128) >> 8;
      const uint32_t w10 = fx - w11, w01 = fy - w11, w00 = 256 - fx - fy + w11;
      const uint64_t sum = Expand(row.Row0[c.X0[i]]) * w00 + Expand(row.Row0[c.X1[i]]) * w10 +
                           Expand(row.Row1[c.X0[i]]) * w01 + Expand(row.Row1[c.X1[i]]) * w11;
      p = Pack((sum >> 8) & kLanes);
    }
    if constexpr (Colour == cmFlat) p = Modulate(p, flatR, flatG, flatB);
    if constexpr (Blend) {
      const uint64_t mix = Expand(p) * a + Expand(dst[i]) * (256 - a);
      p = Pack((mix >> 8) & kLanes);
    }
    dst[i] = p;
    if constexpr (Z) {
      if (depthWrite) depth[i] = row.Z;
    }
  }
}

template <int Filter, int Colour, bool Blend, bool Z>
void DrawUpright(const TRasterState& s, TRows& rows) {
  TUprightColumns c;
  TUprightRow row;
  TSpan sp;
  while (rows.Next(sp)) {
    UprightSpan<Filter>(s, sp, c, row);
    UprightPixels<Filter, Colour, Blend, Z>(s, c, row, sp, 0, sp.N);
  }
}

#ifdef MOVARA_RM_VECTOR
// Eight int32 as lanes; eight bytes as lanes.
RM_AVX2 __attribute__((always_inline)) inline __m256i Lanes(const int32_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
RM_AVX2 __attribute__((always_inline)) inline __m256i Bytes8(const uint8_t* p) {
  return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

// The texels base[k] for lanes k of 0..15.
RM_AVX2 __attribute__((always_inline)) inline __m256i Shuffled(const int* base, __m256i k) {
  const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base));
  const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + 8));
  return _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(lo, k),
                            _mm256_permutevar8x32_epi32(hi, k),
                            _mm256_cmpgt_epi32(k, _mm256_set1_epi32(7)));
}

// The same eight pixels at a time; a row's last few pixels go one at a time.
template <int Filter, int Colour, bool Blend, bool Z>
RM_AVX2 void DrawUprightVector(const TRasterState& s, TRows& rows) {
  TUprightColumns c;
  TUprightRow row;
  TSpan sp;
  const uint32_t flat = s.FlatColour;
  const uint32_t fr = Factor((flat >> 16) & 0xFF), fg = Factor((flat >> 8) & 0xFF),
                 fb = Factor(flat & 0xFF), fa = Factor(flat >> 24);
  const __m256i flatRB = _mm256_set1_epi32(static_cast<int32_t>((fr << 16) | fb));
  const __m256i flatG = _mm256_set1_epi32(static_cast<int32_t>(fg));
  const __m256i a2 = _mm256_set1_epi32(static_cast<int32_t>(fa | (fa << 16)));
  const __m256i na2 = _mm256_sub_epi16(_mm256_set1_epi32(0x01000100), a2);
  const __m256i ones = _mm256_set1_epi32(-1), rgb = _mm256_set1_epi32(0xFFFFFF);
  const bool always = s.DepthBias <= INT32_MIN;
  const bool less = s.DepthBias == 1;
  const bool depthWrite = s.DepthWrite;
  while (rows.Next(sp)) {
    UprightSpan<Filter>(s, sp, c, row);
    const __m256i z = _mm256_set1_epi32(row.Z);
    const __m256i fy = _mm256_set1_epi32(static_cast<int32_t>(row.Fy));
    const int* row0 = reinterpret_cast<const int*>(row.Row0);
    const int* row1 = reinterpret_cast<const int*>(row.Row1);
    int i = 0;
    for (; i + 8 <= sp.N; i += 8) {
      __m256i pass = ones, oldZ = ones;
      if constexpr (Z) {
        oldZ = Lanes(sp.Depth + i);
        if (!always) {
          pass = less ? _mm256_cmpgt_epi32(z, oldZ)
                      : _mm256_xor_si256(_mm256_cmpgt_epi32(oldZ, z), ones);
          if (_mm256_testz_si256(pass, pass)) continue;
        }
      }
      const bool near = c.Near[i / 8];
      const __m256i x0 = near ? Bytes8(c.L0 + i) : Lanes(c.X0 + i);
      const int* const base0 = near ? row0 + c.Base[i / 8] : row0;
      __m256i p;
      if constexpr (Filter == fiNearest) {
        p = _mm256_and_si256(near ? Shuffled(base0, x0) : _mm256_i32gather_epi32(row0, x0, 4), rgb);
      } else {
        const __m256i x1 = near ? Bytes8(c.L1 + i) : Lanes(c.X1 + i);
        __m256i p00, p10, p01, p11;
        if (near) {  // the compiler loads each row's sixteen texels once
          const int* const base1 = row1 + c.Base[i / 8];
          p00 = Shuffled(base0, x0);
          p10 = Shuffled(base0, x1);
          p01 = Shuffled(base1, x0);
          p11 = Shuffled(base1, x1);
        } else {
          p00 = _mm256_i32gather_epi32(row0, x0, 4);
          p10 = _mm256_i32gather_epi32(row0, x1, 4);
          p01 = _mm256_i32gather_epi32(row1, x0, 4);
          p11 = _mm256_i32gather_epi32(row1, x1, 4);
        }
        const __m256i fx = Bytes8(c.Fx + i);
        p = Bilinear(p00, p10, p01, p11, fx, fy);
      }
      if constexpr (Colour == cmFlat) p = ModulateBy(p, flatRB, flatG);
      __m256i* const at = reinterpret_cast<__m256i*>(sp.Dst + i);
      const __m256i old = _mm256_loadu_si256(at);
      if constexpr (Blend) {
        const __m256i rb = _mm256_add_epi16(_mm256_mullo_epi16(BlueRedOf(p), a2),
                                            _mm256_mullo_epi16(BlueRedOf(old), na2));
        const __m256i g = _mm256_add_epi16(_mm256_mullo_epi16(GreenOf(p), a2),
                                           _mm256_mullo_epi16(GreenOf(old), na2));
        p = PackSums(rb, g);
      }
      if constexpr (Z) {
        _mm256_storeu_si256(at, _mm256_blendv_epi8(old, p, pass));
        if (depthWrite)
          _mm256_storeu_si256(reinterpret_cast<__m256i*>(sp.Depth + i),
                              _mm256_blendv_epi8(oldZ, z, pass));
      } else {
        (void)old;
        _mm256_storeu_si256(at, p);
      }
    }
    UprightPixels<Filter, Colour, Blend, Z>(s, c, row, sp, i, sp.N);
  }
}
#endif

using TUprightFn = void (*)(const TRasterState&, TRows&);

template <int F, int C, bool B, bool Z>
TUprightFn PickUprightWay(bool vector) {
#ifdef MOVARA_RM_VECTOR
  if (vector) return &DrawUprightVector<F, C, B, Z>;
#else
  (void)vector;
#endif
  return &DrawUpright<F, C, B, Z>;
}
template <int F, int C>
TUprightFn PickUprightBlend(bool blend, bool z, bool vector) {
  if (blend)
    return z ? PickUprightWay<F, C, true, true>(vector) : PickUprightWay<F, C, true, false>(vector);
  return z ? PickUprightWay<F, C, false, true>(vector)
           : PickUprightWay<F, C, false, false>(vector);
}
template <int F>
TUprightFn PickUprightColour(const TRasterState& s, bool z, bool vector) {
  return s.Colour == cmFlat ? PickUprightBlend<F, cmFlat>(s.Blend, z, vector)
                            : PickUprightBlend<F, cmWhite>(s.Blend, z, vector);
}

std::atomic<bool> gUprightEnabled{true};
std::atomic<uint64_t> gUprightDrawn{0};

// The upright way for a quad, or nullptr when it must take the spans above (a colour
// key, no texture, Gouraud colours, a view wider than the column table).
TUprightFn PickUpright(const TRasterState& s, TRows& rows) {
  if (!gUprightEnabled.load(std::memory_order_relaxed) || !rows.Upright() || s.Keyed ||
      s.Filter == fiNone || s.Colour == cmGouraud || s.ClipRight - s.ClipLeft > kUprightSpan)
    return nullptr;
  const bool z = rows.Depth();
#ifdef MOVARA_RM_VECTOR
  const bool knownBias = s.DepthBias == 0 || s.DepthBias == 1 || s.DepthBias <= INT32_MIN;
  const bool vector = gVectorEnabled && (!z || knownBias);
#else
  const bool vector = false;
#endif
  return s.Filter == fiBilinear ? PickUprightColour<fiBilinear>(s, z, vector)
                                : PickUprightColour<fiNearest>(s, z, vector);
}

}  // namespace

void RasterTriangle(const TRasterState& s, const TRasterVertex& a, const TRasterVertex& b,
                    const TRasterVertex& c) {
  const TRasterVertex* v[3] = {&a, &b, &c};
  TRows rows;
  if (!rows.Init(s, v, 3)) return;
  PickTriangle(s, rows.Depth())(s, rows);
}

bool QuadIsFlat(const TRasterState& s, const TRasterVertex& a, const TRasterVertex& b,
                const TRasterVertex& c, const TRasterVertex& d) {
  // d in barycentric coordinates of a, b, c, from the snapped screen positions
  const double ax = static_cast<double>(a.X), ay = static_cast<double>(a.Y);
  const double bx = static_cast<double>(b.X) - ax, by = static_cast<double>(b.Y) - ay;
  const double cx = static_cast<double>(c.X) - ax, cy = static_cast<double>(c.Y) - ay;
  const double dx = static_cast<double>(d.X) - ax, dy = static_cast<double>(d.Y) - ay;
  const double det = bx * cy - cx * by;
  if (det == 0) return false;
  const double wb = (dx * cy - cx * dy) / det, wc = (bx * dy - dx * by) / det;
  auto at = [&](double va, double vb, double vc) { return va + (vb - va) * wb + (vc - va) * wc; };
  const double q = at(a.Q, b.Q, c.Q);
  if (!(std::fabs(q - d.Q) <= 1e-4 * std::fabs(d.Q))) return false;
  if (s.Filter == fiNone) return true;
  // texture coordinates within 1/64 texel (the snapping of the corners moves them)
  const double u = at(a.U, b.U, c.U), v = at(a.V, b.V, c.V);
  const double w = s.Perspective ? 1.0 / q : 1.0, wd = s.Perspective ? 1.0 / d.Q : 1.0;
  return std::fabs(u * w - d.U * wd) <= 1.0 / 64 && std::fabs(v * w - d.V * wd) <= 1.0 / 64;
}

void RasterQuad(const TRasterState& s, const TRasterVertex& a, const TRasterVertex& b,
                const TRasterVertex& c, const TRasterVertex& d) {
  const TRasterVertex* v[4] = {&a, &b, &c, &d};
  TRows rows;
  if (!rows.Init(s, v, 4)) return;
  if (TUprightFn upright = PickUpright(s, rows)) {
    upright(s, rows);
    gUprightDrawn.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  PickTriangle(s, rows.Depth())(s, rows);
}

bool VectorSpansSupported() {
#ifdef MOVARA_RM_VECTOR
  return gVectorSupported;
#else
  return false;
#endif
}

bool VectorSpansEnabled() {
#ifdef MOVARA_RM_VECTOR
  return gVectorEnabled;
#else
  return false;
#endif
}

void EnableVectorSpans(bool on) {
#ifdef MOVARA_RM_VECTOR
  gVectorEnabled = on && gVectorSupported;
#else
  (void)on;
#endif
}

bool UprightQuadsEnabled() { return gUprightEnabled; }
void EnableUprightQuads(bool on) { gUprightEnabled = on; }
uint64_t UprightQuadsDrawn() { return gUprightDrawn.load(std::memory_order_relaxed); }

}  // namespace movara::rm
