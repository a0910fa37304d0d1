#include "qt/qtservices.h"

#include "buildinfo.h"

Services QtPlatform::services(SettingsStore *store, HttpClient *http)
{
    return PlatformServices::services(store, http, buildinfo::vendorUrl, buildinfo::versionMajor,
                                      buildinfo::versionMinor, buildinfo::versionRevision);
}
