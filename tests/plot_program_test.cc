// korvant-plot run as a user runs it; its SVG rendered by rsvg-convert.
#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/program_fixtures.h"

namespace korvant {
namespace {

constexpr char kRsvg[] = "/usr/bin/rsvg-convert";

class PlotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box_.Write("mesh.velto", TwoElementMesh().bytes());
    box_.Write("result.bin", HydroResult().bytes());
  }
  RunResult Plot(std::vector<std::string> args) {
    args.insert(args.begin(), {"mesh.velto", "result.bin"});
    return box_.RunProgram(ProgramPath("korvant-plot"), args);
  }
  Sandbox box_;
};

TEST_F(PlotTest, ListsTheResultsFieldsAndTheMeshs) {
  const RunResult run = Plot({"--list-fields"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(
      "x_velocity                x velocity (ft s-1)\n"
      "y_velocity                y velocity (ft s-1)\n"
      "depth                     depth (ft)\n"
      "water_surface_elevation   water-surface elevation (ft)\n"
      "wet_dry                   wet/dry code\n"
      "speed                     speed (ft s-1)\n"
      "bottom_elevation          bottom elevation (ft)\n",
      run.out);
}

TEST_F(PlotTest, PngOfTheDefaultSize) {
  const RunResult run = Plot({"--field", "depth", "--arrows", "--edges", "-o", "depth.png"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(
      "Element node order: alternate, found from the geometry (2 of 2 elements with mid-side "
      "nodes fit it)\nWrote depth.png\n",
      run.out);
  cairo_surface_t* png = cairo_image_surface_create_from_png(box_.Path("depth.png").c_str());
  EXPECT_EQ(CAIRO_STATUS_SUCCESS, cairo_surface_status(png));
  EXPECT_EQ(800, cairo_image_surface_get_width(png));
  EXPECT_EQ(600, cairo_image_surface_get_height(png));
  cairo_surface_destroy(png);
}

TEST_F(PlotTest, SvgIsRenderedByRsvg) {
  if (access(kRsvg, X_OK) != 0) GTEST_SKIP() << "no " << kRsvg;
  const RunResult run =
      Plot({"--field", "speed", "--step", "2", "--range=-1:10", "-o", "speed.svg"});
  ASSERT_EQ(0, run.status) << run.err;
  const RunResult render = box_.RunProgram(kRsvg, {"-o", "speed.png", "speed.svg"});
  EXPECT_EQ(0, render.status) << render.err;
  EXPECT_EQ("", render.err);
  cairo_surface_t* png = cairo_image_surface_create_from_png(box_.Path("speed.png").c_str());
  EXPECT_EQ(800, cairo_image_surface_get_width(png));
  cairo_surface_destroy(png);
}

TEST_F(PlotTest, TitleNotInUtf8IsDrawnWithReplacements) {
  CharHeader header;
  header.irec = {42};
  header.title = "BA\xE9 RUN";  // Latin-1
  Qmx2StepData step;
  step.time = 1.5f;
  step.np2 = 11;
  step.ne2 = 2;
  box_.Write("result.bin", Qmx2File(header, {step}, true).bytes());
  for (const char* out : {"t.png", "t.svg"}) {
    const RunResult run = Plot({"--field", "depth", "-o", out});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("", run.err);
    EXPECT_TRUE(box_.Exists(out));
  }
}

TEST_F(PlotTest, LargestPictureStaysUnder500Megabytes) {
  for (const char* out : {"big.png", "big.svg"}) {
    const RunResult run = Plot({"--field", "depth", "-o", out, "--size", "4000x4000"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_GT(500 * 1024, run.max_rss_kb) << out;
  }
}

TEST_F(PlotTest, RefusalsWriteNothing) {
  Qmx4StepData transport;
  transport.np4 = 11;
  transport.ne4 = 2;
  box_.Write("transport.bin", Qmx4File(CodedHeader{}, {transport}).bytes());
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"mesh.velto", "result.bin", "--field", "salinity", "-o", "a.png"},
       1,
       "korvant-plot: result.bin offers no field salinity; --list-fields shows those it does\n"},
      {{"mesh.velto", "transport.bin", "--field", "constituent_1", "--arrows", "-o", "a.png"},
       1,
       "korvant-plot: transport.bin holds no velocity to draw arrows of\n"},
      {{"mesh.velto", "result.bin", "--field", "depth", "--range", "5:1", "-o", "a.png"},
       2,
       "korvant-plot: --range 5:1 is not LO:HI with LO below HI\n"},
      {{"mesh.velto", "result.bin", "--field", "depth", "-o", "a.jpg"},
       2,
       "korvant-plot: the output must end in .png or .svg: a.jpg\n"},
      {{"mesh.velto", "result.bin", "-o", "a.png"},
       2,
       "korvant-plot: -o and --field are needed, unless --list-fields is given\n"},
  };
  const std::string size_rule =
      " is not WIDTHxHEIGHT, each from 200 to 10000 and at most 16000000 pixels in all\n";
  // 4001 x 4000 is 4000 pixels over the limit.
  for (const char* size :
       {"800x600junk", "800x", "x600", "199x600", "800x10001", "4001x4000", "10000x10000"}) {
    const RunResult run = Plot({"--field", "depth", "-o", "a.svg", "--size", size});
    EXPECT_EQ(2, run.status) << size;
    EXPECT_EQ(UsageLine("korvant-plot: --size " + std::string(size) + size_rule), run.err);
  }
  for (const Case& c : cases) {
    const RunResult run = box_.RunProgram(ProgramPath("korvant-plot"), c.args);
    EXPECT_EQ(c.status, run.status) << c.err;
    EXPECT_EQ(UsageLine(c.err, c.status), run.err);
  }
  EXPECT_EQ((std::vector<std::string>{"mesh.velto", "result.bin", "transport.bin"}), box_.List());
}

}  // namespace
}  // namespace korvant
