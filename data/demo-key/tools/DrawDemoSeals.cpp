// Draws the demo key's seal pictures: a red ring seal with a five-pointed star and a few geometric marks,
// 150x150 pixels, in the four forms a seal key stores them:
//   official.png   true colour with an alpha channel (transparent background, smooth edges)
//   contract.gif   indexed, background keyed by a transparent palette index
//   finance.jpg    on white
//   legacy.bmp     24-bit on white, written by hand
// Usage: sealrun_draw_demo_seals <output folder>
#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "platform/imaging/Image.h"
#include "platform/imaging/ImageCodec.h"

namespace sealrun::demokey {
namespace {

using platform::imaging::Image;
using platform::imaging::Rgba;

constexpr int kSize = 150;
constexpr double kCentre = kSize / 2.0;
constexpr Rgba kSealRed{200, 16, 24, 255};
constexpr int kSamples = 4;  // per axis, for smooth edges

// Which marks a seal carries besides its ring and star, so the seals tell apart.
enum class Marks { BarAndDots, Triangles, Squares, Diamonds };

struct Point {
  double x;
  double y;
};

bool InsidePolygon(const std::vector<Point>& polygon, Point p) {
  bool inside = false;
  for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    const Point& a = polygon[i];
    const Point& b = polygon[j];
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
  }
  return inside;
}

std::vector<Point> Star(Point centre, double outer, double inner) {
  std::vector<Point> points;
  for (int i = 0; i < 10; ++i) {
    const double radius = i % 2 == 0 ? outer : inner;
    const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
    points.push_back({centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)});
  }
  return points;
}

// A regular polygon of `corners` corners around `centre`, turned by `turn` radians.
std::vector<Point> RegularPolygon(Point centre, double radius, int corners, double turn) {
  std::vector<Point> points;
  for (int i = 0; i < corners; ++i) {
    const double angle = turn + i * 2 * std::numbers::pi / corners;
    points.push_back({centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)});
  }
  return points;
}

class SealShape {
 public:
  explicit SealShape(Marks marks) : star_(Star({kCentre, kCentre - 4}, 27, 10.5)) {
    // Eight marks on a circle between the star and the ring, leaving the bottom free for the bar.
    for (int i = 0; i < 8; ++i) {
      const double angle = -std::numbers::pi / 2 + (i - 3.5) * std::numbers::pi / 6.2;
      const Point at{kCentre + 45 * std::cos(angle), kCentre + 45 * std::sin(angle)};
      switch (marks) {
        case Marks::BarAndDots: dots_.push_back(at); break;
        case Marks::Triangles: marks_.push_back(RegularPolygon(at, 5.5, 3, angle)); break;
        case Marks::Squares: marks_.push_back(RegularPolygon(at, 5, 4, angle + std::numbers::pi / 4)); break;
        case Marks::Diamonds: marks_.push_back(RegularPolygon(at, 5.5, 4, angle)); break;
      }
    }
    bars_ = marks == Marks::BarAndDots ? 2 : 1;
  }

  bool Covers(Point p) const {
    const double distance = std::hypot(p.x - kCentre, p.y - kCentre);
    if (distance >= 63 && distance <= 72) return true;  // the outer ring
    if (distance >= 57.5 && distance <= 59) return true;  // the thin inner ring
    if (InsidePolygon(star_, p)) return true;
    for (const Point& dot : dots_)
      if (std::hypot(p.x - dot.x, p.y - dot.y) <= 3.5) return true;
    for (const auto& mark : marks_)
      if (InsidePolygon(mark, p)) return true;
    // Horizontal bars below the star, where a seal carries its serial line.
    for (int bar = 0; bar < bars_; ++bar) {
      const double top = 96 + bar * 9;
      if (p.y >= top && p.y <= top + 4.5 && std::abs(p.x - kCentre) <= 30 - bar * 8) return true;
    }
    return false;
  }

  // The share of the pixel the shape covers, 0 to 1.
  double Coverage(int x, int y) const {
    int hits = 0;
    for (int sy = 0; sy < kSamples; ++sy)
      for (int sx = 0; sx < kSamples; ++sx)
        if (Covers({x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples})) ++hits;
    return static_cast<double>(hits) / (kSamples * kSamples);
  }

 private:
  std::vector<Point> star_;
  std::vector<Point> dots_;
  std::vector<std::vector<Point>> marks_;
  int bars_ = 1;
};

uint8_t Blend(uint8_t ink, double coverage) {
  return static_cast<uint8_t>(std::lround(255.0 - (255.0 - ink) * coverage));
}

bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool WritePng(const std::filesystem::path& path, const SealShape& shape) {
  auto image = Image::Create(kSize, kSize, 24);
  if (!image) return false;
  image->EnableAlpha();
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const double coverage = shape.Coverage(x, y);
      Rgba pixel = kSealRed;
      pixel.alpha = static_cast<uint8_t>(std::lround(255 * coverage));
      if (pixel.alpha == 0) pixel = Rgba{0, 0, 0, 0};
      image->SetPixel(x, y, pixel);
    }
  const auto png = platform::imaging::EncodePng(*image);
  return png && WriteFile(path, *png);
}

