#include "ui/chrome/ProgressFace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace lumacrest {

namespace {
int Channel(uint32_t color, int shift) { return static_cast<int>((color >> shift) & 0xFFu); }

// Relative luminance of an sRGB colour, 0 (black) to 1 (white).
double Luminance(uint32_t color) {
    double sum = 0;
    const double weights[] = {0.2126, 0.7152, 0.0722};  // red, green, blue
    for (int i = 0; i < 3; ++i) {
        const double c = Channel(color, 8 * i) / 255.0;
        sum += weights[i] * (c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return sum;
}

double Contrast(uint32_t a, uint32_t b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
}  // namespace

bool ProgressShowsBar(int position, int lower, int upper) {
    return position > lower && position <= upper && upper > lower;
}

std::optional<std::string> ProgressText(int position, int lower, int upper) {
    if (!ProgressShowsBar(position, lower, upper)) return std::nullopt;
    const double percent = static_cast<double>(position - lower) * 100.0 / (upper - lower);
    char text[32];
    std::snprintf(text, sizeof text, "%3.0f %%", percent);
    return std::string(text);
}

int ProgressExtent(int position, int upper, int length) {
    if (upper <= 0) return 0;
    const long long extent = static_cast<long long>(position) * length / upper;
    return static_cast<int>(std::clamp<long long>(extent, 0, length));
}

int GradientSteps(uint32_t start, uint32_t end) {
    int steps = 1;
    for (int shift : {0, 8, 16})
        steps = std::max(steps, std::abs(Channel(start, shift) - Channel(end, shift)));
    return steps;
}

uint32_t GradientColor(uint32_t start, uint32_t end, int step, int steps) {
    if (steps <= 0) return start;
    step = std::clamp(step, 0, steps);
    uint32_t color = 0;
    for (int shift : {0, 8, 16}) {
        const int a = Channel(start, shift);
        const int b = Channel(end, shift);
        const int v = a + (b - a) * step / steps;
        color |= static_cast<uint32_t>(v) << shift;
    }
    return color;
}

uint32_t LegibleTextColor(uint32_t text, uint32_t background) {
    if (Contrast(text, background) >= 4.5) return text;
    constexpr uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF;
    return Contrast(kBlack, background) >= Contrast(kWhite, background) ? kBlack : kWhite;
}

}  // namespace lumacrest
