#include "icons/icon_generator.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace icons {
namespace {

struct Color {
  double r, g, b;
};

struct Point {
  double x, y;
};

// Even-odd rule; good enough for the simple outlines below.
bool InsidePolygon(const std::vector<Point>& polygon, Point p) {
  bool inside = false;
  for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    const Point& a = polygon[i];
    const Point& b = polygon[j];
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) {
      inside = !inside;
    }
  }
  return inside;
}

bool InsideRoundedSquare(Point p, double margin, double radius) {
  const double lo = margin + radius;
  const double hi = 1.0 - margin - radius;
  const double dx = std::max({lo - p.x, p.x - hi, 0.0});
  const double dy = std::max({lo - p.y, p.y - hi, 0.0});
  return p.x >= margin && p.x <= 1.0 - margin && p.y >= margin && p.y <= 1.0 - margin &&
         dx * dx + dy * dy <= radius * radius;
}

bool InsideCircle(Point p, Point centre, double radius) {
  const double dx = p.x - centre.x;
  const double dy = p.y - centre.y;
  return dx * dx + dy * dy <= radius * radius;
}

Color Mix(Color a, Color b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Colour and coverage (0 or 1) of one sample point in the unit square.
struct Sample {
  Color color;
  double alpha;
};

// A white arrow leaving a blue tile: the launcher hands over to the tool.
Sample HandoverAt(Point p) {
  if (!InsideRoundedSquare(p, 0.04, 0.18)) return {{0, 0, 0}, 0};
  const Color top{0.23, 0.52, 0.90};
  const Color bottom{0.09, 0.28, 0.62};
  const Color white{1, 1, 1};
  static const std::vector<Point> arrow = {{0.18, 0.40}, {0.50, 0.40}, {0.50, 0.22}, {0.84, 0.50},
                                           {0.50, 0.78}, {0.50, 0.60}, {0.18, 0.60}};
  if (InsidePolygon(arrow, p)) return {white, 1};
  return {Mix(top, bottom, p.y), 1};
}

// A white pen nib with its slit and breather hole on a green tile.
Sample NibflashAt(Point p) {
  if (!InsideRoundedSquare(p, 0.04, 0.18)) return {{0, 0, 0}, 0};
  const Color top{0.16, 0.66, 0.42};
  const Color bottom{0.05, 0.40, 0.24};
  const Color white{1, 1, 1};
  const Color background = Mix(top, bottom, p.y);
  static const std::vector<Point> nib = {{0.30, 0.14}, {0.70, 0.14}, {0.70, 0.46},
                                         {0.50, 0.88}, {0.30, 0.46}};
  if (InsideCircle(p, {0.50, 0.44}, 0.075)) return {background, 1};
  if (std::fabs(p.x - 0.50) < 0.03 && p.y > 0.44 && p.y < 0.80) return {background, 1};
  if (InsidePolygon(nib, p)) return {white, 1};
  return {background, 1};
}

std::uint8_t ToByte(double v) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::vector<std::uint8_t> EncodeDib(const Image& image, int bitsPerPixel) {
  const int n = image.size;
  const int colorStride = (n * bitsPerPixel / 8 + 3) / 4 * 4;
  const int maskStride = (n + 31) / 32 * 4;
  std::vector<std::uint8_t> dib;
  Put32(dib, 40);  // BITMAPINFOHEADER
  Put32(dib, static_cast<std::uint32_t>(n));
  Put32(dib, static_cast<std::uint32_t>(2 * n));  // colour bitmap and mask stacked
  Put16(dib, 1);
  Put16(dib, static_cast<unsigned>(bitsPerPixel));
  Put32(dib, 0);  // BI_RGB
  Put32(dib, static_cast<std::uint32_t>((colorStride + maskStride) * n));
  Put32(dib, 0);
  Put32(dib, 0);
  Put32(dib, 0);
  Put32(dib, 0);

  auto transparent = [&](int x, int y) {
    const std::uint8_t alpha = image.rgba[static_cast<std::size_t>((y * n + x) * 4 + 3)];
    return bitsPerPixel == 32 ? alpha == 0 : alpha < 128;
  };
  for (int y = n - 1; y >= 0; --y) {
    const std::size_t rowStart = dib.size();
    for (int x = 0; x < n; ++x) {
      const std::uint8_t* px = &image.rgba[static_cast<std::size_t>((y * n + x) * 4)];
      // Masked pixels are black so that the AND/XOR pair leaves the screen as it was.
      const bool clear = bitsPerPixel == 24 && transparent(x, y);
      dib.push_back(clear ? 0 : px[2]);
      dib.push_back(clear ? 0 : px[1]);
      dib.push_back(clear ? 0 : px[0]);
      if (bitsPerPixel == 32) dib.push_back(px[3]);
    }
    dib.resize(rowStart + static_cast<std::size_t>(colorStride), 0);
  }
  for (int y = n - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(maskStride), 0);
    for (int x = 0; x < n; ++x) {
      if (transparent(x, y)) row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    dib.insert(dib.end(), row.begin(), row.end());
  }
  return dib;
}

void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void PutChunk(std::vector<std::uint8_t>& png, const char* type, const std::vector<std::uint8_t>& data) {
  PutBig32(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  PutBig32(png, static_cast<std::uint32_t>(crc32(0, &png[start], static_cast<uInt>(png.size() - start))));
}

// Each row with the filter whose output has the least sum of magnitudes (the
// usual choice), then deflated at zlib's best level.
std::vector<std::uint8_t> EncodePng(const Image& image) {
  const std::size_t n = static_cast<std::size_t>(image.size);
  const std::size_t stride = n * 4;
  std::vector<std::uint8_t> raw;
  raw.reserve((stride + 1) * n);
  const std::vector<std::uint8_t> zeros(stride, 0);
  for (std::size_t y = 0; y < n; ++y) {
    const std::uint8_t* row = &image.rgba[y * stride];
    const std::uint8_t* up = y > 0 ? row - stride : zeros.data();
    std::vector<std::uint8_t> best;
    long bestCost = -1;
    for (int filter = 0; filter <= 4; ++filter) {
      std::vector<std::uint8_t> out{static_cast<std::uint8_t>(filter)};
      long cost = 0;
      for (std::size_t i = 0; i < stride; ++i) {
        const int a = i >= 4 ? row[i - 4] : 0;
        const int b = up[i];
        const int c = i >= 4 ? up[i - 4] : 0;
        int predicted = 0;
        if (filter == 1) predicted = a;
        if (filter == 2) predicted = b;
        if (filter == 3) predicted = (a + b) / 2;
        if (filter == 4) {
          const int p = a + b - c;
          const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
        }
        const auto value = static_cast<std::uint8_t>(row[i] - predicted);
        out.push_back(value);
        cost += value < 128 ? value : 256 - value;
      }
      if (bestCost < 0 || cost < bestCost) {
        bestCost = cost;
        best.swap(out);
      }
    }
    raw.insert(raw.end(), best.begin(), best.end());
  }
  std::vector<std::uint8_t> deflated(compressBound(static_cast<uLong>(raw.size())));
  uLongf size = static_cast<uLongf>(deflated.size());
  if (compress2(deflated.data(), &size, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK) {
    throw std::runtime_error("deflate failed");
  }
  deflated.resize(size);

  std::vector<std::uint8_t> header;
  PutBig32(header, static_cast<std::uint32_t>(n));
  PutBig32(header, static_cast<std::uint32_t>(n));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits per channel, RGBA, deflate, no interlace
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", deflated);
  PutChunk(png, "IEND", {});
  return png;
}

std::vector<Image> DrawAll(Design design, std::initializer_list<int> sizes) {
  std::vector<Image> images;
  for (int size : sizes) images.push_back(Draw(design, size));
  return images;
}

}  // namespace

Image Draw(Design design, int size) {
  constexpr int kSamples = 4;  // per axis, for smooth edges at every size
  Image image;
  image.size = size;
  image.rgba.reserve(static_cast<std::size_t>(size * size * 4));
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const Point p{(x + (sx + 0.5) / kSamples) / size, (y + (sy + 0.5) / kSamples) / size};
          const Sample s = design == Design::Handover ? HandoverAt(p) : NibflashAt(p);
          r += s.color.r * s.alpha;
          g += s.color.g * s.alpha;
          b += s.color.b * s.alpha;
          a += s.alpha;
        }
      }
      const double div = a > 0 ? a : 1;
      image.rgba.push_back(ToByte(r / div));
      image.rgba.push_back(ToByte(g / div));
      image.rgba.push_back(ToByte(b / div));
      image.rgba.push_back(ToByte(a / (kSamples * kSamples)));
    }
  }
  return image;
}

