#include "qt/qthttpclient.h"

#include "buildinfo.h"

#include <QCoreApplication>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace {

// Qt's socket stops reading from the system when this much waits unread, so
// a server can never make it buffer more.
constexpr qint64 kSocketBufferBytes = 64 * 1024;
// A chunk-size line is a hex number and perhaps extensions.
constexpr qsizetype kMaxChunkLineBytes = 1024;

// Reads one HTTP/1.x response from the bytes as they arrive, holding no more
// than the caps allow.
class ResponseReader {
public:
    enum class Outcome { Reading, Done, Redirect, Failed };

    // Takes the bytes that have arrived; what cannot be used yet is kept.
    Outcome feed(const QByteArray &bytes)
    {
        buffer_ += bytes;
        while (outcome_ == Outcome::Reading && step()) {
        }
        if (outcome_ == Outcome::Reading && state_ == State::Head &&
            headBytes_ + buffer_.size() > QtHttpClient::kMaxHeadBytes)
            outcome_ = Outcome::Failed;
        return outcome_;
    }

    // The server closed the connection: the end of a body without a length,
    // a failure anywhere else.
    Outcome closed()
    {
        if (outcome_ == Outcome::Reading)
            outcome_ = state_ == State::UntilClose ? Outcome::Done : Outcome::Failed;
        return outcome_;
    }

    QByteArray body() const { return body_; }
    QByteArray location() const { return location_; }

private:
    enum class State { Head, Length, UntilClose, ChunkSize, ChunkData, ChunkEnd, Trailer };

    // One step forward; false when more bytes are needed.
    bool step()
    {
        switch (state_) {
        case State::Head:
            return readHead();
        case State::Length:
        case State::UntilClose:
        case State::ChunkData:
            return readBody();
        case State::ChunkSize:
            return readChunkSize();
        case State::ChunkEnd: {
            const qsizetype eol = buffer_.indexOf('\n');
            if (eol < 0)
                return failIf(buffer_.size() > 1);
            if (eol > 1 || (eol == 1 && buffer_[0] != '\r'))
                return fail();
            buffer_.remove(0, eol + 1);
            state_ = State::ChunkSize;
            return true;
        }
        case State::Trailer: {
            const qsizetype eol = buffer_.indexOf('\n');
            if (eol < 0)
                return failIf(headBytes_ + buffer_.size() > QtHttpClient::kMaxHeadBytes);
            const bool last = eol == 0 || (eol == 1 && buffer_[0] == '\r');
            headBytes_ += eol + 1;
            buffer_.remove(0, eol + 1);
            if (headBytes_ > QtHttpClient::kMaxHeadBytes)
                return fail();
            if (last)
                outcome_ = Outcome::Done;
            return !last;
        }
        }
        return false;
    }

    bool fail()
    {
        outcome_ = Outcome::Failed;
        return false;
    }
    bool failIf(bool cond) { return cond ? fail() : false; }

    bool readHead()
    {
        qsizetype end = buffer_.indexOf("\r\n\r\n");
        qsizetype sep = 4;
        const qsizetype bare = buffer_.indexOf("\n\n");
        if (bare >= 0 && (end < 0 || bare < end)) {
            end = bare;
            sep = 2;
        }
        if (end < 0)
            return false;
        headBytes_ += end + sep;
        if (headBytes_ > QtHttpClient::kMaxHeadBytes)
            return fail();
        const QByteArray head = buffer_.left(end);
        buffer_.remove(0, end + sep);
        return parseHead(head);
    }

    bool parseHead(const QByteArray &head)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QByteArray status = lines.first().trimmed();
        // "HTTP/1.1 200 OK"
        if (!status.startsWith("HTTP/1.") || status.size() < 12 || status[8] != ' ')
            return fail();
        bool ok = false;
        const int code = status.mid(9, 3).toInt(&ok);
        if (!ok || code < 100 || code > 999)
            return fail();
        if (code < 200)
            return code != 101 || fail(); // an interim answer: the real one follows

