#include "core/mainwindow/about.h"

#include "core/rules/durationtext.h"
#include "core/text/asciicase.h"

AboutTexts MakeAboutTexts(const std::string &programVersion, double usageTotal,
                          std::string_view vendorUrl)
{
    return {
        .label1 = "当前版本为：" + programVersion,
        .label3 = "您已使用本软件合计有 " + FormatSeconds(usageTotal),
        .label5 = HostOf(vendorUrl),
        .label6 = "声明：本软件是纯绿色软件，无需安装，无插件，无病毒，不修改主页，完全免费"
                  "使用（永久免费），"
                  "本软件的著作权归 Pelmora 所有"
                  "，任何其它人/公司不得修改本软件代码并用之于商业开发",
    };
}

std::string HostOf(std::string_view url)
{
    const size_t scheme = url.find("//");
    if (scheme != std::string_view::npos)
        url.remove_prefix(scheme + 2);
    url = url.substr(0, url.find_first_of("/?#"));
    if (const size_t at = url.rfind('@'); at != std::string_view::npos)
        url.remove_prefix(at + 1);
    // A port follows the last colon, unless that colon is inside an IPv6
    // address's brackets.
    if (const size_t colon = url.rfind(':');
        colon != std::string_view::npos && url.find(']', colon) == std::string_view::npos)
        url = url.substr(0, colon);
    return AsciiLowerText(url);
}

std::string HomePageUrl(const std::string &vendorUrl)
{
    return vendorUrl + "/";
}
