#pragma once

// Puts the application's style behind a proxy that hands out the menu bar's
// overflow arrow without reading it: Qt's own styles read that icon from a
// file for every menu bar they build, which loads all the image-format
// plugins at start-up for an arrow this window never shows. It is read when
// it is first drawn. Call once, after the application object exists.
void InstallLazyStyleIcons();
