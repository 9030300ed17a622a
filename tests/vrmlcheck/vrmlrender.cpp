// vrmlrender: draws a VRML 1.0 world file to a PNG image without a display.
// Coin reads the world and hands over its triangles; everything after that is
// done here in software: an orthographic camera fitted to the triangles, a
// z-buffer, flat shading with one directional light plus ambient light,
// two-sided faces, alpha-blended transparent faces and thin dark outlines
// where surfaces meet at an angle or overlap. The image is drawn at twice its
// size in each direction and averaged down, which smooths the edges.
//
// The views take the world's Z axis as up, the way corvane writes a drawing's
// coordinates. Exit status: 0 the image was written; 1 the world could not be
// read, has no faces, or the image could not be written; 2 bad usage.
#include <Inventor/SbLinear.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoPath.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>

#ifdef VRMLRENDER_HAVE_ZLIB
#include <zlib.h>
#endif

#include <algorithm>
#include <array>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "coin_world.h"

namespace {

using coinworld::kExitFailed;
using coinworld::kExitOk;
using coinworld::kExitUsage;
constexpr int kSupersample = 2;

constexpr const char* kUsage =
    "usage: vrmlrender IN.wrl OUT.png [--size WxH] [--view iso|top|front] [--objects N,...]\n"
    "                  [--no-edges]\n"
    "Draws the faces of the VRML 1.0 world IN.wrl into the PNG image OUT.png\n"
    "(default 960x640, iso view, Z up, white background). --objects draws only\n"
    "the given top-level Separators, counted from 1 in file order. Exit 0 when\n"
    "the image is written; 1 when the world cannot be read or has nothing to\n"
    "draw, or the image cannot be written; 2 bad usage.\n";

enum class View { Iso, Top, Front };

struct Options {
  std::string in, out;
  int width = 960, height = 640;
  View view = View::Iso;
  std::vector<int> objects;  // top-level Separators to draw, from 1; empty for all
  bool edges = true;
};

struct Vec3 {
  double x = 0, y = 0, z = 0;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 normalized(Vec3 a) {
  const double n = std::sqrt(dot(a, a));
  return n > 0 ? a * (1 / n) : a;
}

struct Triangle {
  std::array<Vec3, 3> p;  // world coordinates
  Vec3 color;             // base colour, 0..1
  float alpha = 1;        // 1 - transparency
  int shape = 0;          // which shape it came from; outlines separate shapes
};

// ---------------------------------------------------------------------------
// Reading the world

struct Collector {
  std::vector<const SoNode*> chosen;  // top-level nodes to draw; empty for all
  std::vector<Triangle> triangles;
  const SoNode* lastShape = nullptr;
  int shapeCount = 0;
};

bool isGrey(const SbColor& c, float level) {
  return std::fabs(c[0] - level) < 1e-3f && std::fabs(c[1] - level) < 1e-3f && std::fabs(c[2] - level) < 1e-3f;
}

// corvane puts the drawing colour in ambientColor and leaves diffuseColor at
// 0.8 grey; a stored material sets diffuseColor itself. So: the diffuse
// colour, unless it is that 0.8 grey and the ambient colour is not one of the
// usual defaults (0.2, or 0.3 in some writers), in which case the ambient one.
Vec3 baseColor(const SbColor& ambient, const SbColor& diffuse) {
  const bool ambientIsDefault = isGrey(ambient, 0.2f) || isGrey(ambient, 0.3f);
  const SbColor& c = (isGrey(diffuse, 0.8f) && !ambientIsDefault) ? ambient : diffuse;
  return {std::clamp(double(c[0]), 0.0, 1.0), std::clamp(double(c[1]), 0.0, 1.0), std::clamp(double(c[2]), 0.0, 1.0)};
}

void collectTriangle(void* data, SoCallbackAction* action, const SoPrimitiveVertex* v1, const SoPrimitiveVertex* v2,
                     const SoPrimitiveVertex* v3) {
  auto* collector = static_cast<Collector*>(data);
  // The path starts at the Separator readAll made; its node 1 is the file's top-level node.
  const SoPath* path = action->getCurPath();
  if (!collector->chosen.empty() &&
      (path->getLength() < 2 ||
       std::find(collector->chosen.begin(), collector->chosen.end(), path->getNode(1)) == collector->chosen.end()))
    return;
  const SoNode* shape = action->getCurPathTail();
  if (shape != collector->lastShape) {
    collector->lastShape = shape;
    ++collector->shapeCount;
  }
  SbColor ambient, diffuse, specular, emission;
  float shininess = 0, transparency = 0;
  action->getMaterial(ambient, diffuse, specular, emission, shininess, transparency, v1->getMaterialIndex());
  const SbMatrix& model = action->getModelMatrix();
  Triangle t;
  const SoPrimitiveVertex* vertices[3] = {v1, v2, v3};
  for (int i = 0; i < 3; ++i) {
    SbVec3f world;
    model.multVecMatrix(vertices[i]->getPoint(), world);
    t.p[i] = {world[0], world[1], world[2]};
  }
  t.color = baseColor(ambient, diffuse);
  t.alpha = std::clamp(1.0f - transparency, 0.0f, 1.0f);
  t.shape = collector->shapeCount;
  collector->triangles.push_back(t);
}

// Reads NAME into TRIANGLES, only those of the top-level Separators numbered
// in OBJECTS unless it is empty; false with a message in ERROR when it cannot.
bool readWorld(const std::string& name, const std::vector<int>& objects, std::vector<Triangle>& triangles,
               std::string& error) {
  SoSeparator* root = coinworld::readWorld(name, error);
  if (root == nullptr) return false;
  Collector collector;
  std::vector<const SoNode*> separators;
  for (int i = 0; i < root->getNumChildren(); ++i)
    if (root->getChild(i)->isOfType(SoSeparator::getClassTypeId())) separators.push_back(root->getChild(i));
  for (int n : objects) {
    if (n > int(separators.size())) {
      error = "has " + std::to_string(separators.size()) + " top-level Separators, not " + std::to_string(n);
      root->unref();
      return false;
    }
    collector.chosen.push_back(separators[n - 1]);
  }
  SoCallbackAction action;
  action.addTriangleCallback(SoShape::getClassTypeId(), collectTriangle, &collector);
  action.apply(root);
  root->unref();
  triangles = std::move(collector.triangles);
  return true;
}

// ---------------------------------------------------------------------------
// Camera

struct Camera {
  Vec3 right, up, toViewer;  // orthonormal; toViewer points from the scene to the eye
  double scale = 1, centerX = 0, centerY = 0;
  int width = 0, height = 0;

