#pragma once

// The face the program's texts are drawn in, and at what size. The windows are
// laid out for 宋体 (SimSun), whose lines are exactly as tall as its size.
// Where it is missing (a fresh Wine prefix, a Windows without the Chinese
// supplemental fonts), GDI would substitute a taller face and the texts would
// be cut or run into each other; so the face is chosen by what fits: SimSun,
// then NSimSun, then another Song face, then any other Chinese face whose
// lines fit the room the layout leaves them; a size whose texts still do not
// fit is drawn a little smaller.

#include "core/design/windowdesign.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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

// A control's font at the DPI: its design font in the program's face, smaller
// where the texts of its room would not fit (departure::TextRoomOf); the
// caller deletes it.
HFONT MakeTextFont(const ControlDesign &control, UINT dpi);
// The same for a room, at its role's design size.
HFONT MakeTextFont(const departure::TextRoom &room, UINT dpi, bool underline = false);
