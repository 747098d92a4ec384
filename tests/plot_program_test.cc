// korvant-plot run as a user runs it; its SVG rendered by rsvg-convert.
#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "tests/program_fixtures.h"

namespace korvant {
namespace {

constexpr char kRsvg[] = "/usr/bin/rsvg-convert";
constexpr char kPdfToText[] = "/usr/bin/pdftotext";
constexpr char kPdfImages[] = "/usr/bin/pdfimages";

// A PNG read back: its size and its pixels' channels.
class Png {
 public:
  explicit Png(const std::string& path)
      : surface_(cairo_image_surface_create_from_png(path.c_str())) {}
  ~Png() { cairo_surface_destroy(surface_); }
  bool ok() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(surface_); }
  int height() const { return cairo_image_surface_get_height(surface_); }
  // Red, green and blue from 0 to 255.
  std::array<int, 3> At(int x, int y) const {
    const unsigned char* row = cairo_image_surface_get_data(surface_) +
                               static_cast<ptrdiff_t>(y) * cairo_image_surface_get_stride(surface_);
    uint32_t v;
    std::memcpy(&v, row + 4 * x, 4);
    return {static_cast<int>(v >> 16 & 0xff), static_cast<int>(v >> 8 & 0xff),
            static_cast<int>(v & 0xff)};
  }
  bool Blank(int x, int y) const { return At(x, y) == std::array<int, 3>{255, 255, 255}; }

