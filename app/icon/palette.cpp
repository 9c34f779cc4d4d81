#include "app/icon/palette.h"

#include <algorithm>
#include <limits>

namespace tarn {
namespace {

uint8_t Channel(const Rgb& color, int channel) {
  return channel == 0 ? color.r : channel == 1 ? color.g : color.b;
}

struct Span {
  size_t begin, end;
  int channel;  // the widest channel
  int width;    // its spread; 0: one colour only
};

Span Measure(const std::vector<Rgb>& colors, size_t begin, size_t end) {
  Span span{begin, end, 0, 0};
  for (int channel = 0; channel < 3; ++channel) {
    const auto [low, high] = std::minmax_element(colors.begin() + begin, colors.begin() + end,
                                                 [channel](const Rgb& a, const Rgb& b) {
                                                   return Channel(a, channel) < Channel(b, channel);
                                                 });
    const int width = Channel(*high, channel) - Channel(*low, channel);
    if (width > span.width) {
      span.channel = channel;
      span.width = width;
    }
  }
  return span;
}

}  // namespace

std::vector<Rgb> MedianCutPalette(std::vector<Rgb> colors, size_t count) {
  std::vector<Rgb> palette;
  if (colors.empty() || count == 0) return palette;
  std::vector<Span> spans{Measure(colors, 0, colors.size())};
  while (spans.size() < count) {
    const auto widest = std::max_element(
        spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.width < b.width; });
    if (widest->width == 0) break;
    const Span span = *widest;
    std::sort(colors.begin() + span.begin, colors.begin() + span.end,
              [&](const Rgb& a, const Rgb& b) {
                return Channel(a, span.channel) < Channel(b, span.channel);
              });
    // A spread wider than 0 has two different values, so both halves are non-empty.
    size_t middle = span.begin + (span.end - span.begin) / 2;
    const uint8_t cut = Channel(colors[middle], span.channel);
    while (middle > span.begin && Channel(colors[middle - 1], span.channel) == cut)
      --middle;
    if (middle == span.begin) {
      while (Channel(colors[middle], span.channel) == cut)
        ++middle;
    }
    *widest = Measure(colors, span.begin, middle);
    spans.push_back(Measure(colors, middle, span.end));
  }
  for (const Span& span : spans) {
    unsigned long sums[3] = {0, 0, 0};
    for (size_t i = span.begin; i < span.end; ++i) {
      for (int channel = 0; channel < 3; ++channel)
        sums[channel] += Channel(colors[i], channel);
    }
    const unsigned long n = span.end - span.begin;
    palette.push_back({static_cast<uint8_t>((sums[0] + n / 2) / n),
                       static_cast<uint8_t>((sums[1] + n / 2) / n),
                       static_cast<uint8_t>((sums[2] + n / 2) / n)});
  }
  return palette;
}

size_t NearestEntry(const std::vector<Rgb>& palette, Rgb color) {
  size_t best = 0;
  int bestDistance = std::numeric_limits<int>::max();
  for (size_t i = 0; i < palette.size(); ++i) {
    int distance = 0;
    for (int channel = 0; channel < 3; ++channel) {
      const int d = Channel(palette[i], channel) - Channel(color, channel);
      distance += d * d;
    }
    if (distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace tarn
