#include "win32/inkcanvas.h"

InkCanvas::InkCanvas(int width, int height, HFONT font) : width_(width)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    void *bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap_)
        return;
    oldBitmap_ = SelectObject(dc_, bitmap_);
    oldFont_ = SelectObject(dc_, font);
    PatBlt(dc_, 0, 0, width, height, WHITENESS);
    SetTextColor(dc_, RGB(0, 0, 0));
    SetBkMode(dc_, TRANSPARENT);
    pixels_ = static_cast<const DWORD *>(bits);
}

InkCanvas::~InkCanvas()
{
    if (bitmap_) {
        SelectObject(dc_, oldFont_);
        SelectObject(dc_, oldBitmap_);
        DeleteObject(bitmap_);
    }
    DeleteDC(dc_);
}

void InkCanvas::draw(const wchar_t *text, RECT box, UINT flags)
{
    if (!pixels_)
        return;
    DrawTextW(dc_, text, -1, &box, flags);
    GdiFlush();
}
