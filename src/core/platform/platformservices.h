#pragma once

#include "core/platform/services.h"

#include <string>

// The services of one run that a front end owns, kept together: each front
// end names its own classes, and services() hands them to the core with the
// store, the HTTP client and what the build knows of the vendor and version.
template <class Alarm, class Tone, class Boxes, class Files, class Browser, class TimeOfDay,
          class Stacking, class Process>
struct PlatformServices {
    Alarm alarm;
    Tone tone;
    Boxes messages;
    Files files;
    Browser browser;
    TimeOfDay clock;
    Stacking stacking;
    Process process;

    Services services(SettingsStore *store, HttpClient *http, const std::string &vendorUrl,
                      int major, int minor, int revision)
    {
        Services s;
        s.store = store;
        s.alarm = &alarm;
        s.tone = &tone;
        s.messages = &messages;
        s.files = &files;
        s.browser = &browser;
        s.http = http;
        s.clock = &clock;
        s.stacking = &stacking;
        s.process = &process;
        s.vendorUrl = vendorUrl;
        s.versionMajor = major;
        s.versionMinor = minor;
        s.versionRevision = revision;
        return s;
    }
};
