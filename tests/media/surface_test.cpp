// Surfaces and their helpers on the headless screen: clipped and colour-keyed copies, fills,
// the canvas's device context, sizes, colour mapping and pixel access.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/application.h"
#include "app/sjis.h"
#include "media/directdraw.h"
#include "platform/headless/headless_platform.h"

namespace {

using media::TDirectDrawSurface;
using media::TRect;

struct DeviceRig {
  platform::HeadlessPlatform platform;
  app::TApplication app{platform};
  std::unique_ptr<platform::Window> window = platform.CreateWindow({});
  media::TDirectDraw ddraw{platform};

  // The screen in an 8-bit mode, so new surfaces hold palette indices.
  void EightBits() {
    ASSERT_EQ(ddraw.IDraw().SetCooperativeLevel(window.get(), platform::kCoopFullScreen | platform::kCoopExclusive), 0);
    ASSERT_EQ(ddraw.IDraw().SetDisplayMode({320, 240, 8}), 0);
  }
};

void Paint(TDirectDrawSurface& s, const std::function<std::uint32_t(int, int)>& value) {
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) s.SetPixels(x, y, value(x, y));
}

constexpr std::uint32_t kBackground = 0xABCDEF;

// A 10 x 6 source whose pixels are 1 + x + 10 y, with 0 (the key) where x + y is a multiple of 4.
std::uint32_t Source(int x, int y) { return (x + y) % 4 == 0 ? 0 : static_cast<std::uint32_t>(1 + x + 10 * y); }

struct DrawCase {
  const char* name;
  int x, y;
  TRect src;
};

const DrawCase kDrawCases[] = {
    {"inside", 5, 5, {0, 0, 10, 6}},
    {"over the top left corner", -3, -2, {0, 0, 10, 6}},
    {"over the bottom right corner", 35, 27, {0, 0, 10, 6}},
    {"at x equal to the width", 40, 0, {0, 0, 10, 6}},
    {"at y equal to the height", 0, 30, {0, 0, 10, 6}},
    {"entirely left", -10, 3, {0, 0, 10, 6}},
    {"a source rectangle past the source", 20, 10, {5, 2, 15, 8}},
};

// What the 40 x 30 destination holds after drawing the source's rectangle at (x, y).
std::uint32_t Expected(const DrawCase& c, int x, int y, bool transparent) {
  const int sx = x - c.x + c.src.left, sy = y - c.y + c.src.top;
  if (sx < c.src.left || sy < c.src.top || sx >= std::min(c.src.right, 10) || sy >= std::min(c.src.bottom, 6))
    return kBackground;
  const std::uint32_t v = Source(sx, sy);
  return transparent && v == 0 ? kBackground : v;
}

TEST(Surface, DrawCopiesTheClippedPartKeyedOrNotWithOrWithoutAClipper) {
  enum Clipping { kNone, kWrapper, kPlatformOnly };
  for (Clipping clipping : {kNone, kWrapper, kPlatformOnly}) {
    for (bool transparent : {false, true}) {
      for (const DrawCase& c : kDrawCases) {
        SCOPED_TRACE(std::string(c.name) + (transparent ? ", transparent" : "") + ", clipping " +
                     std::to_string(clipping));
        DeviceRig rig;
        TDirectDrawSurface src(&rig.ddraw), dst(&rig.ddraw);
        src.SetSize(10, 6);
        dst.SetSize(40, 30);
        Paint(src, Source);
        dst.Fill(kBackground);
        media::TDirectDrawClipper clipper(&rig.ddraw);
        if (clipping == kWrapper) {
          dst.SetClipper(&clipper);
          ASSERT_TRUE(dst.HasClipper());
        } else if (clipping == kPlatformOnly) {
          // Attached behind the wrapper's back: the fast blit is refused and Draw falls back.
          dst.ISurface().SetClipper(clipper.IDDClipper());
        }
        dst.Draw(c.x, c.y, c.src, &src, transparent);
        for (int y = 0; y < 30; ++y)
          for (int x = 0; x < 40; ++x)
            ASSERT_EQ(dst.Pixels(x, y), Expected(c, x, y, transparent)) << "at " << x << "," << y;
      }
    }
  }
}