std::vector<std::uint8_t> EncodeIco(const std::vector<Image>& images, int bitsPerPixel) {
  std::vector<std::uint8_t> ico;
  Put16(ico, 0);  // ICONDIR
  Put16(ico, 1);
  Put16(ico, static_cast<unsigned>(images.size()));
  std::vector<std::vector<std::uint8_t>> dibs;
  for (const Image& image : images) {
    // Windows Vista and later read a 256-pixel frame as PNG; a DIB of it is 270 KB.
    dibs.push_back(image.size >= 256 && bitsPerPixel == 32 ? EncodePng(image) : EncodeDib(image, bitsPerPixel));
  }
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    const auto side = static_cast<std::uint8_t>(images[i].size >= 256 ? 0 : images[i].size);
    ico.push_back(side);  // ICONDIRENTRY; 0 stands for 256
    ico.push_back(side);
    ico.push_back(0);  // no palette
    ico.push_back(0);
    Put16(ico, 1);
    Put16(ico, static_cast<unsigned>(bitsPerPixel));
    Put32(ico, static_cast<std::uint32_t>(dibs[i].size()));
    Put32(ico, offset);
    offset += static_cast<std::uint32_t>(dibs[i].size());
  }
  for (const auto& dib : dibs) ico.insert(ico.end(), dib.begin(), dib.end());
  return ico;
}

std::vector<std::uint8_t> HandoverIco() {
  return EncodeIco(DrawAll(Design::Handover, {256, 128, 64, 32, 16}), 32);
}

std::vector<std::uint8_t> NibflashIco() {
  return EncodeIco(DrawAll(Design::Nibflash, {64, 48, 32, 16}), 24);
}

}  // namespace icons
