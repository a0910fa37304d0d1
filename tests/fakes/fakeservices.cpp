#include "fakes/fakeservices.h"

Services FakeEnvironment::services()
{
    Services s;
    s.store = &store;
    s.alarm = &alarm;
    s.tone = &tone;
    s.messages = &messages;
    s.files = &files;
    s.browser = &browser;
    s.http = &http;
    s.clock = &clock;
    s.stacking = &stacking;
    s.process = &process;
    s.vendorUrl = QStringLiteral("http://vendor.test");
    s.versionMajor = 1;
    s.versionMinor = 2;
    s.versionRevision = 2;
    return s;
}