TEST(Surface, FastBlitRefusalTeachesDrawThatAClipperIsThere) {
  DeviceRig rig;
  TDirectDrawSurface src(&rig.ddraw), dst(&rig.ddraw);
  src.SetSize(10, 6);
  dst.SetSize(40, 30);
  media::TDirectDrawClipper clipper(&rig.ddraw);
  dst.ISurface().SetClipper(clipper.IDDClipper());
  EXPECT_FALSE(dst.HasClipper());
  EXPECT_FALSE(dst.BltFast(0, 0, {0, 0, 10, 6}, media::DDBLTFAST_WAIT, &src));
  EXPECT_EQ(dst.DXResult(), media::DDERR_BLTFASTCANTCLIP);
  dst.Draw(0, 0, {0, 0, 10, 6}, &src, true);
  EXPECT_TRUE(dst.HasClipper());
  EXPECT_EQ(dst.DXResult(), 0);
}

TEST(Surface, InvertedRectangleDrawsMirrored) {
  DeviceRig rig;
  TDirectDrawSurface src(&rig.ddraw), dst(&rig.ddraw);
  src.SetSize(10, 6);
  dst.SetSize(40, 30);
  Paint(src, [](int x, int y) { return static_cast<std::uint32_t>(100 + x + 10 * y); });
  dst.Fill(kBackground);
  dst.Draw(-3, 2, {10, 0, 0, 6}, &src, false);  // left-right mirrored, 3 columns cut on the left
  EXPECT_EQ(dst.Pixels(0, 2), 100u + 6);  // the copy starts with source column 9; 9, 8, 7 are cut
  EXPECT_EQ(dst.Pixels(6, 2), 100u + 0);
  EXPECT_EQ(dst.Pixels(7, 2), kBackground);
  dst.Draw(20, 20, {0, 6, 10, 0}, &src, false);  // upside down
  EXPECT_EQ(dst.Pixels(20, 20), 100u + 50);
  EXPECT_EQ(dst.Pixels(20, 25), 100u + 0);
}

TEST(Surface, FillWritesTheRawValue) {
  DeviceRig rig;
  rig.EightBits();
  TDirectDrawSurface s(&rig.ddraw);
  s.SetSize(8, 8);
  EXPECT_EQ(s.BitCount(), 8);
  s.Fill(0x1234);  // 8 bits keep the low byte
  EXPECT_EQ(s.Pixels(7, 7), 0x34u);
  s.Fill(0);
  EXPECT_EQ(s.Pixels(3, 3), 0u);
}

TEST(Surface, CanvasHoldsTheDeviceContextUntilReleased) {
  DeviceRig rig;
  TDirectDrawSurface s(&rig.ddraw);
  s.SetSize(8, 8);
  media::TDirectDrawSurfaceCanvas* canvas = s.Canvas();
  canvas->Release();  // holds nothing: nothing happens
  canvas->Release();
  EXPECT_FALSE(canvas->HoldsDC());

  media::TDIB dot;
  dot.SetSize(1, 1, 8);
  dot.ColorTable[0] = {0, 0, 255, 0};
  canvas->Draw(2, 3, dot);
  EXPECT_TRUE(canvas->HoldsDC());
  // The surface is busy while its context is out.
  EXPECT_FALSE(s.Fill(0));
  platform::PixelBuffer b;
  EXPECT_FALSE(s.Lock(b));
  canvas->Release();
  EXPECT_FALSE(canvas->HoldsDC());
  EXPECT_EQ(s.Pixels(2, 3), 0xFF0000u);
  EXPECT_TRUE(s.Fill(0));
}

TEST(Surface, SizeAndMemory) {
  DeviceRig rig;
  TDirectDrawSurface s(&rig.ddraw);
  s.SetSize(16, 8);
  EXPECT_EQ(s.Width(), 16);
  EXPECT_EQ(s.Height(), 8);
  s.SetSize(0, 8);
  EXPECT_FALSE(s.HasSurface());
  EXPECT_EQ(s.Width(), 0);
  EXPECT_EQ(s.Height(), 0);

  // Video memory full: the surface goes to system memory instead.
  rig.platform.Screen().SetVideoMemory(1000);
  s.SetSize(100, 100);
  EXPECT_TRUE(s.HasSurface());
  EXPECT_TRUE(s.SystemMemory);
  EXPECT_TRUE(s.SurfaceDesc().system_memory);

  try {
    s.SetSize(1 << 20, 1 << 20);
    FAIL() << "no error";
  } catch (const media::EDirectDrawSurfaceError& e) {
    EXPECT_EQ(e.Message(), app::Sjis(u8"サーフェース を作成できません"));
  }
}

