#pragma once

#include "core/platform/services.h"

#include <QByteArray>
#include <QString>

// The real HTTP client: libcurl, driven by this thread's Qt event loop, so
// get() returns only once the transfer has ended while timers, clicks and
// painting go on meanwhile. No thread, socket or buffer is left behind once
// get() has returned. The proxy is the environment's, read by libcurl:
// https_proxy (or HTTPS_PROXY) for https, http_proxy (lower case only) for
// http, all_proxy for both, no_proxy for the exceptions. Each get() is a fresh
// connection with no state kept between calls: no cookies, no cache.
class QtHttpClient : public HttpClient {
public:
    // Longest a whole transfer may take, from the request to the last byte,
    // redirects and the proxy included. A server that accepts and then stalls
    // must not hold the start-up for ever.
    static constexpr int kTransferTimeoutMs = 10000;
    // A version file is a few hundred bytes; anything past this is cut off
    // (counted after gzip or deflate is undone).
    static constexpr qsizetype kMaxBodyBytes = 1024 * 1024;
    // Status lines and headers of one transfer together (interim answers,
    // redirects, the proxy's answer and chunk trailers included); more than
    // this and the transfer fails.
    static constexpr qsizetype kMaxHeadBytes = 64 * 1024;
    // Redirects followed, never from https to http.
    static constexpr long kMaxRedirects = 5;

    explicit QtHttpClient(int transferTimeoutMs = kTransferTimeoutMs);

    // Returns the body whatever the HTTP status, at most kMaxBodyBytes of it;
    // empty when no answer came (refused, unresolved, TLS failure, time-out,
    // connection lost before the end, headers past their cap).
    QByteArray fetch(const QString &url);
    // The body as UTF-8 text, for the core.
    std::string get(const std::string &url) override;

    // Trusts these PEM certificates alone instead of the system's, for a test
    // against a server of its own.
    void trustOnly(const QByteArray &pemCertificates);

private:
    int transferTimeoutMs_;
    QByteArray trusted_;
};
