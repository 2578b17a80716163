#pragma once
// The mesh transitions: a turning cube in five colourings, blown-away pictures,
// travelling waves, a flying carpet, water ripples with cross-fades, a curtain, a
// folding diamond, a box with pyramids, a whirl and a tunnel. The catalogue adds them
// after the flat effects, in this order.
#include <cstdint>
#include <string>

#include "fx3d/FxFlat.h"
#include "fx3d/FxList.h"

namespace movara {

// Constructs the 21 mesh effects in catalogue order and adds each to the list.
void AddMeshEffects(TFxList& list);

// The ramps of the mesh effects over the step k:
// min(k / 100, 1): the ripples grow in over the first 100 steps.
double FxRampIn(int k);
// k / 100 up to step 100, 1 up to step 900, then (1000 - k) / 100.
double FxFadeInOut(int k);
// 0 up to step 100, then growing evenly to Period at step 1000.
double FxPhase(int k, double Period);

// m vertical strips side by side over the picture, each with its own four vertices,
// laid out twice: the second set carries the reversed winding, so a strip that turns
// away still shows its picture from behind.
class TBaseVertRect : public TFx3d {
 public:
  // Raises EFx3d "[TBaseVertRect] Trying to create 0 pieces !" for 0 strips, "Too many
  // Faces!" when the 12m face indices pass 4096 and "Too many Vertices!" when the 8m
  // vertices do.
  explicit TBaseVertRect(int StripCount);
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
  // As the grid base: faces at step 0 (both windings), rest pose, back vertices,
  // DoFrame, view adjustment.
  void Execute(uint16_t Step) override;
  int32_t StripCount() const { return FStripCount; }

 protected:
  int32_t FStripCount = 0;
};

// ---- the cube: turns, shrinks and recedes; every side shows the first picture ----

class TCube : public TFx3d {
 public:
  TCube();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// The cube blended by its vertex alpha: fades out as it turns.
class TTransparentCube : public TCube {
 public:
  TTransparentCube();
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// The blended cube tinted from white toward one full colour over the first half.
class TTintedCube : public TCube {
 public:
  void DoFrame(uint16_t Step) override;

 protected:
  // RedMask etc.: the colour channels (bits of $FF0000, $FF00, $FF) kept at 255.
  explicit TTintedCube(uint32_t FullChannels);

 private:
  uint32_t FFullChannels;
};

class TRedCube : public TTintedCube {
 public:
  TRedCube();
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

class TGreenCube : public TTintedCube {
 public:
  TGreenCube();
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

class TBlueCube : public TTintedCube {
 public:
  TBlueCube();
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// ---- puffs: the picture bulges away in the middle and shrinks to a point ----

class TPuff : public TBaseSquare {
 public:
  TPuff();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// The puff drifting up and right.
class TPuffUp : public TPuff {
 public:
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// The puff drifting down and left.
class TPuffDown : public TPuff {
 public:
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// ---- waves on strips: a ripple runs over the picture while it slides away ----

class TWave : public TBaseVertRect {
 public:
  TWave();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;

 protected:
  // Ripple of amplitude Amplitude, sinking back 2d², then the slide by (DX, DY) · 3d².
  void Ripple(uint16_t Step, double Amplitude, double DX, double DY);
};

class TWaveRight : public TWave {
 public:
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

class TWaveLeftUp : public TWave {
 public:
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// The rippling picture shrinks, tumbles and flies off to the right and back.
class TCarpet : public TBaseVertRect {
 public:
  TCarpet();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// ---- water: circular ripples ----

class TWater : public TBaseSquare {
 public:
  TWater();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// Ripples on a surface that carries both pictures: the front fades out while the back
// (its own vertex list, the same surface) fades in.
class TWaterWithFade : public TBaseSquare {
 public:
  TWaterWithFade();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;

 protected:
  // The ripple of the front vertices after one more ScaleXYZ(s, s, 0).
  void ScaleAndRipple(uint16_t Step);
};

// As TWaterWithFade, scaled twice, with a fade that starts at the centre.
class TWaterWithFadeB : public TWaterWithFade {
 public:
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// The strip ripple of the waves with the cross-fade of TWaterWithFade.
class TWaveWithFade : public TBaseVertRect {
 public:
  TWaveWithFade();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// ---- the curtain: the bottom edge is gathered up from the left ----

class TCurtain : public TBaseVertRect {
 public:
  TCurtain();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// ---- fixed models ----

// Nine vertices: the corners fold back into a diamond, which tumbles, shrinks and
// flies off.
class TDiamond : public TFx3d {
 public:
  TDiamond();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// A box with a pyramid on its top and one rising from its bottom; its front side is the
// picture. It spins, shrinks and flies off to the right.
class TTurner : public TFx3d {
 public:
  TTurner();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

// ---- grid vortices ----

class TWhirl : public TBaseSquare {
 public:
  TWhirl();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

class TTunnel : public TBaseSquare {
 public:
  TTunnel();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

}  // namespace movara
