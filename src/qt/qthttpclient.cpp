#include "qt/qthttpclient.h"

#include "buildinfo.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <curl/curl.h>

#include <map>
#include <memory>
#include <vector>

namespace {

bool curlReady()
{
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

QByteArray userAgent()
{
    return QByteArray("brisko/") + buildinfo::versionText;
}

// One GET on a multi handle of its own, whose sockets and deadlines are
// watched by this thread's event loop.
class Transfer {
public:
    Transfer(const QByteArray &url, bool tls, int timeoutMs, const QByteArray &trusted)
        : multi_(curl_multi_init()), easy_(curl_easy_init())
    {
        timer_.setSingleShot(true);
        // libcurl's own deadlines, the whole transfer's among them, to the
        // millisecond: a coarse timer may fire a twentieth late.
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, &timer_,
                         [this] { act(CURL_SOCKET_TIMEOUT, 0); });
        if (!multi_ || !easy_)
            return;
        curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &Transfer::onSocket);
        curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &Transfer::onTimer);
        curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);

        bool ok = curl_easy_setopt(easy_, CURLOPT_URL, url.constData()) == CURLE_OK;
        auto set = [&](CURLoption option, auto value) {
            ok = ok && curl_easy_setopt(easy_, option, value) == CURLE_OK;
        };
        set(CURLOPT_PROTOCOLS_STR, "http,https");
        // Once on https, every further hop stays on it.
        set(CURLOPT_REDIR_PROTOCOLS_STR, tls ? "https" : "http,https");
        set(CURLOPT_FOLLOWLOCATION, 1L);
        set(CURLOPT_MAXREDIRS, QtHttpClient::kMaxRedirects);
        set(CURLOPT_TIMEOUT_MS, long(timeoutMs));
        // Every encoding libcurl can undo (gzip and deflate among them).
        set(CURLOPT_ACCEPT_ENCODING, "");
        set(CURLOPT_USERAGENT, userAgent().constData());
        set(CURLOPT_SSL_VERIFYPEER, 1L);
        set(CURLOPT_SSL_VERIFYHOST, 2L);
        // Hang up as soon as the answer is in: nothing is kept for a next call.
        set(CURLOPT_FORBID_REUSE, 1L);
        // A name server that never answers must not hold the window past the
        // time-out: the resolver's thread is left to end by itself.
        set(CURLOPT_QUICK_EXIT, 1L);
        set(CURLOPT_WRITEFUNCTION, &Transfer::onBody);
        set(CURLOPT_WRITEDATA, this);
        set(CURLOPT_HEADERFUNCTION, &Transfer::onHead);
        set(CURLOPT_HEADERDATA, this);
        if (!trusted.isEmpty()) {
            curl_blob blob{const_cast<char *>(trusted.constData()), size_t(trusted.size()),
                           CURL_BLOB_COPY};
            set(CURLOPT_CAINFO_BLOB, &blob);
            set(CURLOPT_CAPATH, static_cast<const char *>(nullptr));
        }
        added_ = ok && curl_multi_add_handle(multi_, easy_) == CURLM_OK;
    }

    ~Transfer()
    {
        // Closes the connection; libcurl hands its sockets back meanwhile.
        if (added_)
            curl_multi_remove_handle(multi_, easy_);
        if (easy_)
            curl_easy_cleanup(easy_);
        if (multi_)
            curl_multi_cleanup(multi_);
    }

    Transfer(const Transfer &) = delete;
    Transfer &operator=(const Transfer &) = delete;

    // Waits in the event loop until the transfer has ended; true when the
    // body is all there or was cut at the limit.
    bool run()
    {
        if (!added_)
            return false;
        while (!finished_)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return result_ == CURLE_OK || (result_ == CURLE_WRITE_ERROR && cut_);
    }

    QByteArray body() const { return body_; }

