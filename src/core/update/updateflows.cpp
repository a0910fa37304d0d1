#include "core/update/updateflows.h"

#include "core/design/windowdesign.h"

#include "core/rules/versionrules.h"
#include "core/update/versionquery.h"

void NotifyNewVersion(Services services, WindowHandle owner,
                      const std::function<bool()> &stillThere)
{
    const bool newer =
        !CheckNewVersion(*services.http, services.vendorUrl, OwnVersionNumber(services)).empty();
    if (!stillThere() || !newer)
        return;
    const MessageSpec notice{
        .text = "有新版本可以下载了，点确认去下载最新版本",
        .title = "【计时器】又出新版本了，欢迎下载",
        .buttons = MessageSpec::Buttons::OkCancel,
        .icon = MessageSpec::Icon::None,
        .cancelIsDefault = false,
    };
    if (services.messages->show(owner, notice) == MessageAnswer::Ok && stillThere())
        services.browser->open(owner, UpdatePageUrl(services.vendorUrl));
}

UpdateWindowLook UpdateWindowLaidOut()
{
    auto text = [](std::string_view name) {
        return std::string(ControlNamed(kFormUpdateDesign, name).text);
    };
    auto shown = [](std::string_view name) {
        return ControlNamed(kFormUpdateDesign, name).visible;
    };
    return {.label1 = text("Label1"),
            .label2 = text("Label2"),
            .label3 = text("Label3"),
            .label4Visible = shown("Label4"),
            .command1Visible = shown("Command1"),
            .command3Visible = shown("Command3")};
}

UpdateWindowLook LoadUpdateWindow(Services services, std::string programVersion)
{
    UpdateWindowLook look = UpdateWindowLaidOut();
    look.label2 = "当前版本为：" + programVersion;
    look.label3.clear();
    const double newest = FetchNewestVersionNumber(*services.http, services.vendorUrl);
    look.label4Visible = false;
    look.command3Visible = false;
    if (newest > OwnVersionNumber(services)) {
        look.label1 = "检查到有新的版本了";
        look.label3 = "最新版本为:" + FormatVersionNumber(newest);
        look.command1Visible = true;
    } else {
        look.label1 = "您使用的版本已经是最新版的了，您无需下载更新";
    }
    return look;
}

void OpenUpdatePage(const Services &services, WindowHandle updateWindow)
{
    services.browser->open(updateWindow, UpdatePageUrl(services.vendorUrl));
}
