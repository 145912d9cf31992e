#pragma once
// Placement test fixtures: hand-made PDF pages, the engine, a seal stamped as the stamping code does it,
// and renders of pages as viewers show them (CropBox, /Rotate applied, one pixel per point).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "external/QpHandles.h"
#include "signing/PlacementFrame.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::signing::testing {

using external::DocumentHandle;
using external::EngineHandle;
using external::ImageHandle;
using external::LoadPage;
using external::PageHandle;
using external::StartEngine;

struct TestPage {
  PageBox mediaBox;
  std::optional<PageBox> cropBox;
  int rotate = 0;
  std::string text;  // black 20 pt Helvetica at (textX, textY) in user space
  double textX = 0, textY = 0;
};

inline TestPage BlankPage(PageBox mediaBox, std::optional<PageBox> cropBox, int rotate) {
  return {mediaBox, cropBox, rotate, "", 0, 0};
}

inline void WriteTestPdf(const std::filesystem::path& path, const std::vector<TestPage>& pages) {
  auto box = [](const PageBox& b) {
    std::ostringstream out;
    out << '[' << b.x0 << ' ' << b.y0 << ' ' << b.x1 << ' ' << b.y1 << ']';
    return out.str();
  };
  std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>", "",
                                   "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
  std::string kids;
  for (const TestPage& page : pages) {
    kids += std::to_string(objects.size() + 1) + " 0 R ";
    std::ostringstream draw;
    if (!page.text.empty()) draw << "BT /F1 20 Tf " << page.textX << ' ' << page.textY << " Td (" << page.text << ") Tj ET";
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox " + box(page.mediaBox) +
                      (page.cropBox ? " /CropBox " + box(*page.cropBox) : "") + " /Rotate " + std::to_string(page.rotate) +
                      " /Resources << /Font << /F1 3 0 R >> >> /Contents " + std::to_string(objects.size() + 2) + " 0 R >>");
    objects.push_back("<< /Length " + std::to_string(draw.str().size()) + " >>\nstream\n" + draw.str() + "\nendstream");
  }
  objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>";
  std::string file = "%PDF-1.4\n", xref;
  for (size_t i = 0; i < objects.size(); ++i) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", file.size());
    xref += line;
    file += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::string size = std::to_string(objects.size() + 1);
  std::ofstream(path, std::ios::binary) << file << "xref\n0 " << size << "\n0000000000 65535 f \n" << xref
                                        << "trailer\n<< /Size " << size << " /Root 1 0 R >>\nstartxref\n"
                                        << file.size() << "\n%%EOF\n";
}

inline DocumentHandle OpenDocument(qp_engine engine, const std::filesystem::path& path) {
  return external::OpenDocument(engine, path.u16string());
}

// The seal picture: 80 x 40 pixels (60 x 30 points) of red with a blue block in its top-left corner, so a
// render tells where the seal is and which way up it stands.
inline constexpr int kStampPixelWidth = 80, kStampPixelHeight = 40;

// Stamps an image annotation with the rectangle and rotation onto the page, as the seal annotation is made.
inline bool Stamp(qp_document document, int pageIndex, const SealRect& rect) {
  std::vector<unsigned char> rgb;
  for (int y = 0; y < kStampPixelHeight; ++y)
    for (int x = 0; x < kStampPixelWidth; ++x) {
      const bool marker = x < kStampPixelWidth / 4 && y < kStampPixelHeight / 3;
      rgb.insert(rgb.end(), {static_cast<unsigned char>(marker ? 0 : 255), 0, static_cast<unsigned char>(marker ? 255 : 0)});
    }
  const ImageHandle image(
      qp_image_create_from_data(document, kStampPixelWidth, kStampPixelHeight, 8, QP_COLORSPACE_RGB, rgb.data(), rgb.size()));
  const PageHandle page = LoadPage(document, pageIndex);
  qp_annot annot = page ? qp_page_create_annotation(page.get(), QP_ANNOT_IMAGE_STAMP) : nullptr;
  return image && annot && qp_annot_set_rect(annot, rect.llx, rect.lly, rect.urx, rect.ury) == QP_OK &&
         qp_annot_set_rotate(annot, rect.rotation) == QP_OK && qp_annot_set_blendmode(annot, "Multiply") == QP_OK &&
         qp_annot_generate_appearance(annot) == QP_OK &&
         qp_annot_set_image_appearance_from_handle(annot, image.get()) == QP_OK && qp_annot_update(annot) == QP_OK &&
         qp_document_update_page(document, pageIndex, 1) == QP_OK;
}

struct Rgb {
  unsigned char r, g, b;
};
struct Render {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;
};

inline std::optional<Render> RenderPage(const std::filesystem::path& pdf, int pageIndex) {
  const std::filesystem::path prefix = pdf.parent_path() / ("render" + std::to_string(pageIndex));
  const std::string page = std::to_string(pageIndex + 1);
  const std::string command = "pdftoppm -r 72 -cropbox -f " + page + " -l " + page + " -singlefile '" +
                              pdf.string() + "' '" + prefix.string() + "'";
  if (sealrun::testing::RunTool(command).exitCode != 0) return std::nullopt;
  std::ifstream in(prefix.string() + ".ppm", std::ios::binary);
  std::string magic;
  int maxValue = 0;
  Render render;
  in >> magic >> render.width >> render.height >> maxValue;
  in.get();
  if (magic != "P6" || maxValue != 255 || render.width <= 0 || render.height <= 0) return std::nullopt;
  render.pixels.resize(static_cast<size_t>(render.width) * render.height);
  in.read(reinterpret_cast<char*>(render.pixels.data()), static_cast<std::streamsize>(render.pixels.size() * 3));
  return in ? std::optional<Render>(std::move(render)) : std::nullopt;
}

struct PixelBox {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = 0, y1 = 0;  // x1, y1 exclusive; empty when x1 <= x0
  int Width() const { return x1 - x0; }
  int Height() const { return y1 - y0; }
};

enum class Pixels { Stamp, Marker, Ink };

inline bool IsKind(const Rgb& p, Pixels kind) {
  const bool red = p.r > 180 && p.g < 90 && p.b < 90, blue = p.b > 180 && p.r < 90 && p.g < 90;
  return kind == Pixels::Stamp ? red || blue : kind == Pixels::Marker ? blue : p.r + p.g + p.b < 200;
}

// The bounding box of the stamp's pixels (red or blue), of its blue marker or of dark ink, within the
// part [x0, x1) x [y0, y1) of the render (the whole render by default). Pixels of that kind in the render
// `before` (the page's own drawing) do not count.
inline PixelBox FindPixels(const Render& render, Pixels kind, PixelBox area = {0, 0, 1 << 30, 1 << 30},
                           const Render* before = nullptr) {
  PixelBox found;
  for (int y = std::max(0, area.y0); y < std::min(render.height, area.y1); ++y)
    for (int x = std::max(0, area.x0); x < std::min(render.width, area.x1); ++x) {
      const size_t at = static_cast<size_t>(y) * render.width + x;
      if (!IsKind(render.pixels[at], kind)) continue;
      if (before && before->width == render.width && IsKind(before->pixels[at], kind)) continue;
      found = {std::min(found.x0, x), std::min(found.y0, y), std::max(found.x1, x + 1), std::max(found.y1, y + 1)};
    }
  return found;
}

}  // namespace sealrun::signing::testing
