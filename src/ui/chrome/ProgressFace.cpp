#include "ui/chrome/ProgressFace.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace lumacrest {

namespace {
int Channel(uint32_t color, int shift) { return static_cast<int>((color >> shift) & 0xFFu); }
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

}  // namespace lumacrest
