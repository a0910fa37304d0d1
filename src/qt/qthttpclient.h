#pragma once

#include "core/platform/services.h"

#include <QByteArray>
#include <QString>

// The real HTTP client: a plain HTTP/1.1 GET over a socket of this thread, so
// that every byte the server sends passes through caps this class sets. Qt's
// network access manager reads on a thread of its own, keeps reading headers
// without bound and cannot always be stopped; this client leaves no thread,
// socket or buffer behind once get() has returned. Each get() is a fresh
// connection with no state kept between calls: no cookies, no cache.
class QtHttpClient : public HttpClient {
public:
    // Longest a whole transfer may take, from the request to the last byte. A
    // server that accepts and then stalls must not hold the start-up for ever.
    static constexpr int kTransferTimeoutMs = 10000;
    // A version file is a few hundred bytes; anything past this is cut off.
    static constexpr qsizetype kMaxBodyBytes = 1024 * 1024;
    // Status lines and headers of one transfer together (interim answers and
    // chunk trailers included); more than this and the transfer fails.
    static constexpr qsizetype kMaxHeadBytes = 64 * 1024;
    // Redirects followed, never from https to http.
    static constexpr int kMaxRedirects = 5;

    explicit QtHttpClient(int transferTimeoutMs = kTransferTimeoutMs);

    // Returns the body whatever the HTTP status, at most kMaxBodyBytes of it;
    // empty when no answer came (refused, unresolved, TLS failure, time-out,
    // connection lost before the end, headers past their cap).
    QByteArray fetch(const QString &url);
    // The body as UTF-8 text, for the core.
    std::string get(const std::string &url) override;

private:
    int transferTimeoutMs_;
};
