// Writes maximum-size model files for the benchmark: 60000 nodes, 20000
// elements, hourly steps with deterministic values, and a mesh for them.
//   make_files <dir> <steps> [nodes elements]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Out {
 public:
  explicit Out(const std::string& path) : f_(std::fopen(path.c_str(), "wb")) {
    if (f_ == nullptr) {
      std::perror(path.c_str());
      std::exit(1);
    }
  }
  ~Out() { std::fclose(f_); }
  void Record(const std::vector<unsigned char>& data) {
    uint32_t n = static_cast<uint32_t>(data.size());
    std::fwrite(&n, 4, 1, f_);
    std::fwrite(data.data(), 1, data.size(), f_);
    std::fwrite(&n, 4, 1, f_);
  }

 private:
  std::FILE* f_;
};

struct Rec {
  std::vector<unsigned char> b;
  template <typename T>
  void Put(T v) {
    unsigned char tmp[4];
    std::memcpy(tmp, &v, 4);
    b.insert(b.end(), tmp, tmp + 4);
  }
  void Text(const std::string& s, size_t n) {
    std::string t = s;
    t.resize(n, ' ');
    b.insert(b.end(), t.begin(), t.end());
  }
};

float Wave(int node, int step, int what) {
  return static_cast<float>(((node * 7 + step * 13 + what * 29) % 2000) - 1000) / 400.0f;
}

void CharacterHeader(Out& out, int version) {
  Rec c1, c2, c3;
  for (int i = 0; i < 15; ++i) c1.Text("BENCHMARK BANNER LINE " + std::to_string(i + 1), 80);
  c2.Put<int32_t>(version);
  for (int i = 1; i < 40; ++i) c2.Put<int32_t>(i);
  for (int i = 0; i < 40; ++i) c2.Put<float>(static_cast<float>(i) * 0.5f);
  c3.Text("BENCHMARK TITLE", 77);
  out.Record(c1.b);
  out.Record(c2.b);
  out.Record(c3.b);
}

void Hydro(const std::string& path, int steps, int np, int ne, int first_hour) {
  Out out(path);
  CharacterHeader(out, 42);
  for (int t = 0; t < steps; ++t) {
    Rec r;
    r.Put<float>(static_cast<float>(first_hour + t));
    r.Put<int32_t>(np);
    for (int k = 0; k < np; ++k) {
      r.Put(Wave(k, t, 0));
      r.Put(Wave(k, t, 1));
      r.Put(5.0f + Wave(k, t, 2));
    }
    for (int k = 0; k < np; ++k) r.Put<int32_t>(k % 3);
    r.Put<int32_t>(ne);
    for (int e = 0; e < ne; ++e) r.Put<int32_t>(1 + e % 5);
    for (int k = 0; k < np; ++k) r.Put(100.0f + Wave(k, t, 3));
    out.Record(r.b);
  }
}

void Transport(const std::string& path, int steps, int np, int ne, int first_hour) {
  Out out(path);
  CharacterHeader(out, 10);
  for (int t = 0; t < steps; ++t) {
    Rec r;
    r.Put<float>(static_cast<float>(first_hour + t));
    r.Put<int32_t>(6);
    r.Put<int32_t>(np);
    for (int c = 0; c < 6; ++c) {
      for (int k = 0; k < np; ++k) r.Put(10.0f + Wave(k, t, c));
    }
    r.Put<int32_t>(ne);
    for (int e = 0; e < ne; ++e) r.Put<int32_t>(1 + e % 5);
    out.Record(r.b);
  }
}

void ThreeD(const std::string& path, int steps, int np, int ne, int first_hour) {
  Out out(path);
  for (int t = 0; t < steps; ++t) {
    Rec r;
    r.Put<float>(static_cast<float>(first_hour + t));
    r.Put<int32_t>(np);
    r.Put<int32_t>(6);
    r.Put<int32_t>(ne);
    r.Put<int32_t>(8);
    for (int i = 0; i < 8; ++i) r.Put<int32_t>(np);
    for (int d = 0; d < 6; ++d) {
      for (int k = 0; k < np; ++k) r.Put(Wave(k, t, d));
    }
    for (int k = 0; k < np; ++k) r.Put(Wave(k, t, 7));   // RDAT3
    for (int e = 0; e < ne; ++e) r.Put<int32_t>(1);      // IMAT
    for (int k = 0; k < np; ++k) r.Put<int32_t>(1);      // NDRY
    for (int k = 0; k < np; ++k) r.Put(Wave(k, t, 8));   // RDAT7
    for (int k = 0; k < np; ++k) r.Put(Wave(k, t, 9));   // RDAT8
    for (int k = 0; k < np; ++k) r.Put(Wave(k, t, 10));  // RNODE
    for (int e = 0; e < ne; ++e) r.Put(Wave(e, t, 11));  // RELEM
    out.Record(r.b);
  }
}