  // Pixel coordinates (x right, y down) and depth (larger is nearer).
  Vec3 project(Vec3 p) const {
    return {(dot(p, right) - centerX) * scale + width * 0.5, height * 0.5 - (dot(p, up) - centerY) * scale,
            dot(p, toViewer)};
  }
};

Camera fitCamera(const std::vector<Triangle>& triangles, View view, int width, int height) {
  Vec3 toViewer, upHint{0, 0, 1};
  switch (view) {
    case View::Iso: toViewer = normalized({1, -1, 0.7}); break;
    case View::Top: toViewer = {0, 0, 1}, upHint = {0, 1, 0}; break;
    case View::Front: toViewer = {0, -1, 0}; break;
  }
  Camera c;
  c.toViewer = toViewer;
  c.right = normalized(cross(upHint, toViewer));
  c.up = cross(toViewer, c.right);
  c.width = width;
  c.height = height;
  double minX = std::numeric_limits<double>::max(), maxX = -minX, minY = minX, maxY = -minX;
  for (const Triangle& t : triangles) {
    for (const Vec3& p : t.p) {
      const double x = dot(p, c.right), y = dot(p, c.up);
      minX = std::min(minX, x), maxX = std::max(maxX, x);
      minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
  }
  constexpr double kMargin = 0.06;  // of each side
  const double spanX = std::max(maxX - minX, 1e-9), spanY = std::max(maxY - minY, 1e-9);
  c.scale = std::min(width * (1 - 2 * kMargin) / spanX, height * (1 - 2 * kMargin) / spanY);
  c.centerX = (minX + maxX) / 2;
  c.centerY = (minY + maxY) / 2;
  return c;
}

// ---------------------------------------------------------------------------
// Drawing

struct Raster {
  int width, height;
  std::vector<Vec3> color;      // linear 0..1
  std::vector<float> depth;     // nearest opaque surface; -inf where none
  std::vector<int> surface;     // index of the triangle seen there, -1 for none
  std::vector<float> glassDepth;  // nearest transparent surface in front of the opaque one
  std::vector<int> glass;         // its triangle, -1 for none

  Raster(int w, int h)
      : width(w), height(h), color(size_t(w) * h, Vec3{1, 1, 1}),
        depth(size_t(w) * h, -std::numeric_limits<float>::infinity()), surface(size_t(w) * h, -1),
        glassDepth(depth), glass(surface) {}
};

struct Shaded {
  Vec3 color;
  Vec3 normal;                           // toward the viewer
  double depthPerX = 0, depthPerY = 0;  // change of depth from one pixel to the next
};

// One directional light from the upper left behind the viewer, plus ambient
// light. Faces are two-sided: the normal is turned toward the viewer first.
Shaded shade(const Triangle& t, const Camera& camera) {
  Vec3 n = normalized(cross(t.p[1] - t.p[0], t.p[2] - t.p[0]));
  if (dot(n, camera.toViewer) < 0) n = n * -1;
  const Vec3 light = normalized(camera.right * -0.45 + camera.up * 0.75 + camera.toViewer * 0.6);
  const double lit = 0.38 + 0.62 * std::max(0.0, dot(n, light));
  return {t.color * lit, n};
}

// Calls PLOT(index, depth) for every pixel centre inside the projected triangle.
template <typename Plot>
void rasterize(const std::array<Vec3, 3>& q, int width, int height, Plot plot) {
  const double area = (q[1].x - q[0].x) * (q[2].y - q[0].y) - (q[2].x - q[0].x) * (q[1].y - q[0].y);
  if (std::fabs(area) < 1e-12) return;
  const int x0 = std::max(0, int(std::floor(std::min({q[0].x, q[1].x, q[2].x}))));
  const int x1 = std::min(width - 1, int(std::ceil(std::max({q[0].x, q[1].x, q[2].x}))));
  const int y0 = std::max(0, int(std::floor(std::min({q[0].y, q[1].y, q[2].y}))));
  const int y1 = std::min(height - 1, int(std::ceil(std::max({q[0].y, q[1].y, q[2].y}))));
  const double inv = 1 / area;
  for (int y = y0; y <= y1; ++y) {
    const double py = y + 0.5;
    for (int x = x0; x <= x1; ++x) {
      const double px = x + 0.5;
      // Barycentric weights; a small tolerance closes hairline cracks
      // between neighbouring triangles of one polygon.
      const double w0 = ((q[1].x - px) * (q[2].y - py) - (q[2].x - px) * (q[1].y - py)) * inv;
      const double w1 = ((q[2].x - px) * (q[0].y - py) - (q[0].x - px) * (q[2].y - py)) * inv;
      const double w2 = 1 - w0 - w1;
      constexpr double kTolerance = -1e-7;
      if (w0 < kTolerance || w1 < kTolerance || w2 < kTolerance) continue;
      plot(size_t(y) * width + x, float(w0 * q[0].z + w1 * q[1].z + w2 * q[2].z));
    }
  }
}

// Whether neighbouring pixels A (at DEPTHA) and B (one pixel right of it, or
// below it when DOWN) show different surfaces: background and geometry, two
// shapes, a crease, or one surface in front of another. The last is judged
// by extending each face's plane to the other pixel, which holds on faces
// seen at a grazing angle, whose depth changes fast from pixel to pixel.
bool differ(const std::vector<Shaded>& shaded, const std::vector<Triangle>& triangles, int a, int b,
            float depthA, float depthB, bool down, float depthStep) {
  if ((a < 0) != (b < 0)) return true;
  if (a < 0 || a == b) return false;
  if (triangles[a].shape != triangles[b].shape) return true;
  if (dot(shaded[a].normal, shaded[b].normal) < 0.94) return true;  // a crease of about 20 degrees
  const double slopeA = down ? shaded[a].depthPerY : shaded[a].depthPerX;
  const double slopeB = down ? shaded[b].depthPerY : shaded[b].depthPerX;
  return std::fabs(depthB - (depthA + slopeA)) > depthStep && std::fabs(depthA - (depthB - slopeB)) > depthStep;
}

// Darkens the pixels where SURFACE changes from one face to another, by FACTOR.
void outline(Raster& r, const std::vector<int>& surface, const std::vector<float>& depth,
             const std::vector<Shaded>& shaded, const std::vector<Triangle>& triangles, float depthStep,
             double factor) {
  std::vector<char> edge(surface.size(), 0);
  for (int y = 0; y < r.height; ++y) {
    for (int x = 0; x < r.width; ++x) {
      const size_t i = size_t(y) * r.width + x;
      const size_t neighbours[2] = {x + 1 < r.width ? i + 1 : i, y + 1 < r.height ? i + r.width : i};
      for (int k = 0; k < 2; ++k) {
        const size_t j = neighbours[k];
        if (j == i || !differ(shaded, triangles, surface[i], surface[j], depth[i], depth[j], k == 1, depthStep))
          continue;
        // Mark the nearer of the two, so that an outline sits on the object.
        edge[(surface[j] < 0 || (surface[i] >= 0 && depth[i] >= depth[j])) ? i : j] = 1;
      }
    }
  }
  for (size_t i = 0; i < edge.size(); ++i)
    if (edge[i]) r.color[i] = r.color[i] * factor;
}

Raster draw(const std::vector<Triangle>& triangles, const Camera& camera, bool edges) {
  Raster r(camera.width, camera.height);
  std::vector<Shaded> shaded;
  shaded.reserve(triangles.size());
  std::vector<std::array<Vec3, 3>> projected;
  projected.reserve(triangles.size());
  for (const Triangle& t : triangles) {
    shaded.push_back(shade(t, camera));
    const std::array<Vec3, 3> q = {camera.project(t.p[0]), camera.project(t.p[1]), camera.project(t.p[2])};
    const Vec3 u = q[1] - q[0], v = q[2] - q[0];
    const double area = u.x * v.y - v.x * u.y;
    if (std::fabs(area) > 1e-12) {
      shaded.back().depthPerX = (u.z * v.y - v.z * u.y) / area;
      shaded.back().depthPerY = (v.z * u.x - u.z * v.x) / area;
    }
    projected.push_back(q);
  }
  // A jump in depth between neighbouring pixels larger than this (in world
  // units, two pixels' worth) means one surface lies in front of another.
  const float depthStep = float(2 / camera.scale);

  std::vector<int> seeThrough;
  for (int i = 0; i < int(triangles.size()); ++i) {
    if (triangles[i].alpha < 0.999f) {
      seeThrough.push_back(i);
      continue;
    }
    rasterize(projected[i], r.width, r.height, [&](size_t p, float z) {
      if (z > r.depth[p]) r.depth[p] = z, r.surface[p] = i, r.color[p] = shaded[i].color;
    });
  }
  if (edges) outline(r, r.surface, r.depth, shaded, triangles, depthStep, 0.35);

  // Transparent faces over the opaque picture, farthest first.
  auto centroidDepth = [&](int i) { return projected[i][0].z + projected[i][1].z + projected[i][2].z; };
  std::sort(seeThrough.begin(), seeThrough.end(), [&](int a, int b) { return centroidDepth(a) < centroidDepth(b); });
  for (int i : seeThrough) {
    const double a = triangles[i].alpha;
    rasterize(projected[i], r.width, r.height, [&](size_t p, float z) {
      if (z <= r.depth[p]) return;
      r.color[p] = r.color[p] * (1 - a) + shaded[i].color * a;
      if (z > r.glassDepth[p]) r.glassDepth[p] = z, r.glass[p] = i;
    });
  }
  if (edges && !seeThrough.empty()) outline(r, r.glass, r.glassDepth, shaded, triangles, depthStep, 0.6);
  return r;
}

// Averages FACTOR x FACTOR blocks into 8-bit RGB with a display gamma.
std::vector<uint8_t> downsample(const Raster& r, int factor) {
  const int w = r.width / factor, h = r.height / factor;
  std::vector<uint8_t> rgb(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      Vec3 sum;
      for (int dy = 0; dy < factor; ++dy)
        for (int dx = 0; dx < factor; ++dx) {
          const Vec3& c = r.color[size_t(y * factor + dy) * r.width + x * factor + dx];
          sum = sum + c;
        }
      sum = sum * (1.0 / (factor * factor));
      uint8_t* out = &rgb[(size_t(y) * w + x) * 3];
      const double channels[3] = {sum.x, sum.y, sum.z};
      for (int k = 0; k < 3; ++k) out[k] = uint8_t(std::lround(std::clamp(channels[k], 0.0, 1.0) * 255));
    }
  }
  return rgb;
}

// ---------------------------------------------------------------------------
// PNG

uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void putBigEndian32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void appendChunk(std::vector<uint8_t>& png, const char type[4], const std::vector<uint8_t>& data) {
  putBigEndian32(png, uint32_t(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  putBigEndian32(png, crc32(&png[start], png.size() - start));
}

// Each row gets the filter (none, sub, up, average, Paeth) whose output has
// the smallest sum of magnitudes, the usual guess at what compresses best.
std::vector<uint8_t> filterRows(const std::vector<uint8_t>& rgb, int width, int height) {
  const size_t stride = size_t(width) * 3;
  std::vector<uint8_t> out;
  out.reserve((stride + 1) * height);
  std::vector<uint8_t> zero(stride, 0), candidate(stride), best(stride);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = &rgb[y * stride];
    const uint8_t* above = y > 0 ? &rgb[(y - 1) * stride] : zero.data();
    uint64_t bestCost = std::numeric_limits<uint64_t>::max();
    uint8_t bestType = 0;
    for (uint8_t type = 0; type < 5; ++type) {
      uint64_t cost = 0;
      for (size_t i = 0; i < stride; ++i) {
        const int a = i >= 3 ? row[i - 3] : 0, b = above[i], c = i >= 3 ? above[i - 3] : 0;
        int predicted = 0;
        switch (type) {
          case 1: predicted = a; break;
          case 2: predicted = b; break;
          case 3: predicted = (a + b) / 2; break;
          case 4: {
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            predicted = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
            break;
          }
        }
        candidate[i] = uint8_t(row[i] - predicted);
        cost += std::abs(int(int8_t(candidate[i])));
      }
      if (cost < bestCost) bestCost = cost, bestType = type, best.swap(candidate);
    }
    out.push_back(bestType);
    out.insert(out.end(), best.begin(), best.end());
  }
  return out;
}

// A zlib stream of DATA: deflate by zlib where it was found at build time,
// otherwise stored (uncompressed) deflate blocks with an Adler-32 trailer.
bool zlibStream(const std::vector<uint8_t>& data, std::vector<uint8_t>& out) {
#ifdef VRMLRENDER_HAVE_ZLIB
  uLongf size = compressBound(uLong(data.size()));
  out.resize(size);
  if (compress2(out.data(), &size, data.data(), uLong(data.size()), 9) != Z_OK) return false;
  out.resize(size);
  return true;
#else
  out = {0x78, 0x01};
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(65535, data.size() - at);
    out.push_back(at + n == data.size() ? 1 : 0);  // BFINAL on the last block, BTYPE 00
    out.push_back(uint8_t(n)), out.push_back(uint8_t(n >> 8));
    out.push_back(uint8_t(~n)), out.push_back(uint8_t(~n >> 8));
    out.insert(out.end(), data.begin() + at, data.begin() + at + n);
    at += n;
  } while (at < data.size());
  uint32_t a = 1, b = 0;
  for (uint8_t byte : data) a = (a + byte) % 65521, b = (b + a) % 65521;
  putBigEndian32(out, (b << 16) | a);
  return true;
#endif
}

// Writes RGB (8 bits per channel, rows top to bottom) to NAME as a PNG file.
bool writePng(const std::string& name, const std::vector<uint8_t>& rgb, int width, int height, std::string& error) {
  std::vector<uint8_t> compressed;
  if (!zlibStream(filterRows(rgb, width, height), compressed)) {
    error = "cannot compress the image";
    return false;
  }
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  putBigEndian32(header, uint32_t(width));
  putBigEndian32(header, uint32_t(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, no interlace
  appendChunk(png, "IHDR", header);
  appendChunk(png, "IDAT", compressed);
  appendChunk(png, "IEND", {});
  FILE* file = std::fopen(name.c_str(), "wb");
  if (!file) {
    error = "cannot create the file: " + std::string(std::strerror(errno));
    return false;
  }
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = "cannot write the file";
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------

bool parseSize(std::string_view s, int& width, int& height) {
  const size_t x = s.find('x');
  if (x == std::string_view::npos) return false;
  auto number = [](std::string_view part, int& value) {
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    return ec == std::errc() && end == part.data() + part.size() && value >= 1 && value <= 8192;
  };
  return number(s.substr(0, x), width) && number(s.substr(x + 1), height);
}

// A comma-separated list of numbers from 1, such as "4,5".
bool parseObjects(std::string_view s, std::vector<int>& objects) {
  objects.clear();
  for (;;) {
    const size_t comma = s.find(',');
    const std::string_view part = s.substr(0, comma);
    int value = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (ec != std::errc() || end != part.data() + part.size() || value < 1) return false;
    objects.push_back(value);
    if (comma == std::string_view::npos) return true;
    s.remove_prefix(comma + 1);
  }
}

// Parses argv into OPTIONS; false (with a message in ERROR) on bad usage.
bool parseArguments(int argc, char** argv, Options& options, std::string& error) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--size" || arg == "--view" || arg == "--objects") {
      if (i + 1 >= argc) {
        error = std::string(arg) + " needs a value";
        return false;
      }
      const std::string_view value = argv[++i];
      if (arg == "--size" && !parseSize(value, options.width, options.height)) {
        error = "--size: not WIDTHxHEIGHT: " + std::string(value);
        return false;
      }
      if (arg == "--objects" && !parseObjects(value, options.objects)) {
        error = "--objects: not a list of numbers from 1: " + std::string(value);
        return false;
      }
      if (arg == "--view") {
        if (value == "iso") options.view = View::Iso;
        else if (value == "top") options.view = View::Top;
        else if (value == "front") options.view = View::Front;
        else {
          error = "--view: not iso, top or front: " + std::string(value);
          return false;
        }
      }
    } else if (arg == "--no-edges") {
      options.edges = false;
    } else if (arg.starts_with("--")) {
      error = "unknown option " + std::string(arg);
      return false;
    } else {
      files.emplace_back(arg);
    }
  }
  if (files.size() != 2) {
    error = "needs an input world and an output image";
    return false;
  }
  options.in = files[0];
  options.out = files[1];
  return true;
}

int run(const Options& options, FILE* err) {
  std::vector<Triangle> triangles;
  std::string error;
  if (!readWorld(options.in, options.objects, triangles, error)) {
    std::fprintf(err, "vrmlrender: %s: %s\n", options.in.c_str(), error.c_str());
    return kExitFailed;
  }
  if (triangles.empty()) {
    std::fprintf(err, "vrmlrender: %s: no faces to draw\n", options.in.c_str());
    return kExitFailed;
  }
  const Camera camera =
      fitCamera(triangles, options.view, options.width * kSupersample, options.height * kSupersample);
  const Raster raster = draw(triangles, camera, options.edges);
  if (!writePng(options.out, downsample(raster, kSupersample), options.width, options.height, error)) {
    std::fprintf(err, "vrmlrender: %s: %s\n", options.out.c_str(), error.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
  return coinworld::runTool<Options>("vrmlrender", kUsage, argc, argv, parseArguments,
                                     [](const Options& options) { return run(options, stderr); });
}
