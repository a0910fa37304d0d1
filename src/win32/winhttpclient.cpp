#include "win32/winhttpclient.h"

#include "core/text/utf16.h"
#include "win32/widetext.h"
#include "win32/winview.h"

#include <windows.h>

#include <winhttp.h>

#include <string>

// Windows 8.1 and later; older MinGW-w64 headers lack it.
#ifndef WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
#define WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY 4
#endif

namespace {

// Shared by the caller and the worker; whichever lets go last frees it, so a
// worker that outlives a timed-out call never touches freed memory.
struct Job {
    std::wstring url;
    std::string body;
    bool ok = false;
    CRITICAL_SECTION lock;
    HINTERNET request = nullptr;
    bool cancelled = false;
    LONG references = 2;

    Job() { InitializeCriticalSection(&lock); }
    ~Job() { DeleteCriticalSection(&lock); }
    void release()
    {
        if (InterlockedDecrement(&references) == 0)
            delete this;
    }
};

class Handle {
public:
    explicit Handle(HINTERNET h = nullptr) : h_(h) {}
    ~Handle()
    {
        if (h_)
            WinHttpCloseHandle(h_);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    HINTERNET get() const { return h_; }

private:
    HINTERNET h_;
};

void setNumber(HINTERNET handle, DWORD option, DWORD value)
{
    WinHttpSetOption(handle, option, &value, sizeof(value));
}

// The proxy settings of the user's Internet settings (Settings, Network,
// Proxy), as the browser uses them.
struct UserProxySettings {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    bool read = WinHttpGetIEProxyConfigForCurrentUser(&config);

    UserProxySettings() = default;
    UserProxySettings(const UserProxySettings &) = delete;
    UserProxySettings &operator=(const UserProxySettings &) = delete;
    ~UserProxySettings()
    {
        GlobalFree(config.lpszAutoConfigUrl);
        GlobalFree(config.lpszProxy);
        GlobalFree(config.lpszProxyBypass);
    }
    // A configuration script or detection decides.
    bool discovers() const { return read && (config.fAutoDetect || config.lpszAutoConfigUrl); }
    bool typedIn() const { return read && config.lpszProxy; }
};

// A session that goes through the user's proxy. Sets discoverHere when the
// request must be given it by discoverProxy().
HINTERNET openSession(const UserProxySettings &user, bool &discoverHere)
{
    discoverHere = false;
    // Only a proxy typed in: named outright. Windows' own choice would be the
    // same, and it is the one way Wine honours the user's proxy.
    if (user.typedIn() && !user.discovers())
        return WinHttpOpen(
            L"Brisko", WINHTTP_ACCESS_TYPE_NAMED_PROXY, user.config.lpszProxy,
            user.config.lpszProxyBypass ? user.config.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS, 0);
    // Windows 8.1 and later run the script or the detection themselves; older
    // ones refuse this access type.
    if (const HINTERNET session = WinHttpOpen(L"Brisko", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0))
        return session;
    discoverHere = user.discovers();
    return WinHttpOpen(L"Brisko", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                       WINHTTP_NO_PROXY_BYPASS, 0);
}

// Before Windows 8.1: the user's script or detection run here, and the proxy
// typed in when they find none.
void discoverProxy(HINTERNET session, HINTERNET request, const std::wstring &url,
                   const UserProxySettings &user)
{
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (user.config.lpszAutoConfigUrl) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = user.config.lpszAutoConfigUrl;
    }
    if (user.config.fAutoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO found{};
    if (WinHttpGetProxyForUrl(session, url.c_str(), &options, &found)) {
        WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &found, sizeof(found));
        GlobalFree(found.lpszProxy);
        GlobalFree(found.lpszProxyBypass);
    } else if (user.typedIn()) {
        WINHTTP_PROXY_INFO named{WINHTTP_ACCESS_TYPE_NAMED_PROXY, user.config.lpszProxy,
                                 user.config.lpszProxyBypass};
        WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &named, sizeof(named));
    }
}

