#pragma once
// The triangle rasteriser of the renderer (internal to render3d).
//
// Screen coordinates put pixel centres on whole numbers, as the platform's rasteriser
// did: pixel (px, py) is sampled at (px, py). Vertices are snapped to 1/256 pixel and
// edges are walked in exact integer arithmetic with the top-left rule: a pixel whose
// centre lies exactly on an edge belongs to the triangle when the edge is a left edge
// or a horizontal top edge. Triangles that share an edge therefore never leave a gap
// and never draw a pixel twice.
//
// Attributes are planes over the screen: 1/w (the inverse camera distance), u/w and v/w
// for perspective-correct texturing, and the colour for Gouraud shading. Spans are cut
// into runs of 16 pixels whose end points are divided exactly (a span of one run divides
// once for both ends); inside a run the texture coordinates step in 16.16 fixed point. The depth buffer holds 1/w in 7.24 fixed point
// (0 = cleared, far away).
//
// On processors with AVX2 the spans are drawn eight pixels at a time with the same
// integer arithmetic, so both ways give the same pixels (the tests compare them); they
// also prefetch the memory of the rows below, which lies pages apart.
//
// Setup works in plain double arithmetic (no library functions in the per-pixel path,
// rounding by hand); with IEEE doubles and no fused multiply-add contraction (the ISO
// C++ mode of the build) every machine computes the same pixels.
#include <cstddef>
#include <cstdint>

#include "platform/render3d/RmSurface.h"

namespace movara::rm {

inline constexpr int kSubPixelBits = 8;
inline constexpr int kSubPixel = 1 << kSubPixelBits;
inline constexpr double kDepthScale = 16777216.0;  // 1/w to depth-buffer units

enum TFilter : int { fiNone = 0, fiNearest = 1, fiBilinear = 2 };
// White: the texture unchanged (colour white; alpha still blends). Flat: one colour
// modulates the whole triangle. Gouraud: the colour is interpolated.
enum TColourMode : int { cmWhite = 0, cmFlat = 1, cmGouraud = 2 };

struct TRasterVertex {
  int64_t X = 0, Y = 0;   // snapped screen position, 1/256 pixel
  double Q = 0;           // 1 / camera distance
  double U = 0, V = 0;    // texel coordinates (already times Q when perspective)
  double C[4] = {0, 0, 0, 0};  // red, green, blue, alpha 0..255 (Gouraud only)
};

// Everything a triangle needs besides its vertices.
struct TRasterState {
  // Target rows: Row(y) = target + y * targetPitch (pixels); the scissor rectangle.
  TRmPixel* Target = nullptr;
  ptrdiff_t TargetPitch = 0;
  int ClipLeft = 0, ClipTop = 0, ClipRight = 0, ClipBottom = 0;
  int RowLength = 0;  // pixels in a row of the target and of the depth buffer
  int32_t* Depth = nullptr;  // same layout as the target, depthPitch apart
  ptrdiff_t DepthPitch = 0;
  bool DepthTest = false;
  bool DepthWrite = false;
  int64_t DepthBias = 0;  // pass when new >= old + bias (0: less-or-equal, 1: less)
  // Texture: Row(0) and the pitch in pixels.
  const TRmPixel* Texture = nullptr;
  ptrdiff_t TexturePitch = 0;
  int TextureWidth = 0, TextureHeight = 0;
  bool Keyed = false;
  TRmPixel Key = 0;
  TFilter Filter = fiNone;
  bool Perspective = true;
  TColourMode Colour = cmWhite;
  uint32_t FlatColour = 0xFFFFFFFF;  // D3DCOLOR for cmWhite (alpha) and cmFlat
  bool Blend = false;
};

// Draws one triangle in any winding (culling is the caller's business).
void RasterTriangle(const TRasterState& state, const TRasterVertex& a, const TRasterVertex& b,
                    const TRasterVertex& c);

// Draws a convex quad a, b, c, d (in order around it) as two triangles sharing the edge
// a - c would cover it, with every attribute taken from the plane of a, b and c: the
// caller checks with QuadIsFlat that d lies in that plane.
void RasterQuad(const TRasterState& state, const TRasterVertex& a, const TRasterVertex& b,
                const TRasterVertex& c, const TRasterVertex& d);
// Whether d lies in the attribute plane of a, b, c: 1/w within 1e-4 of itself, texture
// coordinates within 1/64 texel.
bool QuadIsFlat(const TRasterState& state, const TRasterVertex& a, const TRasterVertex& b,
                const TRasterVertex& c, const TRasterVertex& d);

// Upright quads: a quad at one depth whose texture runs along its rows and columns (a
// plain scale, no perspective change), drawn without a colour key and in one colour,
// samples its texture columns once for all rows and blends row by row; the pixels and
// depth are those of the spans. On by default; switching it off draws every quad by its
// spans (tests and benchmarks compare both ways). UprightQuadsDrawn counts the quads
// drawn that way since the start of the process.
bool UprightQuadsEnabled();
void EnableUprightQuads(bool on);
uint64_t UprightQuadsDrawn();

// The eight-pixel spans: whether the processor has them, and switching them off (tests
// compare both ways; switching on is ignored where they are missing).
bool VectorSpansSupported();
bool VectorSpansEnabled();
void EnableVectorSpans(bool on);

}  // namespace movara::rm
