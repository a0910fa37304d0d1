// The version check at start-up and in the update window, over a fake site.

#include "core/mainwindow/mainwindowcore.h"
#include "core/rules/versionrules.h"
#include "core/update/updateflows.h"
#include "core/update/versionquery.h"
#include "fakes/fakeservices.h"
#include "support/testing.h"

#include <cfloat>
#include <string>
#include <vector>

namespace {

const std::string kVersionUrl = "http://vendor.test/brk/newver.htm";
const std::string kUpdatePage = "http://vendor.test/brk/update.asp";
const char *const kNoNetwork = nullptr;

} // namespace

TEST_CASE("checkNewVersion")
{
    struct Row {
        const char *page;
        const char *result;
    } const rows[] = {
        {"[123]", "123"}, {"<b>[ 1 2 3 ]</b>", " 1 2 3 "}, {"[ABC]", ""},        {"[122]", ""},
        {"]x[123]", ""},  {"[123][999]", "123"},           {"[122.5]", "122.5"}, {"[]", ""},
        {kNoNetwork, ""},
    };
    for (const Row &row : rows) {
        INFO((row.page ? row.page : "no network"));
        FakeHttp http;
        if (row.page)
            http.bodies[kVersionUrl] = row.page;
        CHECK_EQ(CheckNewVersion(http, "http://vendor.test", 122), row.result);
        CHECK(http.requested == std::vector<std::string>{kVersionUrl});
    }
}

TEST_CASE("startupNotice")
{
    struct Row {
        const char *page;
        MessageAnswer answer;
        bool shown;
        bool opened;
    } const rows[] = {
        {"[123]", MessageAnswer::Ok, true, true},
        {"<b>[ 130 ]</b>", MessageAnswer::Cancel, true, false},
        {"[1e999]", MessageAnswer::Cancel, true, false},
        {"[122]", MessageAnswer::Ok, false, false},
        {"123", MessageAnswer::Ok, false, false},
        {"[v2]", MessageAnswer::Ok, false, false},
        {kNoNetwork, MessageAnswer::Ok, false, false},
    };
    for (const Row &row : rows) {
        INFO((row.page ? row.page : "no network"));
        FakeEnvironment env;
        if (row.page)
            env.http.bodies[kVersionUrl] = row.page;
        env.messages.answers.push_back(row.answer);
        NotifyNewVersion(env.services(), &env, [] { return true; });
        REQUIRE_EQ(env.messages.shown.size(), size_t(row.shown ? 1 : 0));
        REQUIRE_EQ(env.browser.opened.size(), size_t(row.opened ? 1 : 0));
        if (row.opened) {
            CHECK_EQ(env.browser.opened[0], kUpdatePage);
            // Opened from the main window, which the notice belongs to.
            CHECK(env.browser.owners[0] == static_cast<WindowHandle>(&env));
        }
        if (!row.shown)
            continue;
        const MessageSpec &box = env.messages.shown[0];
        CHECK_EQ(box.title, "【计时器】又出新版本了，欢迎下载");
        CHECK_EQ(box.text, "有新版本可以下载了，点确认去下载最新版本");
        CHECK(box.buttons == MessageSpec::Buttons::OkCancel);
        CHECK(box.icon == MessageSpec::Icon::None);
        CHECK(!box.cancelIsDefault);
        CHECK(env.messages.owners[0] == static_cast<WindowHandle>(&env));
    }
}

TEST_CASE("noticeForAWindowGoneDuringTheQuery")
{
    FakeEnvironment env;
    env.http.bodies[kVersionUrl] = "[123]";
    NotifyNewVersion(env.services(), nullptr, [] { return false; });
    CHECK(env.messages.shown.empty());
    CHECK(env.browser.opened.empty());
}

