#pragma once

// A white 32-bit bitmap to draw a text on and look at its ink: how the font
// choice tells whether a caption stays inside its box, and how the layout
// tests find what a control really shows.

#include <windows.h>

class InkCanvas {
public:
    InkCanvas(int width, int height, HFONT font);
    ~InkCanvas();
    InkCanvas(const InkCanvas &) = delete;
    InkCanvas &operator=(const InkCanvas &) = delete;

    // False when GDI could not make the bitmap; then nothing is ink.
    bool ready() const { return pixels_ != nullptr; }
    // Draws black text into box, flushed so the pixels can be read.
    void draw(const wchar_t *text, RECT box, UINT flags);
    bool inkAt(int x, int y) const
    {
        return pixels_ && (pixels_[y * width_ + x] & 0xFFFFFF) != 0xFFFFFF;
    }

private:
    int width_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
    const DWORD *pixels_ = nullptr;
};
