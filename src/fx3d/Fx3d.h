#pragma once
// The transition-effect framework: the shared frame buffers that the running effect
// writes on every step, the view adjustment, the vertex functions and the base class
// TFx3d of every effect. A step runs from 0 (the first picture fills the view) to 1000
// (the second picture fills the view).
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>

#include "base/Exceptions.h"
#include "platform/render3d/RmVertex.h"

namespace movara {

MOVARA_EXCEPTION(EFx3d);

// The 36-byte vertex handed to the renderer as it is.
using TFxVertex = TRmVertex;

// Capacity of each shared buffer: vertices, or face indices (three per triangle).
inline constexpr int FxBufferCapacity = 4096;

// Set in a stored effect reference when the effect runs backwards (step 1000 down to 0).
inline constexpr int32_t ReverseFlag = 0x20000000;

// Process-wide frame buffers, zero at program start, rewritten by the running effect.
extern TFxVertex FxFrontVertices[FxBufferCapacity];
extern int32_t FxFrontFaces[FxBufferCapacity];
extern TFxVertex FxBackVertices[FxBufferCapacity];
extern int32_t FxBackFaces[FxBufferCapacity];

// View adjustment applied by Execute after DoFrame (scale 1 and offset 0 at start).
extern float FxScaleX;
extern float FxScaleY;
extern float FxOffsetX;
extern float FxOffsetY;

// Sets the view adjustment for a render surface of W x H pixels: the offsets move the
// picture by 0.85 / max(W, H) left and up; the shorter side is scaled by H / W or W / H.
// A surface without area leaves the values unchanged.
void SetFxViewAdjustment(int W, int H);
// Back to scale 1 and offset 0.
void ResetFxViewAdjustment();

enum TFxOption : uint8_t { foAlphaBlend = 0, foBackMesh = 1 };

// A small set of TFxOption.
class TFxOptions {
 public:
  constexpr TFxOptions() = default;
  constexpr TFxOptions(std::initializer_list<TFxOption> options) {
    for (TFxOption o : options) bits_ |= Bit(o);
  }
  constexpr bool Contains(TFxOption o) const { return (bits_ & Bit(o)) != 0; }
  constexpr void Include(TFxOption o) { bits_ |= Bit(o); }
  constexpr void Exclude(TFxOption o) { bits_ &= static_cast<uint8_t>(~Bit(o)); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint8_t Bits() const { return bits_; }
  friend constexpr bool operator==(TFxOptions a, TFxOptions b) { return a.bits_ == b.bits_; }

 private:
  static constexpr uint8_t Bit(TFxOption o) { return static_cast<uint8_t>(1u << o); }
  uint8_t bits_ = 0;
};

// Two triangles of a quad whose vertices are top-left, top-right, bottom-left,
// bottom-right.
inline constexpr int32_t QuadFaces[6] = {0, 1, 2, 1, 3, 2};

// The back quad of effects with foBackMesh: the full view, opaque white.
extern const TFxVertex DefaultBackQuad[4];
// The back quad of effects without foBackMesh: every field 0, so it covers no pixel and
// the second picture is seen as the scene background.
extern const TFxVertex EmptyBackQuad[4];

// Vertex functions over FxFrontVertices[First .. First + Count - 1]; positions only.
// The part of a range beyond the buffer is ignored.
//
// Rotation about (CX, CY, CZ), first about x, then y, then z; a zero angle is skipped.
void RotateVertices(uint16_t First, uint16_t Count, float AngleX, float AngleY, float AngleZ,
                    float CX, float CY, float CZ);
void TranslateVertices(uint16_t First, uint16_t Count, float DX, float DY, float DZ);
// Multiplies each position vector by Factor.
void ScaleVertices(uint16_t First, uint16_t Count, float Factor);
// Multiplies x by SX, y by SY, z by SZ; an axis whose factor is exactly 1 is untouched.
void ScaleVerticesXYZ(uint16_t First, uint16_t Count, float SX, float SY, float SZ);
void SetVerticesColor(uint16_t First, uint16_t Count, uint32_t Color);
// Copies Count indices from Source to Target, never past the end of either.
void CopyFaces(std::span<const int32_t> Source, std::span<int32_t> Target, int Count);

// The base of every effect. An effect keeps its rest pose in FVertexList; Execute copies
// it into the shared buffers and DoFrame moves it for the step. Effects are created once
// by the catalogue (CreateFx, the virtual constructor) and shared by the render threads.
class TFx3d {
 public:
  TFx3d() = default;
  virtual ~TFx3d() = default;
  TFx3d(const TFx3d&) = delete;
  TFx3d& operator=(const TFx3d&) = delete;

  // The effect's geometry for a step, applied to the shared buffers. Nothing here.
  virtual void DoFrame(uint16_t Step);
  // The effect's identifier; -1 here.
  virtual int32_t GetFxID() const;
  // The description shown to the user; empty here.
  virtual std::string GetDescription() const;
  // Prepares the shared buffers for a step: rest pose, back vertices, back faces at step
  // 0, DoFrame, view adjustment.
  virtual void Execute(uint16_t Step);

  // Frees both own vertex lists and allocates Count front vertices (all zero); raises
  // EFx3d "Too many Vertices!" above 4096 (or below 0), leaving both counts 0.
  void CreateVertex(int Count);
  // Every field of every own vertex 0, then each colour $FFFFFFFF.
  void ClearVertex();
  // Frees both own vertex lists; both vertex counts become 0.
  void FreeVertex();

  // What the render thread reads to build its meshes.
  const TFxVertex* VertexList() const { return FVertexList.get(); }
  int32_t VertexCount() const { return FVertexCount; }
  int32_t FaceCount() const { return FFaceCount; }
  int32_t FaceVertices() const { return FFaceVertices; }
  TFxOptions Options() const { return FOptions; }
  const TFxVertex* BackVertexList() const { return FBackVertexList.get(); }
  int32_t BackVertexCount() const { return FBackVertexCount; }
  int32_t BackFaceCount() const { return FBackFaceCount; }
  int32_t BackFaceVertices() const { return FBackFaceVertices; }

 protected:
  // The pieces of Execute, for the grid and strip bases that replace it.
  void CopyRestPose();          // FVertexList -> FxFrontVertices
  void FillBackVertices();      // own back list, default or empty back quad -> FxBackVertices
  void WriteQuadBackFaces();    // quad face table -> FxBackFaces
  void ApplyViewAdjustment();   // front and back vertices
  // Makes the own back list a copy of the rest pose with the front face count.
  void CreateBackVertexFromFront();

  std::unique_ptr<TFxVertex[]> FVertexList;
  int32_t FVertexCount = 0;
  int32_t FFaceCount = 0;
  int32_t FFaceVertices = 0;
  TFxOptions FOptions;
  std::unique_ptr<TFxVertex[]> FBackVertexList;
  int32_t FBackVertexCount = 0;
  int32_t FBackFaceCount = 0;
  int32_t FBackFaceVertices = 3;
};

// The virtual constructor: a function that makes one effect of a class.
using TFx3dClass = std::unique_ptr<TFx3d> (*)();

// Constructs an effect and runs Execute(0) on the finished object, as every effect's
// creation ends (in C++ a virtual call from inside a constructor would not reach the
// derived DoFrame, so it happens here).
template <class T>
std::unique_ptr<TFx3d> CreateFx() {
  std::unique_ptr<TFx3d> fx = std::make_unique<T>();
  fx->Execute(0);
  return fx;
}

}  // namespace movara
