#pragma once

#include "core/platform/services.h"

#include <cstddef>

// The version query over WinHTTP. The request runs on a worker thread while
// the calling thread keeps dispatching its windows' messages, so timers,
// clicks and painting go on during the wait, as with the Linux client. It goes
// through the user's proxy, as the browser does: the proxy, configuration
// script or detection of the user's Internet settings.
class WinHttpClient : public HttpClient {
public:
    // Longest a whole transfer may take, from the request to the last byte.
    static constexpr unsigned kTransferTimeoutMs = 10000;
    // A version file is a few hundred bytes; anything past this is cut off.
    static constexpr std::size_t kMaxBodyBytes = 1024 * 1024;
    static constexpr unsigned kMaxHeadBytes = 64 * 1024;
    static constexpr unsigned kMaxRedirects = 5;

    explicit WinHttpClient(unsigned transferTimeoutMs = kTransferTimeoutMs);
    // The body whatever the HTTP status, at most kMaxBodyBytes of it; "" when
    // no answer came (refused, unresolved, TLS failure, time-out, cut off).
    std::string get(const std::string &url) override;

private:
    unsigned transferTimeoutMs_;
};
