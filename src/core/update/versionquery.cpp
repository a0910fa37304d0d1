#include "core/update/versionquery.h"

#include "core/rules/numbertext.h"
#include "core/rules/versionrules.h"

namespace {

std::string versionTextOf(HttpClient &http, const std::string &vendorUrl)
{
    return ParseVersionText(http.get(VersionFileUrl(vendorUrl)));
}

} // namespace

std::string VersionFileUrl(const std::string &vendorUrl)
{
    return vendorUrl + "/brk/newver.htm";
}

std::string UpdatePageUrl(const std::string &vendorUrl)
{
    return vendorUrl + "/brk/update.asp";
}

double OwnVersionNumber(const Services &services)
{
    return VersionNumberOf(services.versionMajor, services.versionMinor, services.versionRevision);
}

std::string ProgramVersionText(const Services &services)
{
    return "V" + std::to_string(services.versionMajor) + "." +
           std::to_string(services.versionMinor) + "." + std::to_string(services.versionRevision);
}

double FetchNewestVersionNumber(HttpClient &http, const std::string &vendorUrl)
{
    return LeadingNumber(versionTextOf(http, vendorUrl));
}

std::string CheckNewVersion(HttpClient &http, const std::string &vendorUrl, double ownVersionNumber)
{
    const std::string text = versionTextOf(http, vendorUrl);
    if (LeadingNumber(text) > ownVersionNumber)
        return text;
    return {};
}
