#pragma once

#include <algorithm>
#include <cmath>

// Window geometry is designed in twips, 1440 to the inch; at 96 dpi fifteen
// make one device-independent pixel (the toolkit scales for high DPI itself).
inline constexpr double kTwipsPerPixel = 15.0;

// Rounded to the nearest pixel. Values beyond any screen are clamped first, so
// an absurd stored number cannot overflow the conversion to int.
inline int TwipsToPixels(double twips)
{
    const double limit = 1e7;
    return static_cast<int>(std::lround(std::clamp(twips, -limit, limit) / kTwipsPerPixel));
}

inline double PixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

// The same at a screen's DPI: 1440 twips to the inch, so 15 a pixel at 96,
// 10 at 144.
inline int TwipsToPixels(double twips, int dpi)
{
    const double limit = 1e7;
    return static_cast<int>(std::lround(std::clamp(twips, -limit, limit) * dpi / 1440.0));
}

inline double PixelsToTwips(int pixels, int dpi)
{
    return dpi > 0 ? pixels * 1440.0 / dpi : PixelsToTwips(pixels);
}

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

inline PixelRect TwipsRect(int left, int top, int width, int height)
{
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}