 private:
  cairo_surface_t* surface_;
};

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
  // The text a PDF viewer finds in `pdf`, one line a line of text.
  std::string PdfText(const std::string& pdf) {
    const RunResult run = box_.RunProgram(kPdfToText, {pdf, "-"});
    EXPECT_EQ(0, run.status) << run.err;
    return run.out;
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
       "korvant-plot: the output must end in .png, .svg or .pdf: a.jpg\n"},
      {{"mesh.velto", "result.bin", "--field", "depth", "--region", "0:1,2:1", "-o", "a.png"},
       2,
       "korvant-plot: --region 0:1,2:1 is not X0:X1,Y0:Y1 with X0 below X1 and Y0 below Y1\n"},
      {{"mesh.velto", "result.bin", "--field", "depth", "--start-date", "2023-02-29", "-o",
        "a.png"},
       2,
       "korvant-plot: --start-date 2023-02-29 is not a date YYYY-MM-DD or YYYY-MM-DDTHH:MM\n"},
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

// The title says the hour, the date after --start-date, or "time average"
// for a file of one step at its family's averaging time; --title replaces it.
TEST_F(PlotTest, TitleTellsTheHourTheDateOrATimeAverage) {
  if (access(kPdfToText, X_OK) != 0) GTEST_SKIP() << "no " << kPdfToText;
  CharHeader header;
  header.irec = {42};
  header.title = "MEAN";
  Qmx2StepData mean;
  mean.time = -99.0f;
  mean.np2 = 11;
  mean.ne2 = 2;
  Qmx4StepData transport;
  transport.np4 = 11;
  transport.ne4 = 2;
  Qmx4StepData later = transport;
  later.time = 1.0f;
  // The averaged 3D record: a step without IMAT and NDRY, eleven x-velocities.
  const FileBuilder threed = FileBuilder().Add(RecordBuilder()
                                                   .Real(9999.0f)
                                                   .Ints({11, 1, 2, 8, 11, 0, 0, 0, 0, 0, 0, 0})
                                                   .Reals(std::vector<float>(11, 0.5f))
                                                   .Reals(std::vector<float>(11, 0.0f))
                                                   .Reals({0.0f, 0.0f}));
  struct Case {
    FileBuilder file;
    std::vector<std::string> args;
    std::string title;
  };
  const std::vector<Case> cases = {
      {HydroResult(), {"--field", "depth"}, "TIDE RUN: depth (ft), at hour 1.5"},
      {HydroResult(),
       {"--field", "speed", "--step", "2", "--start-date", "2024-02-28T23:00"},
       "TIDE RUN: speed (ft s-1), at 2024-02-29 01:30"},
      {HydroResult(), {"--field", "depth", "--title", "Flood tide"}, "Flood tide"},
      {Qmx2File(header, {mean}, true), {"--field", "depth"}, "MEAN: depth (ft), time average"},
      {Qmx4File(CodedHeader{}, {transport}),
       {"--field", "constituent_1"},
       "CODED TITLE: concentration of constituent 1, time average"},
      {Qmx4File(CodedHeader{}, {transport, later}),
       {"--field", "constituent_1"},
       "CODED TITLE: concentration of constituent 1, at hour 0"},
      {threed, {"--field", "x_velocity"}, "x velocity (ft s-1), time average"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    box_.Write("result.bin", c.file.bytes());
    const std::string out = "t" + std::to_string(i) + ".pdf";
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", out});
    const RunResult run = Plot(args);
    ASSERT_EQ(0, run.status) << run.err;
    const std::string text = PdfText(out);
    EXPECT_EQ(0u, text.find(c.title + "\n")) << text;
  }
}

// An SVG and a PDF are shapes and text only: no picture embedded, the text
// found by a viewer, the SVG drawn by rsvg-convert with the colour map's two
// ends on its colour bar.
TEST_F(PlotTest, VectorPicturesHoldShapesAndTextAndNoImage) {
  if (access(kRsvg, X_OK) != 0 || access(kPdfToText, X_OK) != 0 || access(kPdfImages, X_OK) != 0) {
    GTEST_SKIP() << "no poppler-utils or rsvg-convert";
  }
  const std::vector<std::string> look = {"--field",    "depth", "--arrows", "--edges",
                                         "--contours", "3",     "--range",  "0:0.25"};
  for (const char* out : {"d.svg", "d.pdf"}) {
    std::vector<std::string> args = look;
    args.insert(args.end(), {"-o", out});
    const RunResult run = Plot(args);
    ASSERT_EQ(0, run.status) << run.err;
  }
  const std::string svg = box_.Read("d.svg");
  EXPECT_EQ(std::string::npos, svg.find("<image")) << "an embedded picture";
  EXPECT_NE(std::string::npos, svg.find("<path")) << "no shapes";
  EXPECT_NE(std::string::npos, svg.find("<use xlink:href=\"#glyph")) << "no text";
  const RunResult render = box_.RunProgram(kRsvg, {"-o", "d.png", "d.svg"});
  ASSERT_EQ(0, render.status) << render.err;
  const Png png(box_.Path("d.png"));
  ASSERT_TRUE(png.ok());
  // The ends of the bar: viridis's first colour #440154 and its last #fde725,
  // nearly (the bands take their middle colours).
  auto found = [&](std::array<int, 3> colour) {
    for (int y = 0; y < png.height(); ++y) {
      for (int x = 0; x < png.width(); ++x) {
        const std::array<int, 3> p = png.At(x, y);
        if (std::abs(p[0] - colour[0]) + std::abs(p[1] - colour[1]) + std::abs(p[2] - colour[2]) <
            12) {
          return true;
        }
      }
    }
    return false;
  };
  EXPECT_TRUE(found({0x44, 0x01, 0x54}));
  EXPECT_TRUE(found({0xfd, 0xe7, 0x25}));

  const RunResult images = box_.RunProgram(kPdfImages, {"-list", "d.pdf"});
  ASSERT_EQ(0, images.status) << images.err;
  // Only the list's two heading lines: no image.
  EXPECT_EQ(2, std::count(images.out.begin(), images.out.end(), '\n')) << images.out;
  const std::string text = "\n" + PdfText("d.pdf");
  // The colour bar's round ticks from 0 to 0.25, its label, the axes' labels,
  // and the reference arrow: the fastest arrow drawn is node 11's, at
  // hypot(8, 8.25) = 11.5 ft s-1, so the arrow of a round speed below it is
  // 10 ft s-1.
  for (const char* shown :
       {"0.05", "0.10", "0.15", "0.20", "0.25", "depth (ft)", "x (ft)", "y (ft)", "10 ft s-1"}) {
    EXPECT_NE(std::string::npos, text.find(std::string("\n") + shown + "\n")) << shown << text;
  }
}

// Margins keep everything in the picture: a long title is wrapped, the arrows
// at the mesh's edge, the labels; no ink touches the picture's edge.
TEST_F(PlotTest, NothingIsCutAtThePicturesEdges) {
  std::string title;
  for (int i = 0; i < 40; ++i) title += "word" + std::to_string(i) + " ";
  const RunResult run =
      Plot({"--field", "speed", "--arrows", "--size", "300x240", "--title", title, "-o", "e.png"});
  ASSERT_EQ(0, run.status) << run.err;
  const Png png(box_.Path("e.png"));
  ASSERT_TRUE(png.ok());
  for (int x = 0; x < png.width(); ++x) {
    for (int y : {0, 1, 2, png.height() - 3, png.height() - 2, png.height() - 1}) {
      ASSERT_TRUE(png.Blank(x, y)) << x << ", " << y;
    }
  }
  for (int y = 0; y < png.height(); ++y) {
    for (int x : {0, 1, 2, png.width() - 3, png.width() - 2, png.width() - 1}) {
      ASSERT_TRUE(png.Blank(x, y)) << x << ", " << y;
    }
  }
}

// --region draws a part of the mesh: the axes' ticks span only that part.
TEST_F(PlotTest, RegionZoomsTheAxes) {
  if (access(kPdfToText, X_OK) != 0) GTEST_SKIP() << "no " << kPdfToText;
  // The colour bar's ticks, 0 to 0.25 by 0.05, are none of the axes'.
  ASSERT_EQ(0, Plot({"--field", "depth", "--range", "0:0.25", "-o", "all.pdf"}).status);
  ASSERT_EQ(0, Plot({"--field", "depth", "--range", "0:0.25", "--region", "1:1.5,0:0.5", "-o",
                     "part.pdf"})
                   .status);
  const std::string all = "\n" + PdfText("all.pdf"), part = "\n" + PdfText("part.pdf");
  // The whole mesh, 4 ft wide, takes ticks a foot apart; half a foot, ticks
  // a tenth or a fifth of a foot apart.
  EXPECT_NE(std::string::npos, all.find("\n3\n")) << all;
  EXPECT_EQ(std::string::npos, all.find("\n1.2\n")) << all;
  EXPECT_EQ(std::string::npos, part.find("\n3\n")) << part;
  for (const char* tick : {"\n1.2\n", "\n1.4\n", "\n0.3\n"}) {
    EXPECT_NE(std::string::npos, part.find(tick)) << tick << part;
  }
}

// --every N draws every Nth step from the first into numbered pictures.
TEST_F(PlotTest, EveryNthStepIntoNumberedPictures) {
  const std::string order =
      "Element node order: alternate, found from the geometry (2 of 2 elements with mid-side "
      "nodes fit it)\n";
  RunResult run = Plot({"--field", "depth", "--every", "1", "-o", "f.png"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(order + "Wrote f_0001.png\nWrote f_0002.png\n", run.out);
  run = Plot({"--field", "depth", "--every", "2", "-o", "g.png"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(order + "Wrote g_0001.png\n", run.out);
  EXPECT_EQ((std::vector<std::string>{"f_0001.png", "f_0002.png", "g_0001.png", "mesh.velto",
                                      "result.bin"}),
            box_.List());
  EXPECT_TRUE(Png(box_.Path("f_0002.png")).ok());
}

}  // namespace
}  // namespace korvant
