#include "qt/form1.h"
#include "qt/versionquery.h"

#include <QPointer>

// At start-up, before the main window shows: offer the update page when the
// vendor's site announces a newer version. A failed query says nothing.
void Form1::NotifyNewVersion()
{
    const Services &s = services();
    QPointer<Form1> self(this);
    const bool newer = !CheckNewVersion(*s.http, s.vendorUrl, OwnVersionNumber(s)).isEmpty();
    if (!self || !newer)
        return;

    MessageSpec spec;
    spec.text = QStringLiteral("有新版本可以下载了，点确认去下载最新版本");
    spec.title = QStringLiteral("【计时器】又出新版本了，欢迎下载");
    spec.buttons = MessageSpec::Buttons::OkCancel;
    spec.icon = MessageSpec::Icon::None;
    spec.cancelIsDefault = false;
    if (s.messages->show(this, spec) == MessageAnswer::Ok && self)
        s.browser->open(UpdatePageUrl(s.vendorUrl));
}