TEST_CASE("updateWindowOutcome")
{
    const std::string upToDate = "您使用的版本已经是最新版的了，您无需下载更新";
    const std::string found = "检查到有新的版本了";
    struct Row {
        const char *page;
        std::string label1;
        std::string label3;
    } const rows[] = {
        {"[123]", found, "最新版本为:V1.2.3"},
        {"<p>[1234]</p>", found, "最新版本为:V12.3.4"},
        {"[122.5]", found, "最新版本为:V1.2.2.5"},
        {"[122]", upToDate, ""},
        {"123", upToDate, ""},
        {kNoNetwork, upToDate, ""},
        {"[1e999]", found, "最新版本为:" + FormatVersionNumber(DBL_MAX)},
    };
    for (const Row &row : rows) {
        INFO((row.page ? row.page : "no network"));
        FakeEnvironment env;
        if (row.page)
            env.http.bodies[kVersionUrl] = row.page;
        const UpdateWindowLook look = LoadUpdateWindow(env.services(), "V1.2.2");
        CHECK(env.http.requested == std::vector<std::string>{kVersionUrl});
        CHECK_EQ(look.label1, row.label1);
        CHECK_EQ(look.label2, "当前版本为：V1.2.2");
        CHECK_EQ(look.label3, row.label3);
        CHECK_EQ(look.command1Visible, !row.label3.empty());
        CHECK(!look.label4Visible);
        CHECK(!look.command3Visible);
    }
    const UpdateWindowLook laidOut = UpdateWindowLaidOut();
    CHECK_EQ(laidOut.label1, "正在联网查看是否有最新版本...");
    CHECK(laidOut.label4Visible);
    CHECK(laidOut.command3Visible);
    CHECK(!laidOut.command1Visible);

    FakeEnvironment env;
    int updateWindow = 0;
    OpenUpdatePage(env.services(), &updateWindow);
    CHECK(env.browser.opened == std::vector<std::string>{kUpdatePage});
    CHECK(env.browser.owners == std::vector<WindowHandle>{&updateWindow});
}

TEST_CASE("ownVersion")
{
    FakeEnvironment env;
    Services s = env.services();
    CHECK_EQ(OwnVersionNumber(s), 122.0);
    CHECK_EQ(ProgramVersionText(s), "V1.2.2");
    s.versionMinor = 10;
    CHECK_EQ(ProgramVersionText(s), "V1.10.2");
}

TEST_CASE("updateWindowFromTheMainWindow")
{
    FakeEnvironment env;
    env.http.bodies[kVersionUrl] = "[123]";
    MainWindowCore core(env.services(), nullptr);
    core.FinishLoad([] { return true; });
    // The entry chosen again while the first window loads does nothing.
    CHECK(core.menuUpdate_Click());
    CHECK(!core.look().housekeepingOn);
    env.http.whileWaiting = [&] { CHECK(!core.menuUpdate_Click()); };
    const UpdateWindowLook look = core.LoadUpdateWindow();
    CHECK_EQ(look.label2, "当前版本为：V1.2.2");
    CHECK_EQ(look.label3, "最新版本为:V1.2.3");
    int updateWindow = 0;
    core.UpdateCommand1_Click(&updateWindow);
    CHECK(env.browser.opened.back() == kUpdatePage);
    CHECK(env.browser.owners.back() == static_cast<WindowHandle>(&updateWindow));
    core.UpdateWindowClosed();
    CHECK(core.look().housekeepingOn);
    CHECK(core.menuUpdate_Click());
}

TEST_CASE("aboutTextsAndTheHostName")
{
    FakeEnvironment env;
    env.store.set("js00", " 61");
    MainWindowCore core(env.services(), nullptr);
    core.Form_Load(314, 114, {}, 96);
    core.FinishLoad([] { return true; });
    const AboutTexts texts = core.AboutWindowTexts();
    CHECK_EQ(texts.label1, "当前版本为：V1.2.2");
    CHECK_EQ(texts.label3, "您已使用本软件合计有 0:01:01");
    CHECK_EQ(texts.label5, "vendor.test");
    int aboutWindow = 0;
    core.AboutLabel5_Click(&aboutWindow);
    CHECK(env.browser.opened.back() == "http://vendor.test/");
    CHECK(env.browser.owners.back() == static_cast<WindowHandle>(&aboutWindow));
    for (const char *url : {"https://www.Pelmora.example", "http://user@www.pelmora.example:8080/",
                            "www.pelmora.example/brk?x#y"})
        CHECK_EQ(HostOf(url), "www.pelmora.example");
    CHECK_EQ(HostOf("http://[::1]:47811"), "[::1]");
}