        bool chunked = false;
        qint64 length = -1;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray &line = lines[i];
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "transfer-encoding") {
                chunked = value.toLower().endsWith("chunked");
            } else if (name == "content-length") {
                const qint64 n = value.toLongLong(&ok);
                if (!ok || n < 0 || (length >= 0 && n != length))
                    return fail();
                length = n;
            } else if (name == "location") {
                location_ = value;
            }
        }
        const bool redirect =
            (code == 301 || code == 302 || code == 303 || code == 307 || code == 308);
        if (redirect && !location_.isEmpty()) {
            outcome_ = Outcome::Redirect;
            return false;
        }
        if (code == 204 || code == 304 || (!chunked && length == 0)) {
            outcome_ = Outcome::Done;
            return false;
        }
        if (chunked) {
            state_ = State::ChunkSize;
        } else if (length > 0) {
            state_ = State::Length;
            remaining_ = length;
        } else {
            state_ = State::UntilClose;
        }
        return true;
    }

    bool readChunkSize()
    {
        const qsizetype eol = buffer_.indexOf('\n');
        if (eol < 0)
            return failIf(buffer_.size() > kMaxChunkLineBytes);
        if (eol > kMaxChunkLineBytes)
            return fail();
        QByteArray line = buffer_.left(eol);
        buffer_.remove(0, eol + 1);
        const qsizetype semicolon = line.indexOf(';');
        if (semicolon >= 0)
            line.truncate(semicolon);
        bool ok = false;
        const qint64 size = line.trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0)
            return fail();
        if (size == 0) {
            state_ = State::Trailer;
        } else {
            state_ = State::ChunkData;
            remaining_ = size;
        }
        return true;
    }

    // Body bytes, of a known length, a chunk, or until the server closes.
    bool readBody()
    {
        if (buffer_.isEmpty())
            return false;
        qsizetype take = buffer_.size();
        if (state_ != State::UntilClose)
            take = qsizetype(qMin<qint64>(take, remaining_));
        const qsizetype room = QtHttpClient::kMaxBodyBytes - body_.size();
        body_ += buffer_.left(qMin(take, room));
        buffer_.remove(0, take);
        remaining_ -= take;
        // Full: the rest of the body is not wanted.
        if (body_.size() >= QtHttpClient::kMaxBodyBytes) {
            outcome_ = Outcome::Done;
            return false;
        }
        if (state_ == State::Length && remaining_ == 0) {
            outcome_ = Outcome::Done;
            return false;
        }
        if (state_ == State::ChunkData && remaining_ == 0)
            state_ = State::ChunkEnd;
        return true;
    }

    Outcome outcome_ = Outcome::Reading;
    State state_ = State::Head;
    QByteArray buffer_;
    QByteArray body_;
    QByteArray location_;
    qsizetype headBytes_ = 0;
    qint64 remaining_ = 0;
};

bool isWebUrl(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

QByteArray requestFor(const QUrl &url)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    return "GET " + target + " HTTP/1.1\r\nHost: " +
           url.authority(QUrl::RemoveUserInfo | QUrl::FullyEncoded).toLatin1() +
           "\r\nUser-Agent: brisko/" + QByteArray(buildinfo::versionText) +
           "\r\nAccept: */*\r\nAccept-Encoding: identity\r\nConnection: close\r\n\r\n";
}

} // namespace

QtHttpClient::QtHttpClient(int transferTimeoutMs) : transferTimeoutMs_(transferTimeoutMs) {}

std::string QtHttpClient::get(const std::string &url)
{
    // Bytes that are not UTF-8 become replacement characters, so the text is
    // always valid and the ASCII brackets and digits always survive.
    return QString::fromUtf8(fetch(QString::fromStdString(url))).toStdString();
}

QByteArray QtHttpClient::fetch(const QString &url)
{
    QUrl target(url);
    if (!isWebUrl(target))
        return {};

    // Counts the whole transfer, redirects included: a server that drips
    // bytes never lets a per-read time-out expire.
    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &deadline, [&timedOut] { timedOut = true; });
    deadline.start(transferTimeoutMs_);

    for (int redirects = 0;; ++redirects) {
        const bool tls = target.scheme() == QLatin1String("https");
        if (tls && !QSslSocket::supportsSsl())
            return {};
        std::unique_ptr<QTcpSocket> socket;
        if (tls)
            socket = std::make_unique<QSslSocket>();
        else
            socket = std::make_unique<QTcpSocket>();
        socket->setReadBufferSize(kSocketBufferBytes);

        ResponseReader reader;
        ResponseReader::Outcome outcome = ResponseReader::Outcome::Reading;
        const QByteArray request = requestFor(target);
        QTcpSocket *s = socket.get();
        // Receives the socket's signals for this attempt only.
        auto listener = std::make_unique<QObject>();
        QObject *l = listener.get();
        auto pump = [&] {
            while (outcome == ResponseReader::Outcome::Reading && s->bytesAvailable() > 0)
                outcome = reader.feed(s->read(kSocketBufferBytes));
        };
        auto closed = [&] {
            pump();
            outcome = reader.closed();
        };
        QObject::connect(s, &QTcpSocket::readyRead, l, pump);
        QObject::connect(s, &QTcpSocket::disconnected, l, closed);
        QObject::connect(s, &QAbstractSocket::errorOccurred, l,
                         [&](QAbstractSocket::SocketError error) {
                             if (error == QAbstractSocket::RemoteHostClosedError)
                                 closed();
                             else if (outcome == ResponseReader::Outcome::Reading)
                                 outcome = ResponseReader::Outcome::Failed;
                         });
        const quint16 port = quint16(target.port(tls ? 443 : 80));
        if (tls) {
            auto *ssl = static_cast<QSslSocket *>(s);
            QObject::connect(ssl, &QSslSocket::encrypted, l,
                             [ssl, &request] { ssl->write(request); });
            ssl->connectToHostEncrypted(target.host(), port);
        } else {
            QObject::connect(s, &QTcpSocket::connected, l, [s, &request] { s->write(request); });
            s->connectToHost(target.host(), port);
        }

        // Sleeps until something happens; the rest of the program keeps running.
        while (outcome == ResponseReader::Outcome::Reading && !timedOut)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // Hang up at once, whatever is still on its way.
        listener.reset();
        s->abort();
        socket.reset();

        if (timedOut || outcome == ResponseReader::Outcome::Failed)
            return {};
        if (outcome == ResponseReader::Outcome::Done)
            return reader.body();

        const QUrl next = target.resolved(QUrl::fromEncoded(reader.location()));
        const bool downgrade = tls && next.scheme() != QLatin1String("https");
        if (redirects == kMaxRedirects || !isWebUrl(next) || downgrade)
            return {};
        target = next;
    }
}
