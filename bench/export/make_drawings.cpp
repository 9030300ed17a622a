// Writes the drawings of the whole-process export benchmark: R12 ASCII DXF
// files with a HEADER, a LAYER table and the ENTITIES under test.
//
//   make_drawings DIR [--scale F]
//
// writes into DIR
//   polyface_1m.dxf   a height-field surface of about 1,000,000 triangles,
//                     split into polyface meshes of at most 32,767 vertices
//   polygon_1000.dxf  one 1000 x 1000 polygon mesh
//   faces_100k.dxf    100,000 separate 3DFACE entities
//   faces_1.dxf       one 3DFACE: the fixed cost of a whole export
//   blocks_10k.dxf    10,000 references (turned and moved) to one block of
//                     100 3DFACE entities
//   blocks_flat.dxf   the same 1,000,000 faces written out flat, where the
//                     references place them
// --scale shrinks (or grows) every count by F, for quick runs and profiling.
// Every entity, vertex and end-of-sequence record carries a handle (group 5),
// and every entity colour 3 on layer SURFACE, so an export writes materials.
// Exit status: 0 written, 1 write error, 2 usage error.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace {

constexpr int kColor = 3;
constexpr int kMaxPolyfaceVertices = 32767;

// Buffered DXF writer: group codes right-aligned in three columns, "\n" line
// ends, reals with at most six decimals and no trailing zeros.
class DxfWriter {
 public:
  explicit DxfWriter(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {}
  ~DxfWriter() {
    if (file_) std::fclose(file_);
  }
  DxfWriter(const DxfWriter&) = delete;
  DxfWriter& operator=(const DxfWriter&) = delete;

  bool isOpen() const { return file_ != nullptr; }

  void code(int group) {
    char text[8];
    auto end = std::to_chars(text, text + sizeof text, group).ptr;
    const size_t digits = static_cast<size_t>(end - text);
    char line[8] = {' ', ' ', ' '};
    const size_t width = digits < 3 ? 3 : digits;
    std::memcpy(line + width - digits, text, digits);
    line[width] = '\n';
    put(line, width + 1);
  }
  void str(int group, const char* value) {
    code(group);
    put(value, std::strlen(value));
    put("\n", 1);
  }
  void integer(int group, long long value) {
    code(group);
    char text[32];
    auto end = std::to_chars(text, text + sizeof text, value).ptr;
    *end++ = '\n';
    put(text, static_cast<size_t>(end - text));
  }
  void real(int group, double value) {
    code(group);
    // Fixed point through integers: much faster than a general conversion,
    // and the drawings' coordinates are far inside its range.
    long long micros = std::llround(value * 1e6);
    char text[48];
    char* end = text;
    if (micros < 0) {  // a value that rounds to zero is written "0.0", not "-0.0"
      *end++ = '-';
      micros = -micros;
    }
    end = std::to_chars(end, text + sizeof text, micros / 1000000).ptr;
    *end++ = '.';
    long long fraction = micros % 1000000;
    if (fraction == 0) {
      *end++ = '0';
    } else {
      char digits[6];
      for (int i = 5; i >= 0; --i, fraction /= 10) digits[i] = static_cast<char>('0' + fraction % 10);
      int last = 5;
      while (digits[last] == '0') --last;
      std::memcpy(end, digits, static_cast<size_t>(last + 1));
      end += last + 1;
    }
    *end++ = '\n';
    put(text, static_cast<size_t>(end - text));
  }
  void point(int group, double x, double y, double z) {
    real(group, x);
    real(group + 10, y);
    real(group + 20, z);
  }
  // The next handle, upper-case hexadecimal, as group 5.
  void handle() {
    code(5);
    char text[24];
    auto end = std::to_chars(text, text + sizeof text, nextHandle_++, 16).ptr;
    std::transform(text, end, text, [](char c) { return c >= 'a' && c <= 'f' ? char(c - 32) : c; });
    *end++ = '\n';
    put(text, static_cast<size_t>(end - text));
  }
  uint64_t nextHandle() const { return nextHandle_; }

  // Flushes and closes; false when any write or the close failed.
  bool finish() {
    flush();
    if (!file_) return false;
    bool good = !std::ferror(file_);
    good = (std::fclose(file_) == 0) && good;
    file_ = nullptr;
    return good && !failed_;
  }
  const std::string& path() const { return path_; }

 private:
  void put(const char* data, size_t size) {
    if (used_ + size > sizeof buffer_) flush();
    std::memcpy(buffer_ + used_, data, size);
    used_ += size;
  }
  void flush() {
    if (file_ && used_ && std::fwrite(buffer_, 1, used_, file_) != used_) failed_ = true;
    used_ = 0;
  }

  std::string path_;
  std::FILE* file_;
  char buffer_[1 << 16];
  size_t used_ = 0;
  bool failed_ = false;
  uint64_t nextHandle_ = 0x100;
};

// The header, the LAYER table, the BLOCKS section BLOCKS writes and the
// start of ENTITIES. The handle seed is
// written far above any handle the drawings use.
template <typename Blocks>
void beginDrawing(DxfWriter& out, Blocks blocks) {
  out.str(0, "SECTION");
  out.str(2, "HEADER");
  out.str(9, "$ACADVER");
  out.str(1, "AC1009");
  out.str(9, "$HANDLING");
  out.integer(70, 1);
  out.str(9, "$HANDSEED");
  out.str(5, "FFFFFFF");
  out.str(0, "ENDSEC");

  out.str(0, "SECTION");
  out.str(2, "TABLES");
  out.str(0, "TABLE");
  out.str(2, "LAYER");
  out.integer(70, 2);
  for (const char* name : {"0", "SURFACE"}) {
    out.str(0, "LAYER");
    out.str(2, name);
    out.integer(70, 0);
    out.integer(62, 7);
    out.str(6, "CONTINUOUS");
  }
  out.str(0, "ENDTAB");
  out.str(0, "ENDSEC");

  out.str(0, "SECTION");
  out.str(2, "BLOCKS");
  blocks(out);
  out.str(0, "ENDSEC");

  out.str(0, "SECTION");
  out.str(2, "ENTITIES");
}

void endDrawing(DxfWriter& out) {
  out.str(0, "ENDSEC");
  out.str(0, "EOF");
}

void commonGroups(DxfWriter& out, const char* type) {
  out.str(0, type);
  out.handle();
  out.str(8, "SURFACE");
  out.integer(62, kColor);
}

double height(double x, double y) { return 2.0 * std::sin(x * 0.05) * std::cos(y * 0.07); }

void seqend(DxfWriter& out) {
  out.str(0, "SEQEND");
  out.handle();
  out.str(8, "SURFACE");
}

// A height field of `tiles` square tiles of `side` x `side` quads, each quad
// two triangles, each tile one polyface mesh.
void writePolyfaceSurface(DxfWriter& out, int tiles, int side) {
  const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(tiles))));
  const int perRow = side + 1;
  for (int t = 0; t < tiles; ++t) {
    const double x0 = (t % columns) * side;
    const double y0 = (t / columns) * side;
    commonGroups(out, "POLYLINE");
    out.integer(66, 1);
    out.point(10, 0.0, 0.0, 0.0);
    out.integer(70, 64);
    out.integer(71, static_cast<long long>(perRow) * perRow);
    out.integer(72, 2LL * side * side);
    for (int j = 0; j <= side; ++j) {
      for (int i = 0; i <= side; ++i) {
        commonGroups(out, "VERTEX");
        const double x = x0 + i, y = y0 + j;
        out.point(10, x, y, height(x, y));
        out.integer(70, 192);
      }
    }
    for (int j = 0; j < side; ++j) {
      for (int i = 0; i < side; ++i) {
        const int a = j * perRow + i + 1, b = a + 1, c = a + perRow, d = c + 1;
        const int triangles[2][3] = {{a, b, d}, {a, d, c}};
        for (const auto& tri : triangles) {
          commonGroups(out, "VERTEX");
          out.point(10, 0.0, 0.0, 0.0);
          out.integer(70, 128);
          out.integer(71, tri[0]);
          out.integer(72, tri[1]);
          out.integer(73, tri[2]);
        }
      }
    }
    seqend(out);
  }
}