// A VELTO geometry file of `np` nodes on a lattice 300 nodes wide, one
// apart, and `ne` quadratic elements over blocks of two by two lattice
// cells: an eight-node quadrilateral and two six-node triangles in turn,
// node numbers alternating corner and mid-side anticlockwise. Nodes beyond
// the blocks' are left unused. False when the lattice holds too few blocks.
bool Mesh(const std::string& path, int np, int ne) {
  const int wide = 300, rows = np / wide;
  auto node = [&](int i, int j) { return j * wide + i + 1; };
  Rec g;
  g.Put<int32_t>(np);
  g.Put<int32_t>(ne);
  for (int k = 0; k < np; ++k) {
    g.Put(static_cast<float>(k % wide));
    g.Put(static_cast<float>(k / wide));
    g.Put(0.0f);
    g.Put(-5.0f);
  }
  auto element = [&](std::initializer_list<int> nop) {
    for (int n : nop) g.Put<int32_t>(n);
    for (size_t n = nop.size(); n < 8; ++n) g.Put<int32_t>(0);
    g.Put<int32_t>(1);
    g.Put(0.0f);
    g.Put<int32_t>(0);
  };
  int made = 0;
  for (int b = 0; made < ne; ++b) {
    const int i = 2 * (b % ((wide - 1) / 2)), j = 2 * (b / ((wide - 1) / 2));
    if (j + 2 >= rows) return false;
    if (b % 2 == 0) {
      element({node(i, j), node(i + 1, j), node(i + 2, j), node(i + 2, j + 1), node(i + 2, j + 2),
               node(i + 1, j + 2), node(i, j + 2), node(i, j + 1)});
      ++made;
      continue;
    }
    element({node(i, j), node(i + 1, j), node(i + 2, j), node(i + 1, j + 1), node(i, j + 2),
             node(i, j + 1)});
    if (++made == ne) break;
    element({node(i + 2, j), node(i + 2, j + 1), node(i + 2, j + 2), node(i + 1, j + 2),
             node(i, j + 2), node(i + 1, j + 1)});
    ++made;
  }
  Out out(path);
  Rec c1, c2;
  for (int i = 0; i < 15; ++i) c1.Text("BENCHMARK MESH LINE " + std::to_string(i + 1), 80);
  c2.Put<int32_t>(42);
  for (int i = 1; i < 40; ++i) c2.Put<int32_t>(i);
  for (int i = 0; i < 40; ++i) c2.Put<float>(0.0f);
  out.Record(c1.b);
  out.Record(c2.b);
  out.Record(g.b);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_files <dir> <steps> [nodes elements]\n");
    return 2;
  }
  std::string dir = argv[1];
  int steps = std::atoi(argv[2]);
  int np = argc > 4 ? std::atoi(argv[3]) : 60000;
  int ne = argc > 4 ? std::atoi(argv[4]) : 20000;
  Hydro(dir + "/qmx2_a.bin", steps, np, ne, 0);
  Hydro(dir + "/qmx2_b.bin", steps, np, ne, steps);
  Transport(dir + "/qmx4_a.bin", steps, np, ne, 0);
  Transport(dir + "/qmx4_b.bin", steps, np, ne, steps);
  ThreeD(dir + "/qmx10_a.bin", steps, np, ne, 0);
  ThreeD(dir + "/qmx10_b.bin", steps, np, ne, steps);
  if (!Mesh(dir + "/mesh.velto", np, ne)) {
    std::fprintf(stderr, "make_files: %d nodes hold too few blocks for %d elements\n", np, ne);
    return 1;
  }
  return 0;
}
