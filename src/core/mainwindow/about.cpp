#include "core/mainwindow/about.h"

#include "core/rules/durationtext.h"

AboutTexts MakeAboutTexts(const std::string &programVersion, double usageTotal)
{
    return {
        .label1 = "当前版本为：" + programVersion,
        .label3 = "您已使用本软件合计有 " + FormatSeconds(usageTotal),
        .label6 = "声明：本软件是纯绿色软件，无需安装，无插件，无病毒，不修改主页，完全免费"
                  "使用（永久免费），"
                  "本软件的著作权归 Pelmora 所有"
                  "，任何其它人/公司不得修改本软件代码并用之于商业开发",
    };
}

std::string HomePageUrl(const std::string &vendorUrl)
{
    return vendorUrl + "/";
}
