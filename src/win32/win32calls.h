#pragma once

#include <string>

// The few Windows calls the program makes outside the registry, free of Qt so
// they build and run with the Qt-free core as well. Results are not examined:
// a failing call changes nothing and is repeated, if at all, by its caller.

// A plain tone; returns only when it has ended.
void PlatformBeep(unsigned hz, unsigned ms);

// Puts a top-level window (an HWND) into or out of the always-on-top band,
// leaving its place, size and activation alone.
void PlatformSetTopmost(void *hwnd, bool topmost);

// Hands an address (UTF-8) to the user's default web browser and returns at
// once. The owner window (an HWND, or null) parents any error dialog.
void PlatformOpenUrl(void *ownerHwnd, const std::string &url);
