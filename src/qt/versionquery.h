#pragma once

#include <QString>

class HttpClient;
struct Services;

// Asking the vendor's site whether a newer version exists. Nothing is kept
// between calls: every call fetches the version file anew.

// The version file and the update page under the site's base address.
QString VersionFileUrl(const QString &vendorUrl);
QString UpdatePageUrl(const QString &vendorUrl);

// This program's own version number (122 for 1.2.2).
double OwnVersionNumber(const Services &services);

// The body of the page at url as text, the body of an error page included;
// the empty text when the request fails. Bytes that are not UTF-8 become
// replacement characters, so the ASCII brackets and digits always survive.
QString FetchPageText(HttpClient &http, const QString &url);

// The newest version number the version file announces: 0 when it cannot be
// fetched or carries no number between its first brackets.
double FetchNewestVersionNumber(HttpClient &http, const QString &vendorUrl);

// The version text when the file announces a number greater than
// ownVersionNumber (equal is not newer), otherwise the empty text.
QString CheckNewVersion(HttpClient &http, const QString &vendorUrl, double ownVersionNumber);