bool fetch(Job &job)
{
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(job.url.c_str(), 0, 0, &parts))
        return false;
    const bool tls = parts.nScheme == INTERNET_SCHEME_HTTPS;
    if (!tls && parts.nScheme != INTERNET_SCHEME_HTTP)
        return false;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty())
        path = L"/";

    const UserProxySettings user;
    bool discoverHere = false;
    const Handle session(openSession(user, discoverHere));
    if (!session.get())
        return false;
    const int limit = static_cast<int>(WinHttpClient::kTransferTimeoutMs);
    WinHttpSetTimeouts(session.get(), limit, limit, limit, limit);
    const Handle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection.get())
        return false;
    // Not closed by a Handle: a cancelling caller may close it first.
    const HINTERNET request =
        WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, tls ? WINHTTP_FLAG_SECURE : 0);
    if (!request)
        return false;
    // Redirects followed up to the cap, never from https to http; no cookies
    // kept between calls (each call is a new session anyway).
    setNumber(request, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, WinHttpClient::kMaxRedirects);
    setNumber(request, WINHTTP_OPTION_REDIRECT_POLICY,
              WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP);
    setNumber(request, WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, WinHttpClient::kMaxHeadBytes);
    setNumber(request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES);
    if (discoverHere)
        discoverProxy(session.get(), request, job.url, user);

    EnterCriticalSection(&job.lock);
    const bool cancelled = job.cancelled;
    job.request = cancelled ? nullptr : request;
    LeaveCriticalSection(&job.lock);
    if (cancelled) {
        WinHttpCloseHandle(request);
        return false;
    }

    bool ok = WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                                 0, 0, 0) &&
              WinHttpReceiveResponse(request, nullptr);
    char buffer[16 * 1024];
    while (ok && job.body.size() < WinHttpClient::kMaxBodyBytes) {
        const size_t room = WinHttpClient::kMaxBodyBytes - job.body.size();
        DWORD read = 0;
        ok = WinHttpReadData(request, buffer,
                             static_cast<DWORD>(room < sizeof(buffer) ? room : sizeof(buffer)),
                             &read);
        if (!ok || read == 0)
            break;
        job.body.append(buffer, read);
    }

    // Closed here unless the caller took it to cancel the transfer.
    EnterCriticalSection(&job.lock);
    if (job.request)
        WinHttpCloseHandle(job.request);
    job.request = nullptr;
    ok = ok && !job.cancelled;
    LeaveCriticalSection(&job.lock);
    return ok;
}

DWORD WINAPI worker(void *parameter)
{
    auto *job = static_cast<Job *>(parameter);
    job->ok = fetch(*job);
    job->release();
    return 0;
}

// Ends a transfer in progress: closing the handle of a synchronous WinHTTP
// call makes that call fail at once on the worker.
void cancel(Job &job)
{
    EnterCriticalSection(&job.lock);
    job.cancelled = true;
    if (job.request)
        WinHttpCloseHandle(job.request);
    job.request = nullptr;
    LeaveCriticalSection(&job.lock);
}

} // namespace

WinHttpClient::WinHttpClient(unsigned transferTimeoutMs) : transferTimeoutMs_(transferTimeoutMs) {}

std::string WinHttpClient::get(const std::string &url)
{
    auto *job = new Job;
    job->url = widetext::Widen(url);
    const HANDLE thread = CreateThread(nullptr, 0, worker, job, 0, nullptr);
    if (!thread) {
        job->release();
        job->release();
        return {};
    }

    // The window's messages go on while the worker waits for the site.
    const ULONGLONG deadline = GetTickCount64() + transferTimeoutMs_;
    bool finished = false;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            break;
        const DWORD wait = MsgWaitForMultipleObjectsEx(
            1, &thread, static_cast<DWORD>(deadline - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (wait == WAIT_OBJECT_0) {
            finished = true;
            break;
        }
        if (wait != WAIT_OBJECT_0 + 1 || !winview::PumpWaiting())
            break;
    }
    std::string body;
    if (finished) {
        if (job->ok)
            body = std::move(job->body);
    } else {
        cancel(*job);
    }
    CloseHandle(thread);
    job->release();
    // Bytes that are not UTF-8 become replacement characters, so the core
    // always gets valid text.
    return ValidUtf8(body);
}
