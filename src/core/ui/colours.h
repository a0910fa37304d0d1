#pragma once

// The program's colours, one home for every front end.
struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(const Rgb &, const Rgb &) = default;
};

// The time display: blue up to the target, red past it, on light cyan.
inline constexpr Rgb kDisplayBlue{0, 0, 255};
inline constexpr Rgb kDisplayRed{255, 0, 0};
inline constexpr Rgb kDisplayBackground{192, 255, 255};
// The About window's address, drawn like a link.
inline constexpr Rgb kLinkBlue{0, 0, 255};
