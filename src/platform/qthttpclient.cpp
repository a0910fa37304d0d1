#include "platform/qthttpclient.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace {

// True when the server answered with a status line, so the body is its answer
// even for an error page; false for failures below HTTP (no connection, lost
// connection, TLS, our own abort).
bool serverAnswered(const QNetworkReply &reply)
{
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const int e = reply.error();
    const bool contentError =
        e >= QNetworkReply::ContentAccessDenied && e <= QNetworkReply::UnknownContentError;
    const bool serverError =
        e >= QNetworkReply::InternalServerError && e <= QNetworkReply::UnknownServerError;
    return e == QNetworkReply::NoError || contentError || serverError;
}

} // namespace

QtHttpClient::QtHttpClient(int transferTimeoutMs) : transferTimeoutMs_(transferTimeoutMs) {}

QByteArray QtHttpClient::get(const QString &url)
{
    const QUrl target(url);
    if (!target.isValid() || target.isRelative())
        return {};

    // A manager per call: nothing (cookies, connections) carries over.
    QNetworkAccessManager manager;
    QNetworkRequest request(target);
    QNetworkReply *reply = manager.get(request);

    QByteArray body;
    bool cutOff = false;
    bool timedOut = false;

    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        body += reply->read(kMaxBodyBytes - body.size());
        if (body.size() >= kMaxBodyBytes && !reply->isFinished()) {
            cutOff = true;
            reply->abort();
        }
    });

    // Qt's own transfer time-out restarts with every byte, so a server that
    // drips could hold us for ever; this one counts the whole transfer.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, reply, [&] {
        if (reply->isFinished())
            return;
        timedOut = true;
        reply->abort();
    });
    deadline.start(transferTimeoutMs_);

    // Sleeps until something happens; the rest of the program keeps running.
    while (!reply->isFinished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    deadline.stop();

    if (timedOut)
        return {};
    if (!cutOff) {
        if (!serverAnswered(*reply))
            return {};
        body += reply->read(kMaxBodyBytes - body.size());
    }
    return body;
}
