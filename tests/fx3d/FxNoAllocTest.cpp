// Nothing is allocated per frame: once an effect's meshes are built and two first frames
// are drawn, further steps of every effect (geometry, vertex upload, clearing, rendering)
// take no memory from the heap. This program's operator new counts while a test asks.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "base/Dib.h"
#include "fx3d/FxList.h"
#include "fx3d/FxScene.h"

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};

void* Allocate(std::size_t n) {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* AllocateAligned(std::size_t n, std::align_val_t al) {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
  const std::size_t a = static_cast<std::size_t>(al);
  const std::size_t rounded = std::max<std::size_t>((n + a - 1) / a * a, a);
  if (void* p = std::aligned_alloc(a, rounded)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return Allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return Allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t n, std::align_val_t al) { return AllocateAligned(n, al); }
void* operator new[](std::size_t n, std::align_val_t al) { return AllocateAligned(n, al); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace movara {
namespace {

// Counts the allocations made while it lives.
class TAllocationCount {
 public:
  TAllocationCount() {
    gAllocations = 0;
    gCounting = true;
  }
  ~TAllocationCount() { gCounting = false; }
  long Count() const { return gAllocations.load(); }
};

TDIB Picture(int w, int h, int seed) {
  TDIB d(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      d.SetPixel(x, y, RGBColor(x * 3 + seed, y * 5 - seed, (x ^ y) + seed));
  return d;
}

TEST(FxNoAlloc, CountingSeesAnAllocation) {
  TAllocationCount count;
  auto* p = new int(3);
  EXPECT_EQ(count.Count(), 1);
  delete p;
}

TEST(FxNoAlloc, RenderingStepsOfEveryEffectAllocatesNothing) {
  const TDIB a = Picture(200, 150, 0), b = Picture(200, 150, 77);
  TFxList& list = EnsureFxList();
  for (bool bilinear : {false, true}) {
    // a picture size other than the view's: the background is stretched and cached
    TFxScene scene(240, 180, 512, bilinear);
    scene.SetPictures(&a, &b);
    for (int i = 0; i < list.Count(); ++i) {
      TFx3d* fx = list.Items(i);
      scene.SetEffect(fx);
      // warm-up: textures loaded, buffers grown, and at the second frame the background
      // that stayed the same is kept stretched
      scene.RenderStep(0);
      scene.RenderStep(0);
      TAllocationCount count;
      for (int step = 1; step <= 1000; step += 33) scene.RenderStep(static_cast<uint16_t>(step));
      scene.RenderStep(1000);
      EXPECT_EQ(count.Count(), 0) << std::hex << "$" << fx->GetFxID()
                                  << (bilinear ? " bilinear" : " nearest");
    }
  }
}

TEST(FxNoAlloc, ReadingTheFrameAllocatesNothingOnceSized) {
  const TDIB a = Picture(64, 48, 1), b = Picture(64, 48, 2);
  TFxScene scene(64, 48);
  scene.SetPictures(&a, &b);
  scene.SetEffect(EnsureFxList().FindByID(0x202));
  scene.RenderStep(0);
  TDIB frame;
  scene.ReadFrame(frame);
  TAllocationCount count;
  scene.RenderStep(500);
  scene.ReadFrame(frame);
  EXPECT_EQ(count.Count(), 0);
}

}  // namespace
}  // namespace movara
