#pragma once

#include "core/platform/services.h"

#include <string>

// Asking the vendor's site whether a newer version exists. Nothing is kept
// between calls: every call fetches the version file anew.

// The version file and the update page under the site's base address.
std::string VersionFileUrl(const std::string &vendorUrl);
std::string UpdatePageUrl(const std::string &vendorUrl);

// This program's own version number (122 for 1.2.2).
double OwnVersionNumber(const Services &services);

// "V1.2.2": the version string the windows show.
std::string ProgramVersionText(const Services &services);

// The newest version number the version file announces: 0 when it cannot be
// fetched or carries no number between its first brackets.
double FetchNewestVersionNumber(HttpClient &http, const std::string &vendorUrl);

// The version text when the file announces a number greater than
// ownVersionNumber (equal is not newer), otherwise the empty text.
std::string CheckNewVersion(HttpClient &http, const std::string &vendorUrl,
                            double ownVersionNumber);
