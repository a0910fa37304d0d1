#pragma once

#include <algorithm>
#include <cmath>

// Window geometry is designed, and positions are stored, in twips: 1440 to the
// inch, so a pixel is 1440 / dpi of them (15 at 96 dpi, 12 at 120, 10 at 144).
// The Linux windows work in device-independent pixels, which are pixels at
// 96 dpi; the Windows windows convert at their own DPI.
inline constexpr int kDesignDpi = 96;
inline constexpr double kTwipsPerInch = 1440.0;

inline int UsableDpi(int dpi)
{
    return dpi > 0 ? dpi : kDesignDpi;
}

// Rounded to the nearest pixel. Values beyond any screen are clamped first, so
// an absurd stored number cannot overflow the conversion to int.
inline int TwipsToPixels(double twips, int dpi = kDesignDpi)
{
    const double limit = 1e7;
    return static_cast<int>(
        std::lround(std::clamp(twips, -limit, limit) * UsableDpi(dpi) / kTwipsPerInch));
}

// Whole twips: finer than a pixel at any DPI up to 1440, so the way back
// gives the same pixel.
inline double PixelsToTwips(int pixels, int dpi = kDesignDpi)
{
    return std::round(pixels * kTwipsPerInch / UsableDpi(dpi));
}

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

inline PixelRect TwipsRect(int left, int top, int width, int height, int dpi = kDesignDpi)
{
    return {TwipsToPixels(left, dpi), TwipsToPixels(top, dpi), TwipsToPixels(width, dpi),
            TwipsToPixels(height, dpi)};
}
