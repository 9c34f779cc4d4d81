#include "app/icon/icon_drawing.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace tarn {
namespace {

struct Color {
  double r, g, b;
};

const Color kLakeTop{0x35, 0x9c, 0xd0};
const Color kLakeBottom{0x12, 0x4e, 0x86};
const Color kChip{0xf4, 0xf7, 0xfa};
const Color kArrow{0x12, 0x4e, 0x86};

struct Point {
  double x, y;
};

struct Rect {
  double left, top, right, bottom;
  static Rect FromSize(double x, double y, double width, double height) {
    return {x, y, x + width, y + height};
  }
};

using Shape = std::function<bool(Point)>;

Shape RoundedRect(Rect rect, double radius) {
  radius = std::min({radius, (rect.right - rect.left) / 2, (rect.bottom - rect.top) / 2});
  return [rect, radius](Point p) {
    if (p.x < rect.left || p.x > rect.right || p.y < rect.top || p.y > rect.bottom) return false;
    // Inside the corner squares only the quarter circles count.
    const double cx = std::clamp(p.x, rect.left + radius, rect.right - radius);
    const double cy = std::clamp(p.y, rect.top + radius, rect.bottom - radius);
    const double dx = p.x - cx;
    const double dy = p.y - cy;
    return dx * dx + dy * dy <= radius * radius;
  };
}

Shape Box(Rect rect) {
  return RoundedRect(rect, 0);
}

// Even-odd rule, as a painter fills a path.
Shape Polygon(std::vector<Point> points) {
  return [points = std::move(points)](Point p) {
    bool inside = false;
    for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
      const Point& a = points[i];
      const Point& b = points[j];
      if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) {
        inside = !inside;
      }
    }
    return inside;
  };
}

Shape Union(Shape first, Shape second) {
  return [first = std::move(first), second = std::move(second)](Point p) {
    return first(p) || second(p);
  };
}

// Premultiplied colour per pixel; shapes are filled with 8 x 8 samples a pixel.
class Canvas {
 public:
  explicit Canvas(int size) : m_size(size), m_pixels(static_cast<size_t>(size * size) * 4, 0.0) {}

  // Fills `shape` with the colour `paint` gives for a pixel's vertical centre.
  void Fill(const Shape& shape, const std::function<Color(double y)>& paint) {
    constexpr int kSamples = 8;
    for (int y = 0; y < m_size; ++y) {
      const Color color = paint(y + 0.5);
      for (int x = 0; x < m_size; ++x) {
        int inside = 0;
        for (int sy = 0; sy < kSamples; ++sy) {
          for (int sx = 0; sx < kSamples; ++sx) {
            inside += shape({x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples});
          }
        }
        const double coverage = inside / double(kSamples * kSamples);
        double* pixel = &m_pixels[static_cast<size_t>(y * m_size + x) * 4];
        pixel[0] = color.r * coverage + pixel[0] * (1 - coverage);
        pixel[1] = color.g * coverage + pixel[1] * (1 - coverage);
        pixel[2] = color.b * coverage + pixel[2] * (1 - coverage);
        pixel[3] = 255 * coverage + pixel[3] * (1 - coverage);
      }
    }
  }
  void Fill(const Shape& shape, Color color) {
    Fill(shape, [color](double) { return color; });
  }

  RgbaImage Image() const {
    RgbaImage image{m_size, std::vector<uint8_t>(m_pixels.size())};
    for (size_t i = 0; i < m_pixels.size(); i += 4) {
      const double alpha = m_pixels[i + 3];
      for (size_t c = 0; c < 3; ++c) {
        const double straight = alpha > 0 ? m_pixels[i + c] * 255 / alpha : 0;
        image.pixels[i + c] = static_cast<uint8_t>(std::lround(std::clamp(straight, 0.0, 255.0)));
      }
      image.pixels[i + 3] = static_cast<uint8_t>(std::lround(alpha));
    }
    return image;
  }

 private:
  int m_size;
  std::vector<double> m_pixels;
};

// A lake-blue rounded square, darker towards the bottom.
void PaintBackground(Canvas& canvas, double size) {
  const double margin = size / 48.0;
  const auto lake = [size](double y) {
    const double t = std::clamp(y / size, 0.0, 1.0);
    return Color{kLakeTop.r + (kLakeBottom.r - kLakeTop.r) * t,
                 kLakeTop.g + (kLakeBottom.g - kLakeTop.g) * t,
                 kLakeTop.b + (kLakeBottom.b - kLakeTop.b) * t};
  };
  canvas.Fill(RoundedRect(Rect::FromSize(margin, margin, size - 2 * margin, size - 2 * margin),
                          size * 0.18),
              lake);
}

// A down arrow onto a bar: new firmware going into the device.
Shape DownArrow(double left, double top, double width, double height) {
  const double shaft = width * 0.36;
  const double headTop = top + height * 0.38;
  const double tip = top + height * 0.78;
  const double bar = height * 0.14;
  return Union(Polygon({{left + (width - shaft) / 2, top},
                        {left + (width + shaft) / 2, top},
                        {left + (width + shaft) / 2, headTop},
                        {left + width, headTop},
                        {left + width / 2, tip},
                        {left, headTop},
                        {left + (width - shaft) / 2, headTop}}),
               Box(Rect::FromSize(left, top + height - bar, width, bar)));
}

// Small sizes: the arrow alone, on whole pixels.
void PaintSmall(Canvas& canvas, int size) {
  PaintBackground(canvas, size);
  const double unit = size / 16.0;
  canvas.Fill(DownArrow(4 * unit, 3 * unit, 8 * unit, 10 * unit), kChip);
}

// Edges on whole pixels, so thin parts stay sharp.
Rect Snapped(Rect rect) {
  const auto round = [](double value) { return std::floor(value + 0.5); };
  return {round(rect.left), round(rect.top), round(rect.right), round(rect.bottom)};
}

// Larger sizes: a flash chip with pins, the arrow on it.
void PaintLarge(Canvas& canvas, int size) {
  PaintBackground(canvas, size);
  const double unit = size / 48.0;
  const Rect chip = Snapped(Rect::FromSize(13 * unit, 11 * unit, 22 * unit, 26 * unit));
  for (int pin = 0; pin < 4; ++pin) {
    const double y = chip.top + (3 + pin * 6) * unit;
    canvas.Fill(Box(Snapped(Rect::FromSize(chip.left - 5 * unit, y, 5 * unit, 2.5 * unit))), kChip);
    canvas.Fill(Box(Snapped(Rect::FromSize(chip.right, y, 5 * unit, 2.5 * unit))), kChip);
  }
  canvas.Fill(RoundedRect(chip, 2.5 * unit), kChip);
  canvas.Fill(DownArrow(chip.left + 5 * unit, chip.top + 4 * unit, 12 * unit, 18 * unit), kArrow);
}

}  // namespace

RgbaImage DrawAppIcon(int size) {
  Canvas canvas(size);
  if (size < 24) {
    PaintSmall(canvas, size);
  } else {
    PaintLarge(canvas, size);
  }
  return canvas.Image();
}

}  // namespace tarn