// A picture on white, for the formats without transparency.
std::optional<Image> OnWhite(const SealShape& shape) {
  auto image = Image::Create(kSize, kSize, 24);
  if (!image) return std::nullopt;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const double coverage = shape.Coverage(x, y);
      image->SetPixel(x, y, Rgba{Blend(kSealRed.red, coverage), Blend(kSealRed.green, coverage),
                                 Blend(kSealRed.blue, coverage), 255});
    }
  return image;
}

bool WriteJpeg(const std::filesystem::path& path, const SealShape& shape) {
  const auto image = OnWhite(shape);
  if (!image) return false;
  const auto jpeg = platform::imaging::EncodeJpeg(*image, 92);
  return jpeg && WriteFile(path, *jpeg);
}

void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool WriteBmp(const std::filesystem::path& path, const SealShape& shape) {
  const auto image = OnWhite(shape);
  if (!image) return false;
  const uint32_t stride = (kSize * 3 + 3) & ~3u;
  const uint32_t pixelBytes = stride * kSize;
  std::string bmp;
  // BITMAPFILEHEADER
  bmp += "BM";
  PutLittleEndian(bmp, 14 + 40 + pixelBytes, 4);
  PutLittleEndian(bmp, 0, 4);
  PutLittleEndian(bmp, 14 + 40, 4);
  // BITMAPINFOHEADER: bottom-up rows, 24 bits, no compression, 96 dpi.
  PutLittleEndian(bmp, 40, 4);
  PutLittleEndian(bmp, kSize, 4);
  PutLittleEndian(bmp, kSize, 4);
  PutLittleEndian(bmp, 1, 2);
  PutLittleEndian(bmp, 24, 2);
  PutLittleEndian(bmp, 0, 4);
  PutLittleEndian(bmp, pixelBytes, 4);
  PutLittleEndian(bmp, 3780, 4);
  PutLittleEndian(bmp, 3780, 4);
  PutLittleEndian(bmp, 0, 4);
  PutLittleEndian(bmp, 0, 4);
  // The image's stored rows are bottom-up with the same padding, as a BMP wants them.
  for (int row = 0; row < kSize; ++row)
    bmp.append(reinterpret_cast<const char*>(image->StoredRow(row)), stride);
  return WriteFile(path, bmp);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    EGifCloseFile(gif, &error);
  }
};
struct ColorMapFreer {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

bool WriteGif(const std::filesystem::path& path, const SealShape& shape) {
  // Index 0 is the transparent background, index 1 the seal's red; half-covered pixels count as ink
  // when at least half covered, since a GIF has no partial transparency.
  constexpr int kTransparent = 0;
  std::unique_ptr<ColorMapObject, ColorMapFreer> colors(GifMakeMapObject(2, nullptr));
  if (!colors) return false;
  colors->Colors[kTransparent] = GifColorType{255, 255, 255};
  colors->Colors[1] = GifColorType{kSealRed.red, kSealRed.green, kSealRed.blue};

  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(EGifOpenFileName(path.c_str(), false, &error));
  if (!gif) return false;
  EGifSetGifVersion(gif.get(), true);
  if (EGifPutScreenDesc(gif.get(), kSize, kSize, 1, kTransparent, colors.get()) != GIF_OK) return false;

  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSAL_UNSPECIFIED;
  control.UserInputFlag = false;
  control.DelayTime = 0;
  control.TransparentColor = kTransparent;
  std::array<GifByteType, 4> extension{};
  EGifGCBToExtension(&control, extension.data());
  if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extension.size()), extension.data()) !=
      GIF_OK)
    return false;

  if (EGifPutImageDesc(gif.get(), 0, 0, kSize, kSize, false, nullptr) != GIF_OK) return false;
  std::vector<GifPixelType> line(kSize);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) line[x] = shape.Coverage(x, y) >= 0.5 ? 1 : kTransparent;
    if (EGifPutLine(gif.get(), line.data(), kSize) != GIF_OK) return false;
  }
  GifFileType* raw = gif.release();
  return EGifCloseFile(raw, &error) == GIF_OK;
}

int Run(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  struct Job {
    const char* file;
    Marks marks;
    bool (*write)(const std::filesystem::path&, const SealShape&);
  };
  const Job jobs[] = {
      {"official.png", Marks::BarAndDots, &WritePng},
      {"contract.gif", Marks::Triangles, &WriteGif},
      {"finance.jpg", Marks::Squares, &WriteJpeg},
      {"legacy.bmp", Marks::Diamonds, &WriteBmp},
  };
  for (const Job& job : jobs) {
    if (!job.write(folder / job.file, SealShape(job.marks))) {
      std::cerr << "sealrun_draw_demo_seals: cannot write " << (folder / job.file).string() << "\n";
      return 1;
    }
  }
  return 0;
}

}  // namespace
}  // namespace sealrun::demokey

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: sealrun_draw_demo_seals <output folder>\n";
    return 2;
  }
  return sealrun::demokey::Run(argv[1]);
}
