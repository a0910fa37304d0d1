#include "win32/fontchoice.h"

#include "core/ui/twips.h"
#include "win32/inkcanvas.h"
#include "win32/widetext.h"

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <map>

namespace {

bool SameName(const std::wstring &a, const wchar_t *b)
{
    return lstrcmpiW(a.c_str(), b) == 0;
}

bool Contains(const std::wstring &face, const wchar_t *part)
{
    std::wstring lower = face;
    std::wstring wanted = part;
    for (std::wstring *text : {&lower, &wanted})
        std::transform(text->begin(), text->end(), text->begin(),
                       [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return lower.find(wanted) != std::wstring::npos;
}

// The design's character set (GB2312) for every text.
const int kCharset = DesignFont(FontRole::Window).charset;

HFONT CreateFace(const std::wstring &face, double points, UINT dpi, bool underline)
{
    const int height = -static_cast<int>(std::lround(points * dpi / 72.0));
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, underline, FALSE,
                       static_cast<BYTE>(kCharset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, face.c_str());
}

// What a face measures at a size: its line height, and the width of a text.
struct Measure {
    int lineHeight = 0;
    int width = 0;
};

Measure MeasureFace(const std::wstring &face, double points, UINT dpi,
                    const std::wstring &text = {})
{
    Measure m;
    const HDC dc = CreateCompatibleDC(nullptr);
    const HFONT font = CreateFace(face, points, dpi, false);
    const HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    if (GetTextMetricsW(dc, &metrics))
        m.lineHeight = metrics.tmHeight;
    SIZE size{};
    if (!text.empty() &&
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size))
        m.width = size.cx;
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    return m;
}

// Whether the ink of a text centred in a box of that height, as a button
// draws its caption, stays clear of the box's edge.
bool InkInside(HFONT font, const std::wstring &text, int height, int edge)
{
    const int width = 2000;
    InkCanvas canvas(width, height, font);
    canvas.draw(text.c_str(), RECT{0, 0, width, height},
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    for (int y = 0; y < height; ++y) {
        if (y >= edge && y < height - edge)
            continue;
        for (int x = 0; x < width; ++x)
            if (canvas.inkAt(x, y))
                return false;
    }
    return true;
}

bool Fits(const std::wstring &face, double points, const departure::TextRoom &room, UINT dpi)
{
    const std::wstring widest = widetext::Widen(room.widest);
    const Measure m = MeasureFace(face, points, dpi, widest);
    const int dpiValue = static_cast<int>(dpi);
    const int lineRoom = TwipsToPixels(room.lineTwips, dpiValue);
    if (m.lineHeight > lineRoom ||
        (!widest.empty() && m.width > TwipsToPixels(room.widthTwips, dpiValue)))
        return false;
    if (room.captions.empty())
        return true;
    const HFONT font = CreateFace(face, points, dpi, false);
    const bool inside =
        InkInside(font, widetext::Widen(room.captions), lineRoom, GetSystemMetrics(SM_CYEDGE));
    DeleteObject(font);
    return inside;
}

int CALLBACK AddFace(const LOGFONTW *font, const TEXTMETRICW *, DWORD, LPARAM list)
{
    auto *faces = reinterpret_cast<std::vector<std::wstring> *>(list);
    if (std::find(faces->begin(), faces->end(), font->lfFaceName) == faces->end())
        faces->push_back(font->lfFaceName);
    return 1;
}

// The installed faces with the simplified Chinese characters.
std::vector<std::wstring> ChineseFaces()
{
    std::vector<std::wstring> faces;
    const HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTW wanted{};
    wanted.lfCharSet = GB2312_CHARSET;
    EnumFontFamiliesExW(dc, &wanted, AddFace, reinterpret_cast<LPARAM>(&faces), 0);
    DeleteDC(dc);
    return faces;
}

} // namespace

int FaceRank(const std::wstring &face)
{
    if (face.empty() || face[0] == L'@' || Contains(face, L"ExtB"))
        return -1;
    if (SameName(face, L"宋体") || SameName(face, L"SimSun"))
        return 0;
    if (SameName(face, L"新宋体") || SameName(face, L"NSimSun"))
        return 1;
    for (const wchar_t *song : {L"宋", L"Song", L"Ming", L"明", L"Serif CJK"})
        if (Contains(face, song))
            return 2;
    return 3;
}

std::wstring PickFace(const std::vector<std::wstring> &faces,
                      const std::function<double(const std::wstring &)> &misfit)
{
    std::vector<std::wstring> ranked;
    for (const std::wstring &face : faces)
        if (FaceRank(face) >= 0)
            ranked.push_back(face);
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto &a, const auto &b) { return FaceRank(a) < FaceRank(b); });
    // The design's face when nothing is installed to choose from.
    const std::wstring designed = widetext::Widen(DesignFont(FontRole::Window).face);
    std::wstring best = designed;
    double bestMisfit = 0;
    for (const std::wstring &face : ranked) {
        const double m = misfit(face);
        if (m <= 1)
            return face;
        if (best == designed || m < bestMisfit) {
            best = face;
            bestMisfit = m;
        }
    }
    return best;
}

const std::wstring &ProgramFace(UINT dpi)
{
    static std::map<UINT, std::wstring> chosen;
    auto it = chosen.find(dpi);
    if (it == chosen.end()) {
        const auto misfit = [dpi](const std::wstring &face) {
            double worst = 0;
            for (const departure::TextRoom &room :
                 {departure::kWindowTextRoom, departure::kButtonTextRoom,
                  departure::kStatusTextRoom}) {
                const double line = TwipsToPixels(room.lineTwips, static_cast<int>(dpi));
                const double points = DesignFont(room.role).points;
                worst = std::max(worst, MeasureFace(face, points, dpi).lineHeight / line);
            }
            return worst;
        };
        it = chosen.emplace(dpi, PickFace(ChineseFaces(), misfit)).first;
    }
    return it->second;
}

HFONT MakeTextFont(const departure::TextRoom &room, UINT dpi, bool underline)
{
    const std::wstring &face = ProgramFace(dpi);
    // A quarter point at a time, down to two thirds of the size at most.
    const double designed = DesignFont(room.role).points;
    double points = designed;
    while (points > designed * 2 / 3 && !Fits(face, points, room, dpi))
        points -= 0.25;
    return CreateFace(face, points, dpi, underline);
}

HFONT MakeTextFont(const ControlDesign &control, UINT dpi)
{
    return MakeTextFont(departure::TextRoomOf(control), dpi, DesignFont(control.font).underline);
}
