// What the progress control shows for a position: whether a bar is drawn, how far it
// reaches, the percentage text, and the colours of its gradient. Colours are 0x00BBGGRR.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lumacrest {

inline constexpr uint32_t kProgressStartColor = 0x0000FF;  // red
inline constexpr uint32_t kProgressEndColor = 0xFF0000;    // blue

// Nothing but the background is painted at or below the lower bound and above the upper.
bool ProgressShowsBar(int position, int lower, int upper);

// "%3.0f %%" of (position - lower) x 100 / (upper - lower); nothing when no bar is shown.
std::optional<std::string> ProgressText(int position, int lower, int upper);

// Pixels of `length` filled at `position` (position / upper of the length).
int ProgressExtent(int position, int upper, int length);

// Number of gradient steps: the largest difference of the two colours' channels (at least 1).
int GradientSteps(uint32_t start, uint32_t end);
// Colour of step `step` of `steps` between the two colours.
uint32_t GradientColor(uint32_t start, uint32_t end, int step, int steps);

// The colour of the percentage text over `background`: `text` where it reads well there
// (a contrast of at least 4.5 to 1), else black or white, whichever reads better.
uint32_t LegibleTextColor(uint32_t text, uint32_t background);

}  // namespace lumacrest
