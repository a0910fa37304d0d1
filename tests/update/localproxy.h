#pragma once

// A small web proxy on 127.0.0.1 for the tests, on the test's own event loop:
// CONNECT tunnels for https, absolute-address GETs for plain http. Whatever
// host a request names, the proxy connects to 127.0.0.1 at the port it names,
// so a vendor host name that resolves nowhere is reachable through it alone.

#include <QByteArray>
#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

class LocalProxy {
public:
    LocalProxy()
    {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket *client = server_.nextPendingConnection()) {
                QObject::connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
                QObject::connect(client, &QTcpSocket::readyRead, client,
                                 [this, client] { readRequest(client); });
            }
        });
        server_.listen(QHostAddress::LocalHost, 0);
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }

    // Request lines seen, such as "CONNECT vendor.brisko.invalid:443 HTTP/1.1".
    QStringList requests;
    // Answers every request with 403 instead of passing it on.
    bool refuse = false;

private:
    void readRequest(QTcpSocket *client)
    {
        if (client->property("tunnel").toBool())
            return;
        QByteArray seen = client->property("seen").toByteArray() + client->readAll();
        const qsizetype end = seen.indexOf("\r\n\r\n");
        client->setProperty("seen", seen);
        if (end < 0)
            return;
        client->setProperty("tunnel", true);
        const QByteArray line = seen.left(seen.indexOf("\r\n"));
        requests << QString::fromLatin1(line);
        const QList<QByteArray> parts = line.split(' ');
        if (refuse || parts.size() != 3) {
            client->write("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
            client->disconnectFromHost();
            return;
        }
        const bool tunnel = parts[0] == "CONNECT";
        const QUrl target(tunnel ? "//" + parts[1] : parts[1]);
        QByteArray forward = seen.mid(end + 4);
        if (!tunnel) // the same request, as a server expects it
            forward = parts[0] + ' ' + target.path(QUrl::FullyEncoded).toLatin1() + ' ' + parts[2] +
                      seen.mid(line.size());

        auto *upstream = new QTcpSocket(client);
        QObject::connect(upstream, &QTcpSocket::connected, client,
                         [client, upstream, tunnel, forward] {
                             if (tunnel)
                                 client->write("HTTP/1.1 200 Connection established\r\n\r\n");
                             upstream->write(forward);
                             upstream->write(client->readAll());
                         });
        QObject::connect(client, &QTcpSocket::readyRead, upstream, [client, upstream] {
            if (upstream->state() == QAbstractSocket::ConnectedState)
                upstream->write(client->readAll());
        });
        QObject::connect(upstream, &QTcpSocket::readyRead, client,
                         [client, upstream] { client->write(upstream->readAll()); });
        QObject::connect(upstream, &QTcpSocket::disconnected, client,
                         &QTcpSocket::disconnectFromHost);
        QObject::connect(upstream, &QTcpSocket::errorOccurred, client,
                         &QTcpSocket::disconnectFromHost);
        QObject::connect(client, &QTcpSocket::disconnected, upstream,
                         &QTcpSocket::disconnectFromHost);
        upstream->connectToHost(QHostAddress::LocalHost, quint16(target.port(80)));
    }

    QTcpServer server_;
};