TEST(Surface, OnlyModesOfEightAndThirtyTwoBitsAreOfferedOrTaken) {
  // Surfaces hold one byte or four per pixel; a 16- or 24-bit mode would have the fills and
  // copies write past their rows.
  DeviceRig rig;
  rig.platform.Screen().SetModes({{640, 480, 16}, {640, 480, 24}, {320, 240, 8}, {1024, 768, 32}, {800, 600, 15}});
  platform::DisplayDevice& device = rig.ddraw.IDraw();
  std::vector<platform::DisplayMode> offered;
  ASSERT_EQ(device.EnumDisplayModes(offered), 0);
  EXPECT_EQ(offered, (std::vector<platform::DisplayMode>{{320, 240, 8}, {1024, 768, 32}}));
  ASSERT_EQ(device.SetCooperativeLevel(rig.window.get(), platform::kCoopFullScreen | platform::kCoopExclusive), 0);
  for (int bits : {15, 16, 24}) {
    SCOPED_TRACE(bits);
    EXPECT_EQ(device.SetDisplayMode({bits == 15 ? 800 : 640, bits == 15 ? 600 : 480, bits}), platform::kErrInvalidMode);
  }
  EXPECT_EQ(rig.platform.Screen().FullScreenWindow(), 0u);
  EXPECT_EQ(device.SetDisplayMode({320, 240, 8}), 0);
  TDirectDrawSurface s(&rig.ddraw);
  s.SetSize(4, 2);
  EXPECT_EQ(s.BitCount(), 8);
}

TEST(Surface, MissingPlatformObjectsAreNamed) {
  DeviceRig rig;
  TDirectDrawSurface s(&rig.ddraw);
  EXPECT_FALSE(s.Fill(0));
  EXPECT_EQ(s.Pixels(0, 0), 0u);
  EXPECT_EQ(s.DeviceColorOf(app::clWhite), 0u);
  try {
    s.SetTransparentColor(0);
    FAIL() << "no error";
  } catch (const media::EDirectDrawSurfaceError& e) {
    EXPECT_EQ(e.Message(), app::Sjis(u8"IDirectDrawSurface は作成されていません"));
  }
  media::TDirectDrawPalette palette(&rig.ddraw);
  EXPECT_FALSE(palette.SetEntries(0, 1, nullptr));
  EXPECT_THROW(palette.IPalette(), media::EDirectDrawPaletteError);
}

TEST(Surface, MissingDisplayLibraryIsNamed) {
  platform::HeadlessPlatform platform;
  app::TApplication app(platform);
  platform.SetLibraryMissing("DDRAW.DLL");
  try {
    media::TDirectDraw ddraw(platform);
    FAIL() << "no error";
  } catch (const app::Exception& e) {
    EXPECT_EQ(e.Message(), app::Sjis(u8"DDraw.dll を読み込めません"));
  }
}

TEST(Surface, DeviceColorOfMapsThroughTheScreenFormatAndLeavesThePixel) {
  {
    DeviceRig rig;
    TDirectDrawSurface s(&rig.ddraw);
    s.SetSize(4, 4);
    s.SetPixels(0, 0, 0x123456);
    EXPECT_EQ(s.DeviceColorOf(app::clRed), 0xFF0000u);
    EXPECT_EQ(s.DeviceColorOf(app::clBlack), 0u);
    EXPECT_EQ(s.Pixels(0, 0), 0x123456u);
  }
  {
    DeviceRig rig;
    rig.EightBits();
    std::array<media::TPaletteEntry, 256> entries{};
    entries[37] = {255, 0, 0, 0};
    entries[90] = {250, 10, 0, 0};
    media::TDirectDrawPalette palette(&rig.ddraw);
    ASSERT_TRUE(palette.CreatePalette(media::DDPCAPS_8BIT, entries));
    TDirectDrawSurface s(&rig.ddraw);
    s.SetSize(4, 4);
    s.SetPalette(&palette);
    s.SetPixels(0, 0, 200);
    EXPECT_EQ(s.DeviceColorOf(app::clRed), 37u);
    EXPECT_EQ(s.DeviceColorOf(app::clBlack), 0u);
    EXPECT_EQ(s.Pixels(0, 0), 200u);
  }
}

TEST(Surface, PixelsReadAndWriteInsideOnly) {
  DeviceRig rig;
  TDirectDrawSurface s(&rig.ddraw);
  s.SetSize(4, 3);
  s.SetPixels(3, 2, 0x00112233);
  EXPECT_EQ(s.Pixels(3, 2), 0x00112233u);
  s.SetPixels(4, 2, 7);
  s.SetPixels(-1, 0, 7);
  EXPECT_EQ(s.Pixels(4, 2), 0u);
  EXPECT_EQ(s.Pixels(0, -1), 0u);

  platform::PixelBuffer first, second;
  ASSERT_TRUE(s.Lock(first));
  EXPECT_FALSE(s.Lock(second));
  s.Unlock();
  EXPECT_TRUE(s.Lock(second));
  s.Unlock();
}

}  // namespace
