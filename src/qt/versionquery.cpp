#include "qt/versionquery.h"

#include "qt/services.h"
#include "core/rules/numbertext.h"
#include "core/rules/versionrules.h"

#include <string>

namespace {

std::string versionTextOf(HttpClient &http, const QString &vendorUrl)
{
    const QString page = FetchPageText(http, VersionFileUrl(vendorUrl));
    return ParseVersionText(page.toStdString());
}

} // namespace

QString VersionFileUrl(const QString &vendorUrl)
{
    return vendorUrl + QStringLiteral("/brk/newver.htm");
}

QString UpdatePageUrl(const QString &vendorUrl)
{
    return vendorUrl + QStringLiteral("/brk/update.asp");
}

double OwnVersionNumber(const Services &services)
{
    return VersionNumberOf(services.versionMajor, services.versionMinor, services.versionRevision);
}

QString FetchPageText(HttpClient &http, const QString &url)
{
    return QString::fromUtf8(http.get(url));
}

double FetchNewestVersionNumber(HttpClient &http, const QString &vendorUrl)
{
    return LeadingNumber(versionTextOf(http, vendorUrl));
}

QString CheckNewVersion(HttpClient &http, const QString &vendorUrl, double ownVersionNumber)
{
    const std::string text = versionTextOf(http, vendorUrl);
    if (LeadingNumber(text) > ownVersionNumber)
        return QString::fromStdString(text);
    return {};
}