private:
    struct Watch {
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };

    static size_t onBody(char *data, size_t size, size_t count, void *user)
    {
        auto *self = static_cast<Transfer *>(user);
        const size_t length = size * count;
        const size_t room = size_t(QtHttpClient::kMaxBodyBytes - self->body_.size());
        const size_t take = length < room ? length : room;
        self->body_.append(data, qsizetype(take));
        if (take == length)
            return length;
        // Full: the rest of the body is not wanted, and what came is the answer.
        self->cut_ = true;
        return 0;
    }

    static size_t onHead(char *, size_t size, size_t count, void *user)
    {
        auto *self = static_cast<Transfer *>(user);
        const size_t length = size * count;
        self->headBytes_ += qsizetype(length);
        return self->headBytes_ > QtHttpClient::kMaxHeadBytes ? 0 : length;
    }

    static int onSocket(CURL *, curl_socket_t socket, int what, void *user, void *)
    {
        auto *self = static_cast<Transfer *>(user);
        if (what == CURL_POLL_REMOVE) {
            self->retire(socket);
            return 0;
        }
        Watch &watch = self->watches_[socket];
        if (!watch.read) {
            watch.read = self->notifier(socket, QSocketNotifier::Read, CURL_CSELECT_IN);
            watch.write = self->notifier(socket, QSocketNotifier::Write, CURL_CSELECT_OUT);
        }
        watch.read->setEnabled(what & CURL_POLL_IN);
        watch.write->setEnabled(what & CURL_POLL_OUT);
        return 0;
    }

    static int onTimer(CURLM *, long timeoutMs, void *user)
    {
        auto *self = static_cast<Transfer *>(user);
        if (timeoutMs < 0)
            self->timer_.stop();
        else
            self->timer_.start(int(timeoutMs));
        return 0;
    }

    std::unique_ptr<QSocketNotifier> notifier(curl_socket_t socket, QSocketNotifier::Type type,
                                              int event)
    {
        auto n = std::make_unique<QSocketNotifier>(socket, type);
        n->setEnabled(false);
        QObject::connect(n.get(), &QSocketNotifier::activated, n.get(),
                         [this, socket, event] { act(socket, event); });
        return n;
    }

    // libcurl lets go of a socket, perhaps from inside that socket's own
    // notifier: silenced now, deleted with the transfer.
    void retire(curl_socket_t socket)
    {
        auto it = watches_.find(socket);
        if (it == watches_.end())
            return;
        for (auto *n : {&it->second.read, &it->second.write}) {
            (*n)->setEnabled(false);
            retired_.push_back(std::move(*n));
        }
        watches_.erase(it);
    }

    void act(curl_socket_t socket, int events)
    {
        int running = 0;
        curl_multi_socket_action(multi_, socket, events, &running);
        int left = 0;
        while (CURLMsg *message = curl_multi_info_read(multi_, &left)) {
            if (message->msg == CURLMSG_DONE) {
                result_ = message->data.result;
                finished_ = true;
            }
        }
    }

    CURLM *multi_;
    CURL *easy_;
    bool added_ = false;
    bool finished_ = false;
    CURLcode result_ = CURLE_OK;
    QByteArray body_;
    bool cut_ = false;
    qsizetype headBytes_ = 0;
    QTimer timer_;
    std::map<curl_socket_t, Watch> watches_;
    std::vector<std::unique_ptr<QSocketNotifier>> retired_;
};

} // namespace

QtHttpClient::QtHttpClient(int transferTimeoutMs) : transferTimeoutMs_(transferTimeoutMs) {}

void QtHttpClient::trustOnly(const QByteArray &pemCertificates)
{
    trusted_ = pemCertificates;
}

std::string QtHttpClient::get(const std::string &url)
{
    // Bytes that are not UTF-8 become replacement characters, so the text is
    // always valid and the ASCII brackets and digits always survive.
    return QString::fromUtf8(fetch(QString::fromStdString(url))).toStdString();
}

QByteArray QtHttpClient::fetch(const QString &url)
{
    const QUrl target(url);
    const QString scheme = target.scheme();
    if (!target.isValid() || target.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")) || !curlReady())
        return {};
    Transfer transfer(target.toEncoded(), scheme == QLatin1String("https"), transferTimeoutMs_,
                      trusted_);
    return transfer.run() ? transfer.body() : QByteArray();
}
