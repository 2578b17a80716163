#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "fx3d/SurfaceTransfer.h"

using namespace movara;

namespace {

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EMovara& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(SurfaceTransfer, MissingObjectsRaiseTheirTexts) {
  TDIB pic(4, 4, 24);
  TRmSurface surface;
  EXPECT_EQ(MessageOf([&] { DIBToSurface(&pic, &surface, Rect(0, 0, 4, 4)); }),
            "[DIB2Surf] Nieprawidłowy wskaźnik. ASurface.Canvas = nil !");
  EXPECT_EQ(MessageOf([&] { DIBToSurface(&pic, nullptr, Rect(0, 0, 4, 4)); }),
            "[DIB2Surf] Nieprawidłowy wskaźnik. ASurface.Canvas = nil !");
  ASSERT_EQ(surface.Create(4, 4), DD_OK);
  EXPECT_EQ(MessageOf([&] { DIBToSurface(nullptr, &surface, Rect(0, 0, 4, 4)); }),
            "[DIB2Surf] Nieprawidłowy wskaźnik. ADIB.Canvas = nil !");
  TDIB empty;
  EXPECT_EQ(MessageOf([&] { SurfaceToDIB(&empty, &surface, Rect(0, 0, 4, 4)); }),
            "[Surf2DIB] Nieprawidłowy wskaźnik. ADIB.Canvas = nil !");
  EXPECT_EQ(MessageOf([&] { SurfaceToDIB(&pic, nullptr, Rect(0, 0, 4, 4)); }),
            "[Surf2DIB] Nieprawidłowy wskaźnik. ASurface.Canvas = nil !");
}

TEST(SurfaceTransfer, SurfaceMustMatchThePicture) {
  TRmSurface surface;
  ASSERT_EQ(surface.Create(512, 512), DD_OK);
  TDIB frame(640, 480, 24);
  EXPECT_EQ(MessageOf([&] { SurfaceToDIB(&frame, &surface, Rect(0, 0, 640, 480)); }),
            "Nieodpowiednie wymiary Surface`a. Surf:(512x512), DIB(640x480)");
}

TEST(SurfaceTransfer, PictureRoundTripsThroughASurface) {
  TDIB pic(40, 30, 24);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) pic.SetPixel(x, y, RGBColor(x * 6, y * 8, (x * y) & 255));
  TRmSurface surface;
  ASSERT_EQ(surface.Create(40, 30), DD_OK);
  EXPECT_TRUE(DIBToSurface(&pic, &surface, Rect(0, 0, 40, 30)));
  EXPECT_EQ(surface.Pixel(39, 0), RmPixel(234, 0, 0));
  TDIB out(40, 30, 24);
  EXPECT_TRUE(SurfaceToDIB(&out, &surface, Rect(0, 0, 40, 30)));
  EXPECT_TRUE(out == pic);
  // Empty rectangles copy nothing.
  EXPECT_FALSE(DIBToSurface(&pic, &surface, Rect(5, 5, 5, 9)));
  EXPECT_FALSE(SurfaceToDIB(&out, &surface, Rect(0, 0, 0, 30)));
}

TEST(SurfaceTransfer, PictureIsStretchedOverTheWholeSurface) {
  // A 640x480 picture, left half red, right half blue, into a 512x512 texture surface.
  TDIB pic(640, 480, 24);
  pic.FillRect(Rect(0, 0, 320, 480), RGBColor(255, 0, 0));
  pic.FillRect(Rect(320, 0, 640, 480), RGBColor(0, 0, 255));
  TRmSurface surface;
  ASSERT_EQ(surface.Create(512, 512), DD_OK);
  ASSERT_TRUE(DIBToSurface(&pic, &surface, Rect(0, 0, 640, 480)));
  EXPECT_EQ(surface.Pixel(0, 0), RmPixel(255, 0, 0));
  EXPECT_EQ(surface.Pixel(254, 511), RmPixel(255, 0, 0));
  EXPECT_EQ(surface.Pixel(257, 300), RmPixel(0, 0, 255));
  EXPECT_EQ(surface.Pixel(511, 511), RmPixel(0, 0, 255));
}
