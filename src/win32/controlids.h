#pragma once

// Control ids of the Windows program's windows, one per control of the
// design, so that GetDlgItem finds a control by its design name (the Linux
// windows use the same names as objectNames). The end-to-end driver under
// tests/ includes this file too.

namespace controlid {

// Form1, the main window.
inline constexpr int Command1 = 101;
inline constexpr int Command2 = 102;
inline constexpr int Label2 = 103;
inline constexpr int Text1 = 104;
inline constexpr int Label5 = 105;
inline constexpr int Label7 = 106;
inline constexpr int Check1 = 107;
inline constexpr int Check2 = 108;
inline constexpr int Check3 = 109;
// Timers (SetTimer ids on the main window).
inline constexpr int Timer1 = 110;
inline constexpr int Timer2 = 111;
// Menu entries (WM_COMMAND ids).
inline constexpr int menuChaoZhou = 121;
inline constexpr int menuUpdate = 122;
inline constexpr int nemuAbout = 123;
inline constexpr int menuOption = 124;
inline constexpr int menuExit = 125;

// FormAbout.
inline constexpr int AboutLabel1 = 201;
inline constexpr int AboutLabel2 = 202;
inline constexpr int AboutLabel3 = 203;
inline constexpr int AboutLabel4 = 204;
inline constexpr int AboutLabel5 = 205;
inline constexpr int AboutLabel6 = 206;

// FormUpdate.
inline constexpr int UpdateLabel1 = 301;
inline constexpr int UpdateLabel2 = 302;
inline constexpr int UpdateLabel3 = 303;
inline constexpr int UpdateLabel4 = 304;
inline constexpr int UpdateCommand1 = 311;
inline constexpr int UpdateCommand2 = 312;
inline constexpr int UpdateCommand3 = 313;
inline constexpr int UpdateTimer1 = 321;

} // namespace controlid

// Window classes, so that other programs (and the tests) can find the windows.
#define BRISKO_FORM1_CLASS L"BriskoForm1"
#define BRISKO_FORMABOUT_CLASS L"BriskoFormAbout"
#define BRISKO_FORMUPDATE_CLASS L"BriskoFormUpdate"
