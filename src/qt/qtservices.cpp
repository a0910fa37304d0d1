#include "qt/qtservices.h"

#include "buildinfo.h"
#include "qt/alarmmodule.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHash>
#include <QLibrary>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_WIN
#include "win32/win32calls.h"
#else
#include <unistd.h>
#endif
#ifdef BRISKO_HAVE_XCB
#include <QGuiApplication>
#include <xcb/xcb.h>
#endif

// --- alarm player and tone ---------------------------------------------------

namespace {

QString &soundModuleOverride()
{
    static QString path;
    return path;
}

// The module's entry, loaded once per file on first use; null when it cannot
// be loaded. It stays loaded for the rest of the run.
const SoundModuleEntry *soundModule()
{
    static QHash<QString, const SoundModuleEntry *> loaded;
    QString path = soundModuleOverride();
    if (path.isEmpty())
        path =
            QCoreApplication::applicationDirPath() + QStringLiteral("/" BRISKO_SOUND_MODULE_PATH);
    const auto known = loaded.constFind(path);
    if (known != loaded.constEnd())
        return *known;

    const SoundModuleEntry *entry = nullptr;
    QLibrary module(path);
    if (module.load()) {
        using Entry = const SoundModuleEntry *(*)();
        if (auto get = reinterpret_cast<Entry>(module.resolve(BRISKO_SOUND_MODULE_ENTRY)))
            entry = get();
        if (!entry || !entry->newAlarmPlayer || !entry->newTonePlayer) {
            entry = nullptr;
            module.unload();
        }
    }
    if (!entry)
        std::fprintf(stderr, "brisko: cannot load the sound module, alarms stay silent: %s\n",
                     qPrintable(module.errorString()));
    loaded.insert(path, entry);
    return entry;
}

} // namespace

void UseSoundModuleFile(const QString &path)
{
    soundModuleOverride() = path;
}

QtAlarmPlayer::QtAlarmPlayer() : reports_(std::make_unique<QObject>()) {}
QtAlarmPlayer::~QtAlarmPlayer() = default;

void QtAlarmPlayer::play(const std::string &filePath)
{
    ++alarm_;
    live_ = true;
    if (!player_) {
        if (const SoundModuleEntry *module = soundModule()) {
            player_.reset(module->newAlarmPlayer());
            player_->onCannotPlay = [this] {
                if (onCannotPlay)
                    onCannotPlay();
            };
        }
    }
    if (player_) {
        player_->play(filePath);
        return;
    }
    // Without the module the file cannot be played: reported like a player's
    // verdict, after play() has returned, once, and only while this alarm is on.
    QTimer::singleShot(0, reports_.get(), [this, alarm = alarm_] {
        if (alarm == alarm_ && live_ && onCannotPlay)
            onCannotPlay();
    });
}

void QtAlarmPlayer::stop()
{
    live_ = false;
    if (player_)
        player_->stop();
}

const QObject *QtAlarmPlayer::mediaPlayer() const
{
    return player_ ? player_->mediaPlayer() : nullptr;
}

QtTonePlayer::QtTonePlayer() = default;
QtTonePlayer::~QtTonePlayer() = default;

void QtTonePlayer::beep(int frequencyHz, int durationMs)
{
    if (!player_) {
        if (const SoundModuleEntry *module = soundModule())
            player_.reset(module->newTonePlayer());
    }
    if (player_) {
        player_->beep(frequencyHz, durationMs);
        return;
    }
    // The window is held for the tone's length all the same.
    QThread::msleep(static_cast<unsigned long>(qMax(0, durationMs)));
}

// --- message boxes ----------------------------------------------------------

