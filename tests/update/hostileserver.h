#pragma once

// A server on 127.0.0.1 that answers every request with something no client
// should swallow whole. It runs on a thread of its own, sending as fast as the
// client reads, so the client's caps (not the server's pace) must end it.

#include <QByteArray>
#include <QString>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

class HostileServer {
public:
    enum class Mode {
        EndlessChunkedBody,
        EndlessHeaderLines,
        OneEndlessHeader,
        EndlessInterimAnswers, // "100 Continue", over and over
        ManyCookies,           // 20,000 Set-Cookie lines, then a proper body
        DrippedHeaders,        // one header byte every 20 ms
    };

    explicit HostileServer(Mode mode) : mode_(mode)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(listener_, reinterpret_cast<sockaddr *>(&addr), len) == 0 &&
            ::listen(listener_, 4) == 0 &&
            ::getsockname(listener_, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
            port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serveOne(); });
    }

    ~HostileServer()
    {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }
    // True once the client has hung up (a send failed or it closed).
    bool clientHungUp() const { return hungUp_; }
    long long bytesSent() const { return sent_; }
    // The kernel's id of the server's thread, to leave out of the client's CPU.
    long threadId() const { return tid_; }

private:
    void serveOne()
    {
        tid_ = long(::syscall(SYS_gettid));
        const int c = ::accept(listener_, nullptr, nullptr);
        if (c < 0)
            return;
        timeval wait{0, 100 * 1000};
        ::setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char request[4096];
        ssize_t got = -1;
        while (!stop_ && (got = ::recv(c, request, sizeof request, 0)) < 0 &&
               (errno == EAGAIN || errno == EWOULDBLOCK)) {
        }
        if (got <= 0) {
            hungUp_ = true;
            ::close(c);
            return;
        }
        const QByteArray line = "X-Filler: " + QByteArray(100, 'a') + "\r\n";
        QByteArray first;
        QByteArray repeat;
        switch (mode_) {
        case Mode::EndlessChunkedBody:
            first = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
            repeat = "4000\r\n" + QByteArray(0x4000, '[') + "\r\n";
            break;
        case Mode::EndlessHeaderLines:
            first = "HTTP/1.1 200 OK\r\n";
            repeat = line.repeated(100);
            break;
        case Mode::OneEndlessHeader:
            first = "HTTP/1.1 200 OK\r\nX-Long: ";
            repeat = QByteArray(64 * 1024, 'a');
            break;
        case Mode::EndlessInterimAnswers:
            repeat = QByteArray("HTTP/1.1 100 Continue\r\n\r\n").repeated(100);
            break;
        case Mode::ManyCookies:
            first = "HTTP/1.1 200 OK\r\n";
            for (int i = 0; i < 20000; ++i)
                first += "Set-Cookie: c" + QByteArray::number(i) + "=" + QByteArray(40, 'v') +
                         "; Path=/\r\n";
            first += "Content-Length: 5\r\nConnection: close\r\n\r\n[123]";
            break;
        case Mode::DrippedHeaders:
            first = "HTTP/1.1 200 OK\r\n";
            repeat = "X";
            break;
        }
        bool ok = sendAll(c, first);
        while (ok && !stop_ && !repeat.isEmpty()) {
            ok = sendAll(c, repeat);
            if (mode_ == Mode::DrippedHeaders)
                ::usleep(20 * 1000);
        }
        // A server that has said all it will: wait for the client to go.
        char byte;
        while (ok && !stop_) {
            const ssize_t n = ::recv(c, &byte, 1, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
                ok = false;
        }
        if (!ok)
            hungUp_ = true;
        ::close(c);
    }

    bool sendAll(int c, const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size() && !stop_) {
            const ssize_t n =
                ::send(c, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                continue; // the client is slow; check stop_ and go on
            if (n <= 0)
                return false;
            done += n;
            sent_ += n;
        }
        return true;
    }

    Mode mode_;
    int listener_ = -1;
    quint16 port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};
    std::atomic<long long> sent_{0};
    std::atomic<long> tid_{0};
};