void writePolygonMesh(DxfWriter& out, int m, int n) {
  commonGroups(out, "POLYLINE");
  out.integer(66, 1);
  out.point(10, 0.0, 0.0, 0.0);
  out.integer(70, 16);
  out.integer(71, m);
  out.integer(72, n);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < n; ++j) {
      commonGroups(out, "VERTEX");
      out.point(10, j, i, height(j, i));
      out.integer(70, 64);
    }
  }
  seqend(out);
}

// `count` small triangles in rows of 1000, each with its own fourth corner
// equal to the third, as drawing programs write triangular 3D faces.
void writeFaces(DxfWriter& out, int count) {
  for (int k = 0; k < count; ++k) {
    const double x = (k % 1000) * 1.5, y = (k / 1000) * 1.5;
    commonGroups(out, "3DFACE");
    out.point(10, x, y, height(x, y));
    out.point(11, x + 1, y, height(x + 1, y));
    out.point(12, x + 1, y + 1, height(x + 1, y + 1));
    out.point(13, x + 1, y + 1, height(x + 1, y + 1));
  }
}

// The block of the block drawings: a 10 x 5 grid of unit squares, each
// split into two triangles, over the height field; and where a reference
// puts the block (the K-th of COUNT): a grid of places 12 apart, each turned.
constexpr int kTileColumns = 10, kTileRows = 5;

struct Place {
  double x, y, degrees;
};
Place placeOf(int k, int count) {
  const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
  return {(k % columns) * 12.0, (k / columns) * 12.0, static_cast<double>((k * 37) % 360)};
}

template <typename Face>
void forEachTileFace(Face face) {
  for (int j = 0; j < kTileRows; ++j)
    for (int i = 0; i < kTileColumns; ++i) {
      const double x0 = i, y0 = j, x1 = i + 1, y1 = j + 1;
      face(x0, y0, x1, y0, x1, y1);
      face(x0, y0, x1, y1, x0, y1);
    }
}

