#include "platform/imaging/Resample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace sealrun::platform::imaging {
namespace {

constexpr double kA = -0.5;

// Four taps per output position along one axis, precomputed once for all rows or columns.
struct Taps {
  std::array<int, 4> index{};
  std::array<double, 4> weight{};
};

std::vector<Taps> MakeTaps(int sourceSize, int targetSize) {
  std::vector<Taps> taps(static_cast<size_t>(targetSize));
  const double scale = static_cast<double>(sourceSize) / targetSize;
  for (int i = 0; i < targetSize; ++i) {
    const double centre = (i + 0.5) * scale - 0.5;
    const int base = static_cast<int>(std::floor(centre));
    double sum = 0;
    Taps& tap = taps[static_cast<size_t>(i)];
    for (int k = 0; k < 4; ++k) {
      const int position = base - 1 + k;
      tap.index[static_cast<size_t>(k)] = std::clamp(position, 0, sourceSize - 1);
      tap.weight[static_cast<size_t>(k)] = BicubicWeight(centre - position);
      sum += tap.weight[static_cast<size_t>(k)];
    }
    for (double& weight : tap.weight) weight /= sum;
  }
  return taps;
}

uint8_t ToByte(double value) { return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

}  // namespace

double BicubicWeight(double t) {
  t = std::fabs(t);
  if (t <= 1) return ((kA + 2) * t - (kA + 3)) * t * t + 1;
  if (t < 2) return ((kA * t - 5 * kA) * t + 8 * kA) * t - 4 * kA;
  return 0;
}

std::optional<Image> ResampleBicubic(const Image& source, int width, int height) {
  if (width < 1 || height < 1 || source.Width() < 1 || source.Height() < 1) return std::nullopt;
  if (static_cast<int64_t>(width) * height > Image::kMaxPixels) return std::nullopt;
  const Image colour = source.ToTrueColor();
  const bool alpha = colour.HasAlpha();
  const int channels = alpha ? 4 : 3;
  const int sourceWidth = colour.Width();
  const int sourceHeight = colour.Height();

  // Interleaved channels (blue, green, red[, alpha]) of the source, top row first.
  std::vector<float> pixels(static_cast<size_t>(sourceWidth) * sourceHeight * channels);
  for (int y = 0; y < sourceHeight; ++y) {
    const uint8_t* row = colour.RowFromTop(y);
    const uint8_t* alphaRow = alpha ? colour.AlphaStoredRow(sourceHeight - 1 - y) : nullptr;
    float* out = pixels.data() + static_cast<size_t>(y) * sourceWidth * channels;
    for (int x = 0; x < sourceWidth; ++x) {
      for (int c = 0; c < 3; ++c) out[x * channels + c] = row[x * 3 + c];
      if (alpha) out[x * channels + 3] = alphaRow[x];
    }
  }

  // Horizontal pass into width x sourceHeight, then the vertical pass into the result.
  const std::vector<Taps> columns = MakeTaps(sourceWidth, width);
  const std::vector<Taps> rows = MakeTaps(sourceHeight, height);
  std::vector<float> across(static_cast<size_t>(width) * sourceHeight * channels);
  for (int y = 0; y < sourceHeight; ++y) {
    const float* in = pixels.data() + static_cast<size_t>(y) * sourceWidth * channels;
    float* out = across.data() + static_cast<size_t>(y) * width * channels;
    for (int x = 0; x < width; ++x) {
      const Taps& tap = columns[static_cast<size_t>(x)];
      for (int c = 0; c < channels; ++c) {
        double sum = 0;
        for (size_t k = 0; k < 4; ++k) sum += tap.weight[k] * in[tap.index[k] * channels + c];
        out[x * channels + c] = static_cast<float>(sum);
      }
    }
  }

  std::optional<Image> result = Image::Create(width, height, 24);
  if (!result) return std::nullopt;
  if (alpha) result->EnableAlpha();
  for (int y = 0; y < height; ++y) {
    const Taps& tap = rows[static_cast<size_t>(y)];
    uint8_t* row = result->RowFromTop(y);
    uint8_t* alphaRow = alpha ? result->AlphaStoredRow(height - 1 - y) : nullptr;
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < channels; ++c) {
        double sum = 0;
        for (size_t k = 0; k < 4; ++k) {
          sum += tap.weight[k] * across[(static_cast<size_t>(tap.index[k]) * width + x) * channels + c];
        }
        if (c < 3) {
          row[x * 3 + c] = ToByte(sum);
        } else {
          alphaRow[x] = ToByte(sum);
        }
      }
    }
  }
  return result;
}

}  // namespace sealrun::platform::imaging
