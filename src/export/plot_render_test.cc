#include "export/plot_render.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "tests/harness.h"

namespace korvant {
namespace {

// 8-bit channels of a colour, as a PNG stores them.
struct Pixel {
  int r, g, b;
};

Pixel Bytes(const Rgb& c) {
  return Pixel{static_cast<int>(std::lround(255 * c.r)), static_cast<int>(std::lround(255 * c.g)),
               static_cast<int>(std::lround(255 * c.b))};
}

void ExpectNear(const Pixel& expected, const Pixel& actual, int tolerance, const char* where) {
  EXPECT_NEAR(expected.r, actual.r, tolerance) << where;
  EXPECT_NEAR(expected.g, actual.g, tolerance) << where;
  EXPECT_NEAR(expected.b, actual.b, tolerance) << where;
}

TEST(ColourMapTest, ViridisHasItsPublishedColours) {
  const ColourMap viridis = *ColourMap::Named("viridis");
  ExpectNear({0x44, 0x01, 0x54}, Bytes(viridis.At(0.0)), 0, "0");
  ExpectNear({0x21, 0x91, 0x8c}, Bytes(viridis.At(0.5)), 1, "0.5");
  ExpectNear({0xfd, 0xe7, 0x25}, Bytes(viridis.At(1.0)), 0, "1");
  ExpectNear({0x44, 0x01, 0x54}, Bytes(viridis.At(-3.0)), 0, "below");
  EXPECT_FALSE(ColourMap::Named("jet").has_value());
}

// Nodes on a 4 x 4 lattice of spacing 1 (node j * 4 + i at x = i, y = j),
// nine four-node elements, and the value x + 2y at each node.
class PictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int j = 0; j < 4; ++j) {
      for (int i = 0; i < 4; ++i) {
        mesh_.x.push_back(static_cast<float>(i));
        mesh_.y.push_back(static_cast<float>(j));
        values_.push_back(static_cast<float>(i + 2 * j));
      }
    }
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < 3; ++i) {
        const int k = j * 4 + i + 1;
        mesh_.nop.insert(mesh_.nop.end(), {k, k + 1, k + 5, k + 4, 0, 0, 0, 0});
        mesh_.imat.push_back(1);
      }
    }
    mesh_.np = 16;
    mesh_.ne = 9;
    mesh_.bottom.assign(16, 0.0f);
    std::string error;
    ASSERT_TRUE(MapElements(mesh_, std::nullopt, &map_, &error)) << error;
  }
  Sandbox box_;
  Mesh mesh_;
  ElementMap map_;
  std::vector<float> values_;
};

// A PNG read back: the nodes show their values' colours where the frame put
// them, the picture's corner is blank, and a contour line darkens the
// shading along its level.
TEST_F(PictureTest, NodesShowTheirValuesColoursAndContoursTheirLevels) {
  const ColourMap viridis = *ColourMap::Named("viridis");
  PlotLook look;
  look.width = 500;
  look.height = 400;
  look.lo = 3.0;
  look.hi = 6.0;
  look.colours = &viridis;
  look.title = "x + 2y";
  look.contours = 2;  // at 4 and 5
  const std::string path = box_.Path("picture.png");
  std::string error;
  PlotFrame frame;
  ASSERT_TRUE(
      RenderPlot(path, PictureFormat::kPng, mesh_, map_, values_, {}, {}, look, &error, &frame))
      << error;

  cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(CAIRO_STATUS_SUCCESS, cairo_surface_status(png));
  EXPECT_EQ(500, cairo_image_surface_get_width(png));
  EXPECT_EQ(400, cairo_image_surface_get_height(png));
  const unsigned char* data = cairo_image_surface_get_data(png);
  const int stride = cairo_image_surface_get_stride(png);
  auto pixel = [&](int x, int y) {
    uint32_t v;
    std::memcpy(&v, data + y * stride + 4 * x, 4);
    return Pixel{static_cast<int>(v >> 16 & 0xff), static_cast<int>(v >> 8 & 0xff),
                 static_cast<int>(v & 0xff)};
  };
  // Off the contour lines, a node's pixel takes the colour of the value
  // x + 2y at its centre; between two nodes of an edge, the colours mix.
  for (const auto& [mx, my] : {std::pair{1.0, 1.0}, {2.0, 2.0}, {0.0, 3.0}}) {
    const int x = static_cast<int>(frame.X(mx)), y = static_cast<int>(frame.Y(my));
    const double value = frame.MeshX(x + 0.5) + 2 * frame.MeshY(y + 0.5);
    ExpectNear(Bytes(viridis.At((value - 3.0) / 3.0)), pixel(x, y), 3, "a node");
  }
  const Rgb five = viridis.At(2.0 / 3), six = viridis.At(1.0);
  const Rgb half{(five.r + six.r) / 2, (five.g + six.g) / 2, (five.b + six.b) / 2};
  ExpectNear(Bytes(half), pixel(static_cast<int>(frame.X(1.5)), static_cast<int>(frame.Y(2.0))), 4,
             "halfway from (1, 2) to (2, 2)");
  // The level 4 passes through (1, 1.5): the darkest pixel there is much
  // darker than the shading's colour.
  const Pixel shade = Bytes(viridis.At(1.0 / 3));
  int darkest = 3 * 255;
  for (int dx = -1; dx <= 1; ++dx) {
    for (int dy = -1; dy <= 1; ++dy) {
      const Pixel p =
          pixel(static_cast<int>(frame.X(1.0)) + dx, static_cast<int>(frame.Y(1.5)) + dy);
      darkest = std::min(darkest, p.r + p.g + p.b);
    }
  }
  EXPECT_LT(darkest, shade.r + shade.g + shade.b - 100);
  EXPECT_GT(frame.X(0.0), 20.0);  // room for the y axis's labels
  const uint32_t corner = *reinterpret_cast<const uint32_t*>(data + 395 * stride + 4 * 495);
  EXPECT_EQ(0xffffffu, corner & 0xffffffu);
  cairo_surface_destroy(png);
  ReleaseCairoCaches();
}

}  // namespace
}  // namespace korvant
