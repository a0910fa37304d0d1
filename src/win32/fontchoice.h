#pragma once

// The face the program's texts are drawn in, and at what size. The windows are
// laid out for 宋体 (SimSun), whose lines are exactly as tall as its size.
// Where it is missing (a fresh Wine prefix, a Windows without the Chinese
// supplemental fonts), GDI would substitute a taller face and the texts would
// be cut or run into each other; so the face is chosen by what fits: SimSun,
// then NSimSun, then another Song face, then any other Chinese face whose
// lines fit the room the layout leaves them; a size whose texts still do not
// fit is drawn a little smaller.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A text size of the design, with the room the layout leaves it.
struct TextSize {
    double points = 9;
    // The tallest a line may be, in twips.
    int lineTwips = 0;
    // A text that must fit widthTwips (none when null).
    const wchar_t *widest = nullptr;
    int widthTwips = 0;
    // Captions centred in a button lineTwips high, whose ink must stay inside
    // the button's raised edge (none when null).
    const wchar_t *captions = nullptr;
};

// The window's own 9 pt: four lines of the About statement in its 855 twips
// (also the rows of the update window and the check boxes' 255).
inline constexpr TextSize kNormalText{9, 213};
// The buttons' 15.75 pt: the captions inside the edge of a button 345 twips
// high (the Song faces' glyphs fill their whole line, and would touch it).
inline constexpr TextSize kButtonText{15.75, 345, nullptr, 0, L"开始停止暂停继续"};
// The time display's 15.75 pt, which also ends before the minutes entry.
inline constexpr TextSize kDisplayText{15.75, 345, L"时间到了", 1200};
// The status line's 26.25 pt: a line above the check boxes, 600 twips lower.
inline constexpr TextSize kStatusText{26.25, 600};

// 0 SimSun, 1 NSimSun, 2 another Song face (宋, Song, Ming, 明, Serif CJK),
// 3 any other face; -1 for one never to use (vertical, extension B only).
int FaceRank(const std::wstring &face);

// The first face by rank (in the order given within a rank) whose misfit is
// at most 1; when none is, the one with the smallest misfit. misfit is the
// worst ratio of a face's line height to the room given it, asked in order
// until a face fits. "宋体" when no face is given.
std::wstring PickFace(const std::vector<std::wstring> &faces,
                      const std::function<double(const std::wstring &)> &misfit);

// The face for every text of the program at a DPI (chosen once per DPI).
const std::wstring &ProgramFace(UINT dpi);

// The face at the text size and DPI, smaller where its texts would not fit
// their room; the caller deletes it.
HFONT MakeTextFont(const TextSize &size, UINT dpi, bool underline = false);