namespace {

// A box as wide as its title needs. A short message makes a narrow box, and
// the window manager then shows "…" for the title: Qt leaves 50 px beside
// it, where title bars put an icon and three buttons as well. The room is
// reckoned in the title bar's font, bold as most window managers draw it.
void makeRoomForTitle(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid || box.windowTitle().isEmpty())
        return;
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    const QFontMetrics metrics(font);
    int wanted = metrics.horizontalAdvance(box.windowTitle()) + 7 * metrics.height();
    if (const QScreen *screen = box.screen())
        wanted = qMin(wanted, screen->availableGeometry().width() * 9 / 10);
    const QMargins margins = grid->contentsMargins();
    grid->addItem(new QSpacerItem(wanted - margins.left() - margins.right(), 0,
                                  QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

MessageAnswer QtMessageBoxes::show(WindowHandle owner, const MessageSpec &spec)
{
    QMessageBox box(WidgetOf(owner));
    box.setWindowTitle(QString::fromStdString(spec.title));
    box.setText(QString::fromStdString(spec.text));
    box.setIcon(spec.icon == MessageSpec::Icon::Question ? QMessageBox::Question
                                                         : QMessageBox::NoIcon);
    QPushButton *ok = box.addButton(QMessageBox::Ok);
    QPushButton *cancel = nullptr;
    if (spec.buttons == MessageSpec::Buttons::OkCancel) {
        cancel = box.addButton(QMessageBox::Cancel);
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.setDefaultButton(spec.cancelIsDefault && cancel ? cancel : ok);
    makeRoomForTitle(box);
    box.exec();
    return box.clickedButton() == ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

// --- files and folders -------------------------------------------------------

bool QtFileSystem::fileExists(const std::string &path)
{
    const QFileInfo info(QString::fromStdString(path));
    return info.isFile() && !info.isHidden();
}

std::string QtFileSystem::programFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
}

// --- the time of day in the title -------------------------------------------------

namespace {

// The locale's long time format without its time zone, which a time of day
// doesn't need, and without the letters this Qt would print as they are.
// Quoted literals ('h', 'kl') are kept untouched.
QString timeOfDayFormat(const QString &localeFormat)
{
    // Split into unquoted runs (even indices) and quoted ones (odd).
    QStringList parts{QString()};
    for (const QChar c : localeFormat) {
        if (c == QLatin1Char('\''))
            parts.append(QString());
        parts.last() += c;
    }
    auto unquoted = [&parts] {
        QString plain;
        for (qsizetype i = 0; i < parts.size(); i += 2)
            plain += parts[i];
        return plain;
    };
    const bool hasAmPm = unquoted().contains(QLatin1Char('a'), Qt::CaseInsensitive);

    static const QRegularExpression zone(QStringLiteral("t+"));
    // The day period (上午, 下午...): the am/pm marker keeps a 12-hour format
    // readable as one.
    static const QRegularExpression dayPeriod(QStringLiteral("[Bb]+"));
    // Any other ASCII letter that is no time field here would come out as is.
    static const QRegularExpression unknown(QStringLiteral("[B-GI-OQ-Zb-gi-lnoq-rt-y]"));
    static const QRegularExpression emptyBrackets(QStringLiteral("\\(\\s*\\)|\\[\\s*\\]"));
    static const QRegularExpression spaces(QStringLiteral("\\s{2,}"));
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString &p = parts[i];
        p.replace(zone, QString());
        p.replace(dayPeriod, hasAmPm ? QString() : QStringLiteral("AP"));
        p.replace(unknown, QString());
        p.replace(emptyBrackets, QString());
        p.replace(spaces, QStringLiteral(" "));
    }
    // What stood between the time and the zone: blanks and commas at either end.
    static const QRegularExpression leading(QStringLiteral("^[\\s,]+"));
    static const QRegularExpression trailing(QStringLiteral("[\\s,]+$"));
    parts.first().remove(leading);
    if (parts.size() % 2 == 1)
        parts.last().remove(trailing);
    // A format that had nothing but a zone still shows the time.
    if (!unquoted().contains(QLatin1Char('h'), Qt::CaseInsensitive))
        return QStringLiteral("HH:mm:ss");
    return parts.join(QString());
}

} // namespace

QString TimeOfDayText(const QTime &time)
{
    // Worked out once per locale, not on every tick. Locales are compared
    // whole: two of them can share a name and differ in their formats.
    static QLocale cachedLocale;
    static QString format;
    const QLocale locale;
    if (format.isEmpty() || locale != cachedLocale) {
        cachedLocale = locale;
        format = timeOfDayFormat(locale.timeFormat(QLocale::LongFormat));
    }
    return locale.toString(time, format);
}

// --- browser, clock -----------------------------------------------------------

void QtBrowserOpener::open(WindowHandle, const std::string &url)
{
#ifdef Q_OS_WIN
    PlatformOpenUrl(nullptr, url);
#else
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
#endif
}

std::string QtClock::timeOfDayText()
{
    return TimeOfDayText(QTime::currentTime()).toStdString();
}

// --- keep on top --------------------------------------------------------------

#ifdef BRISKO_HAVE_XCB
namespace {

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// Asks the window manager again to keep the window above the others. Qt only
// tells it when its own flag changes, so a state that the user or a panel
// cleared from outside would otherwise never come back.
void reassertAbove(QWidget *window)
{
    // Other platforms (offscreen, minimal, Wayland) may answer the X11
    // interface with no connection, and a connection can break: then there
    // is nobody to ask, and nothing is done.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    QWindow *handle = window->windowHandle();
    if (!x11 || !handle || !handle->handle())
        return;
    xcb_connection_t *c = x11->connection();
    if (!c || xcb_connection_has_error(c))
        return;
    // Looked up once per connection: this runs every second.
    static xcb_connection_t *known = nullptr;
    static xcb_atom_t state = XCB_ATOM_NONE;
    static xcb_atom_t above = XCB_ATOM_NONE;
    if (c != known) {
        known = c;
        state = internAtom(c, "_NET_WM_STATE");
        above = internAtom(c, "_NET_WM_STATE_ABOVE");
    }
    if (state == XCB_ATOM_NONE || above == XCB_ATOM_NONE)
        return;
    const xcb_setup_t *setup = xcb_get_setup(c);
    const xcb_screen_t *screen = setup ? xcb_setup_roots_iterator(setup).data : nullptr;
    if (!screen)
        return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(handle->winId());
    event.type = state;
    event.data.data32[0] = 1; // _NET_WM_STATE_ADD
    event.data.data32[1] = above;
    event.data.data32[3] = 1; // from an application
    xcb_send_event(c, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(c);
}

} // namespace
#endif

void QtWindowStacking::setKeepOnTop(WindowHandle target, bool onTop)
{
    QWidget *const window = WidgetOf(target);
#ifdef Q_OS_WIN
    PlatformSetTopmost(reinterpret_cast<void *>(window->winId()), onTop);
#else
    // Called every second: change the flag only when it differs, and on the
    // same native window (setWindowFlag would unmap and re-create it, which
    // flickers). Raising never takes the keyboard focus from other programs.
    Qt::WindowFlags flags = window->windowFlags();
    if (flags.testFlag(Qt::WindowStaysOnTopHint) != onTop) {
        flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
        window->overrideWindowFlags(flags);
        if (QWindow *handle = window->windowHandle())
            handle->setFlags(flags);
    }
    if (onTop && window->isVisible() && !window->isMinimized()) {
#ifdef BRISKO_HAVE_XCB
        reassertAbove(window);
#endif
        window->raise();
    }
#endif
}

// --- Qt's own texts ------------------------------------------------------------

bool InstallQtTranslations(const QLocale &locale)
{
    static QPointer<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed.data();
    }
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

// --- ending -------------------------------------------------------------------

void QtProcessControl::endNow()
{
    std::fflush(nullptr);
#ifdef Q_OS_WIN
    std::_Exit(0);
#else
    _exit(0);
#endif
}

// --- all of them ----------------------------------------------------------------

Services QtPlatform::services(SettingsStore *store, HttpClient *http)
{
    Services s;
    s.store = store;
    s.alarm = &alarm;
    s.tone = &tone;
    s.messages = &messages;
    s.files = &files;
    s.browser = &browser;
    s.http = http;
    s.clock = &clock;
    s.stacking = &stacking;
    s.process = &process;
    s.vendorUrl = buildinfo::vendorUrl;
    s.versionMajor = buildinfo::versionMajor;
    s.versionMinor = buildinfo::versionMinor;
    s.versionRevision = buildinfo::versionRevision;
    return s;
}
