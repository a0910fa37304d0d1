#pragma once

#include "platform/services.h"

// The real HTTP client, over Qt's network access. Each get() is a fresh
// request with no state kept between calls: no cookies, no cache.
class QtHttpClient : public HttpClient {
public:
    // Longest a whole transfer may take, from the request to the last byte. A
    // server that accepts and then stalls must not hold the start-up for ever.
    static constexpr int kTransferTimeoutMs = 10000;
    // A version file is a few hundred bytes; anything past this is cut off.
    static constexpr qsizetype kMaxBodyBytes = 1024 * 1024;

    explicit QtHttpClient(int transferTimeoutMs = kTransferTimeoutMs);

    // Returns the body whatever the HTTP status, at most kMaxBodyBytes of it;
    // empty when no answer came (refused, unresolved, TLS failure, time-out,
    // connection lost before the end).
    QByteArray get(const QString &url) override;

private:
    int transferTimeoutMs_;
};