void writeTileFace(DxfWriter& out, const Place& p, double ax, double ay, double bx, double by, double cx, double cy) {
  const double r = p.degrees * 3.14159265358979323846 / 180.0, c = std::cos(r), s = std::sin(r);
  auto corner = [&](int group, double x, double y) {
    out.point(group, p.x + c * x - s * y, p.y + s * x + c * y, height(x, y));
  };
  commonGroups(out, "3DFACE");
  corner(10, ax, ay);
  corner(11, bx, by);
  corner(12, cx, cy);
  corner(13, cx, cy);
}

void writeTileBlock(DxfWriter& out) {
  out.str(0, "BLOCK");
  out.str(8, "0");
  out.str(2, "TILE");
  out.integer(70, 0);
  out.point(10, 0.0, 0.0, 0.0);
  out.str(3, "TILE");
  forEachTileFace([&](double ax, double ay, double bx, double by, double cx, double cy) {
    writeTileFace(out, {0, 0, 0}, ax, ay, bx, by, cx, cy);
  });
  out.str(0, "ENDBLK");
  out.str(8, "0");
}

void writeReferences(DxfWriter& out, int count) {
  for (int k = 0; k < count; ++k) {
    const Place p = placeOf(k, count);
    out.str(0, "INSERT");
    out.handle();
    out.str(8, "SURFACE");
    out.str(2, "TILE");
    out.point(10, p.x, p.y, 0.0);
    out.real(50, p.degrees);
  }
}

void writeFlatTiles(DxfWriter& out, int count) {
  for (int k = 0; k < count; ++k) {
    const Place p = placeOf(k, count);
    forEachTileFace([&](double ax, double ay, double bx, double by, double cx, double cy) {
      writeTileFace(out, p, ax, ay, bx, by, cx, cy);
    });
  }
}

void noBlocks(DxfWriter&) {}

template <typename Body, typename Blocks = void (*)(DxfWriter&)>
bool writeDrawing(const std::string& path, Body body, Blocks blocks = noBlocks) {
  DxfWriter out(path);
  if (!out.isOpen()) {
    std::fprintf(stderr, "make_drawings: cannot create %s\n", path.c_str());
    return false;
  }
  beginDrawing(out, blocks);
  body(out);
  endDrawing(out);
  if (!out.finish()) {
    std::fprintf(stderr, "make_drawings: write error on %s\n", path.c_str());
    return false;
  }
  return true;
}

int usage() {
  std::fprintf(stderr, "usage: make_drawings DIR [--scale F]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) return usage();
  const std::string dir = argv[1];
  double scale = 1.0;
  if (argc == 4) {
    if (std::strcmp(argv[2], "--scale") != 0) return usage();
    char* end = nullptr;
    scale = std::strtod(argv[3], &end);
    if (*end != '\0' || !(scale > 0.0) || scale > 16.0) return usage();
  }

  // Polyface: tiles of 125 x 125 quads (15,876 vertices, 31,250 triangles);
  // 32 of them make 1,000,000 triangles.
  const int side = 125;
  const int tiles = std::max(1, static_cast<int>(std::lround(32 * scale)));
  static_assert((125 + 1) * (125 + 1) <= kMaxPolyfaceVertices, "tile too large for a polyface mesh");
  const int meshSide = std::max(2, static_cast<int>(std::lround(1000 * std::sqrt(scale))));
  const int faces = std::max(1, static_cast<int>(std::lround(100000 * scale)));
  const int references = std::max(1, static_cast<int>(std::lround(10000 * scale)));

  bool good = true;
  good &= writeDrawing(dir + "/polyface_1m.dxf", [&](DxfWriter& out) { writePolyfaceSurface(out, tiles, side); });
  good &= writeDrawing(dir + "/polygon_1000.dxf", [&](DxfWriter& out) { writePolygonMesh(out, meshSide, meshSide); });
  good &= writeDrawing(dir + "/faces_100k.dxf", [&](DxfWriter& out) { writeFaces(out, faces); });
  good &= writeDrawing(dir + "/faces_1.dxf", [&](DxfWriter& out) { writeFaces(out, 1); });
  good &= writeDrawing(dir + "/blocks_10k.dxf", [&](DxfWriter& out) { writeReferences(out, references); },
                       writeTileBlock);
  good &= writeDrawing(dir + "/blocks_flat.dxf", [&](DxfWriter& out) { writeFlatTiles(out, references); });
  if (!good) return 1;
  std::printf("polyface_1m.dxf   %d meshes, %d triangles\n", tiles, tiles * 2 * side * side);
  std::printf("polygon_1000.dxf  %d x %d polygon mesh\n", meshSide, meshSide);
  std::printf("faces_100k.dxf    %d 3DFACE\n", faces);
  std::printf("faces_1.dxf       1 3DFACE\n");
  std::printf("blocks_10k.dxf    %d references to a block of %d 3DFACE\n", references, 2 * kTileColumns * kTileRows);
  std::printf("blocks_flat.dxf   %d 3DFACE\n", references * 2 * kTileColumns * kTileRows);
  return 0;
}
