// The version query through the real HTTP client, against a server on
// 127.0.0.1 that this test runs itself.

#include "core/update/versionquery.h"
#include "hostileserver.h"
#include "localhttpserver.h"
#include "localproxy.h"
#include "qt/qthttpclient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// The core's query over the real client, in Qt's text.
QString FetchPageText(HttpClient &http, const QString &url)
{
    return QString::fromStdString(http.get(url.toStdString()));
}
QString CheckNewVersion(HttpClient &http, const QString &vendorUrl, double own)
{
    return QString::fromStdString(::CheckNewVersion(http, vendorUrl.toStdString(), own));
}
double FetchNewestVersionNumber(HttpClient &http, const QString &vendorUrl)
{
    return ::FetchNewestVersionNumber(http, vendorUrl.toStdString());
}
QString VersionFileUrl(const QString &vendorUrl)
{
    return QString::fromStdString(::VersionFileUrl(vendorUrl.toStdString()));
}

const QString kVersionPath = QStringLiteral("/brk/newver.htm");

// Short, so the tests of servers that never finish end soon.
constexpr int kTestTimeoutMs = 1000;
constexpr double kOwn = 122;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

QStringList taskIds()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

// CPU seconds used so far by this process's threads, all but one.
double threadsCpuSeconds(long leaveOut)
{
    double total = 0;
    for (const QString &id : taskIds()) {
        if (id.toLong() == leaveOut)
            continue;
        QFile f(QStringLiteral("/proc/self/task/%1/stat").arg(id));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        // Fields after the name: state is the first, utime the 12th, stime the 13th.
        const QList<QByteArray> rest = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 12)
            total += double(rest[11].toLongLong() + rest[12].toLongLong()) / sysconf(_SC_CLK_TCK);
    }
    return total;
}

qint64 statusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Starts a new peak of the resident set (VmHWM) from what is resident now.
void resetPeakMemory()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// The proxy variables a session may set; each test starts with none.
const char *const kProxyVariables[] = {"http_proxy", "https_proxy", "all_proxy", "no_proxy",
                                       "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY"};
void clearProxyVariables()
{
    for (const char *name : kProxyVariables)
        qunsetenv(name);
}

const QString kVendorHost = QStringLiteral("vendor.brisko.invalid");

} // namespace

class TestVersionQuery : public QObject {
    Q_OBJECT
private slots:
    void init() { clearProxyVariables(); }
    void serverAnswers_data();
    void serverAnswers();
    void slowButInTime_data();
    void slowButInTime();
    void noAnswerInTime_data();
    void noAnswerInTime();
    void refusedConnectionFailsAtOnce();
    void bodyIsCutAtTheLimit_data();
    void bodyIsCutAtTheLimit();
    void certificates_data();
    void certificates();
    void redirects_data();
    void redirects();
    void framings_data();
    void framings();
    void hostileServer_data();
    void hostileServer();
    void proxy_data();
    void proxy();
};

void TestVersionQuery::serverAnswers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("newer");

    QTest::newRow("newer") << 200 << QByteArray("<html><body>[123]</body></html>") << "123";
    QTest::newRow("same is not newer") << 200 << QByteArray("[122]") << "";
    QTest::newRow("older") << 200 << QByteArray("[121]") << "";
    QTest::newRow("four digits") << 200 << QByteArray("now [1234] out") << "1234";
    QTest::newRow("fraction") << 200 << QByteArray("[122.5]") << "122.5";
    QTest::newRow("blanks and capitals kept")
        << 200 << QByteArray("  [ 1 2 3 X]  ") << QStringLiteral(" 1 2 3 x");
    QTest::newRow("error page's body counts")
        << 404 << QByteArray("<h1>Not Found</h1><!-- [123] -->") << "123";
    QTest::newRow("server error page") << 500 << QByteArray("oops [130]") << "130";
    QTest::newRow("no brackets") << 200 << QByteArray("<html>1.2.3</html>") << "";
    QTest::newRow("empty page") << 200 << QByteArray() << "";
    QTest::newRow("GBK text around")
        << 200 << QByteArray("\xd7\xee\xd0\xc2\xb0\xe6\xb1\xbe[123]\xb0\xe6") << "123";
    QTest::newRow("NULs and binary bytes")
        << 200 << QByteArray("\0\x01\xff\xfe[124]\0", 10) << "124";
    // Beyond any double: read as the largest one, so it counts as newer.
    QTest::newRow("beyond a double") << 200 << QByteArray("[1e999]") << "1e999";
}

void TestVersionQuery::serverAnswers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, newer);

    LocalHttpServer server;
    QVERIFY(server.isListening());
    server.setReply(kVersionPath, {status, body});
    QtHttpClient http(kTestTimeoutMs);

    QCOMPARE(http.fetch(server.url(kVersionPath)), body);
    QCOMPARE(FetchPageText(http, server.url(kVersionPath)), QString::fromUtf8(body));
    QCOMPARE(CheckNewVersion(http, server.baseUrl(), kOwn), newer);
    QCOMPARE(server.requests.last(), QStringLiteral("GET /brk/newver.htm HTTP/1.1"));
    QVERIFY(server.lastHead.contains("gzip") && server.lastHead.contains("deflate"));
}

void TestVersionQuery::slowButInTime_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("stepMs");
    QTest::newRow("answers late") << int(LocalHttpServer::Mode::Delayed) << 300;
    QTest::newRow("drips quickly") << int(LocalHttpServer::Mode::Drip) << 20;
}

void TestVersionQuery::slowButInTime()
{
    QFETCH(int, mode);
    QFETCH(int, stepMs);

    LocalHttpServer server;
    const QByteArray body("x[123]y");
    server.setReply(kVersionPath, {200, body, LocalHttpServer::Mode(mode), stepMs});
    QtHttpClient http(2000);
    QCOMPARE(http.fetch(server.url(kVersionPath)), body);
}

void TestVersionQuery::noAnswerInTime_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("stepMs");
    QTest::newRow("accepts, never answers") << int(LocalHttpServer::Mode::Silent) << 0;
    // Every byte arrives well within the time-out; the whole does not.
    QTest::newRow("drips") << int(LocalHttpServer::Mode::Drip) << 200;
}

void TestVersionQuery::noAnswerInTime()
{
    QFETCH(int, mode);
    QFETCH(int, stepMs);

    LocalHttpServer server;
    server.setReply(kVersionPath,
                    {200, "[123]" + QByteArray(200, ' '), LocalHttpServer::Mode(mode), stepMs});
    QtHttpClient http(kTestTimeoutMs);

    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = cpuSeconds();
    const QByteArray body = http.fetch(server.url(kVersionPath));
    const double cpu = cpuSeconds() - cpuBefore;
    const qint64 elapsed = wall.elapsed();

    QVERIFY(body.isEmpty());
    QVERIFY2(elapsed >= kTestTimeoutMs - 50 && elapsed < kTestTimeoutMs + 1500,
             qPrintable(QString::number(elapsed)));
    // The wait sleeps in the event loop; a busy poll would burn the whole second.
    qInfo("waited %lld ms, CPU %.1f ms", elapsed, cpu * 1000);
    // A busy poll would use the whole wait; sanitizers slow every event down.
    const double share = kSanitized ? 0.6 : 0.25;
    QVERIFY2(cpu < share * elapsed / 1000.0, qPrintable(QString::number(cpu)));
    QCOMPARE(CheckNewVersion(http, server.baseUrl(), kOwn), QString());
}

void TestVersionQuery::refusedConnectionFailsAtOnce()
{
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(LocalHttpServer::closedPort());
    QtHttpClient http(5000);
    QElapsedTimer wall;
    wall.start();
    QCOMPARE(http.fetch(VersionFileUrl(base)), QByteArray());
    QCOMPARE(CheckNewVersion(http, base, kOwn), QString());
    QVERIFY2(wall.elapsed() < 2000, qPrintable(QString::number(wall.elapsed())));
}

void TestVersionQuery::bodyIsCutAtTheLimit_data()
{
    const qsizetype limit = QtHttpClient::kMaxBodyBytes;
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("newer");
    QTest::addColumn<bool>("deflated");
    QTest::newRow("exactly the limit") << ("[123]" + QByteArray(limit - 5, 'a')) << "123" << false;
    QTest::newRow("twice the limit, number first")
        << ("[123]" + QByteArray(2 * limit, 'a')) << "123" << false;
    QTest::newRow("number past the limit") << (QByteArray(limit, 'a') + "[123]") << "" << false;
    QTest::newRow("large, no brackets") << QByteArray(limit + 1, '\0') << "" << false;
    // 32 kB on the wire: the limit counts what it unpacks to.
    QTest::newRow("deflated 32 MB") << ("[123]" + QByteArray(32 * limit, 'a')) << "123" << true;
}

void TestVersionQuery::bodyIsCutAtTheLimit()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, newer);
    QFETCH(bool, deflated);

    LocalHttpServer server;
    if (deflated) {
        const QByteArray packed = qCompress(body).mid(4); // a zlib stream
        server.setReply(kVersionPath,
                        {0,
                         "HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nContent-Length: " +
                             QByteArray::number(packed.size()) + "\r\n\r\n" + packed,
                         LocalHttpServer::Mode::Raw});
    } else {
        server.setReply(kVersionPath, {200, body});
    }
    QtHttpClient http(10000);
    QCOMPARE(http.fetch(server.url(kVersionPath)), body.left(QtHttpClient::kMaxBodyBytes));
    QCOMPARE(CheckNewVersion(http, server.baseUrl(), kOwn), newer);
}

void TestVersionQuery::certificates_data()
{
    QTest::addColumn<QByteArray>("certificate");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("trusted");
    QTest::addColumn<bool>("answered");
    const QByteArray signedKey(kSignedKeyPem);
    const QByteArray ca(kTestCaPem);
    QTest::newRow("signed by a trusted authority")
        << QByteArray(kVendorPem) << signedKey << ca << true;
    QTest::newRow("the system's authorities only")
        << QByteArray(kVendorPem) << signedKey << QByteArray() << false;
    QTest::newRow("self-signed") << QByteArray(kSelfSignedPem) << QByteArray(kSelfSignedKeyPem)
                                 << ca << false;
    QTest::newRow("another host's") << QByteArray(kElsewherePem) << signedKey << ca << false;
    QTest::newRow("expired") << QByteArray(kExpiredPem) << signedKey << ca << false;
}

// A certificate that does not vouch for the site is a failed request, refused
// before the request is sent, not a page.
void TestVersionQuery::certificates()
{
    QFETCH(QByteArray, certificate);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, trusted);
    QFETCH(bool, answered);

    LocalHttpServer server(certificate.constData(), key.constData());
    QVERIFY(server.isListening());
    server.setReply(kVersionPath, {200, "[123]"});
    QtHttpClient http(5000);
    if (!trusted.isEmpty())
        http.trustOnly(trusted);
    QCOMPARE(CheckNewVersion(http, server.baseUrl(), kOwn), answered ? "123" : "");
    QCOMPARE(server.requests.size(), answered ? 1 : 0);
}

void TestVersionQuery::redirects_data()
{
    QTest::addColumn<int>("hops");
    QTest::addColumn<bool>("downgrade");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("five") << 5 << false << QByteArray("[123]");
    QTest::newRow("six are too many") << 6 << false << QByteArray();
    QTest::newRow("never from https to http") << 1 << true << QByteArray();
}

// A chain of redirects, /r1 to /rN, then the version file; the downgrade
// starts on https and ends on a plain server.
void TestVersionQuery::redirects()
{
    QFETCH(int, hops);
    QFETCH(bool, downgrade);
    QFETCH(QByteArray, body);

    LocalHttpServer plain;
    LocalHttpServer secure(kVendorPem);
    LocalHttpServer &first = downgrade ? secure : plain;
    for (int i = 1; i <= hops; ++i) {
        const QString next = i < hops ? QStringLiteral("/r%1").arg(i + 1) : plain.url(kVersionPath);
        first.setReply(
            QStringLiteral("/r%1").arg(i),
            {0,
             "HTTP/1.1 302 Found\r\nLocation: " + next.toLatin1() + "\r\nContent-Length: 0\r\n\r\n",
             LocalHttpServer::Mode::Raw});
    }
    plain.setReply(kVersionPath, {200, "[123]"});
    QtHttpClient http(kTestTimeoutMs);
    http.trustOnly(kTestCaPem);
    QCOMPARE(http.fetch(first.url(QStringLiteral("/r1"))), body);
    QCOMPARE(plain.requests.contains(QStringLiteral("GET /brk/newver.htm HTTP/1.1")),
             !body.isEmpty());
}

void TestVersionQuery::framings_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("body");
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    QTest::newRow("chunked, extensions and trailer")
        << (ok + "Transfer-Encoding: chunked\r\n\r\n3;x=1\r\nab[\r\n4\r\n123]\r\n0\r\n"
                 "X-Trailer: 1\r\n\r\n")
        << QByteArray("ab[123]");
    QTest::newRow("until the server closes") << (ok + "\r\nx[123]y") << QByteArray("x[123]y");
    QTest::newRow("bare line feeds")
        << QByteArray("HTTP/1.0 200 OK\nContent-Length: 5\n\n[123]") << QByteArray("[123]");
    QTest::newRow("interim answers first")
        << ("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: x\r\n\r\n" + ok +
            "Content-Length: 5\r\n\r\n[123]")
        << QByteArray("[123]");
    QTest::newRow("length past what is sent")
        << (ok + "Content-Length: 50\r\n\r\n[123]") << QByteArray();
    QTest::newRow("chunked, cut short")
        << (ok + "Transfer-Encoding: chunked\r\n\r\n5\r\n[123]\r\n") << QByteArray();
    QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH\r\n\r\n") << QByteArray();
    QTest::newRow("no content") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n") << QByteArray();
    const QByteArray line = "X-Filler: " + QByteArray(88, 'a') + "\r\n"; // 100 bytes
    QTest::newRow("60 kB of headers")
        << (ok + line.repeated(600) + "Content-Length: 5\r\n\r\n[123]") << QByteArray("[123]");
    QTest::newRow("headers past 64 kB")
        << (ok + line.repeated(660) + "Content-Length: 5\r\n\r\n[123]") << QByteArray();
    const QByteArray gzip("\x1f\x8b\x08\0\0\0\0\0\x02\x03\xab\x88\x36\x34\x32\x8e\xad\x04\0"
                          "\x52\xa9\x20\xe2\x07\0\0\0",
                          27);
    QTest::newRow("gzip") << (ok + "Content-Encoding: gzip\r\nContent-Length: 27\r\n\r\n" + gzip)
                          << QByteArray("x[123]y");
    const QByteArray deflate = qCompress(QByteArray("x[123]y")).mid(4);
    QTest::newRow("deflate") << (ok + "Content-Encoding: deflate\r\n\r\n" + deflate)
                             << QByteArray("x[123]y");
}

// The ways a body can be framed, and answers cut short.
void TestVersionQuery::framings()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, body);
    LocalHttpServer server;
    server.setReply(kVersionPath, {200, answer, LocalHttpServer::Mode::Raw});
    server.setReply(QStringLiteral("/moved"),
                    {0,
                     "HTTP/1.1 302 Found\r\nLocation: /brk/newver.htm\r\nContent-Length: 0\r\n\r\n",
                     LocalHttpServer::Mode::Raw});
    QtHttpClient http(kTestTimeoutMs);
    QCOMPARE(http.fetch(server.url(kVersionPath)), body);
    // A redirect is followed to the same answer.
    QCOMPARE(http.fetch(server.url(QStringLiteral("/moved"))), body);
}

void TestVersionQuery::hostileServer_data()
{
    QTest::addColumn<int>("mode");
    using M = HostileServer::Mode;
    QTest::newRow("endless chunked body") << int(M::EndlessChunkedBody);
    QTest::newRow("endless header lines") << int(M::EndlessHeaderLines);
    QTest::newRow("one endless header") << int(M::OneEndlessHeader);
    QTest::newRow("endless 100 Continue") << int(M::EndlessInterimAnswers);
    QTest::newRow("20000 Set-Cookie") << int(M::ManyCookies);
    QTest::newRow("dripped headers") << int(M::DrippedHeaders);
}

// Whatever the server sends, the query ends within its time-out, holds no
// more than a few MB, and hangs up: no thread goes on reading afterwards.
void TestVersionQuery::hostileServer()
{
    QFETCH(int, mode);
    HostileServer server{HostileServer::Mode(mode)};
    QtHttpClient http(kTestTimeoutMs);
    const qsizetype threadsBefore = taskIds().size();

    resetPeakMemory();
    const qint64 rssBefore = statusKb("VmRSS:");
    QElapsedTimer wall;
    wall.start();
    const double newest = FetchNewestVersionNumber(http, server.url());
    const qint64 elapsed = wall.elapsed();
    const qint64 growthKb = statusKb("VmHWM:") - rssBefore;
    qInfo("%lld ms, %lld bytes sent, resident set grew by %lld kB at most", elapsed,
          server.bytesSent(), growthKb);

    QVERIFY(newest <= kOwn || mode == int(HostileServer::Mode::ManyCookies));
    QVERIFY2(elapsed < kTestTimeoutMs + 500, qPrintable(QString::number(elapsed)));
    // Sanitizers keep freed memory in quarantine: only the plain build can tell.
    if (!kSanitized)
        QVERIFY2(growthKb < 8 * 1024, qPrintable(QString::number(growthKb)));
    QTRY_VERIFY_WITH_TIMEOUT(server.clientHungUp(), 1000);
    QVERIFY(taskIds().size() <= threadsBefore);
    const double cpuBefore = threadsCpuSeconds(server.threadId());
    QTest::qWait(300);
    const double idleCpu = threadsCpuSeconds(server.threadId()) - cpuBefore;
    qInfo("CPU in the 300 ms after: %.1f ms", idleCpu * 1000);
    QVERIFY2(idleCpu < 0.05, qPrintable(QString::number(idleCpu)));
}

void TestVersionQuery::proxy_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("refused");
    QTest::newRow("https_proxy") << QByteArray("https_proxy") << true << false;
    QTest::newRow("HTTPS_PROXY") << QByteArray("HTTPS_PROXY") << true << false;
    QTest::newRow("all_proxy") << QByteArray("all_proxy") << true << false;
    QTest::newRow("http_proxy, plain http") << QByteArray("http_proxy") << false << false;
    QTest::newRow("the proxy refuses") << QByteArray("https_proxy") << true << true;
}

// The vendor's host name resolves nowhere: only the proxy of the environment
// reaches it. The certificate is still checked against that name.
void TestVersionQuery::proxy()
{
    QFETCH(QByteArray, variable);
    QFETCH(bool, tls);
    QFETCH(bool, refused);

    LocalHttpServer server(tls ? kVendorPem : nullptr);
    server.setReply(kVersionPath, {200, "[123]"});
    LocalProxy proxy;
    proxy.refuse = refused;
    qputenv(variable.constData(), proxy.url().toLatin1());
    QtHttpClient http(kTestTimeoutMs);
    http.trustOnly(kTestCaPem);

    QElapsedTimer wall;
    wall.start();
    const QString newer = CheckNewVersion(http, server.url(QString(), kVendorHost), kOwn);
    qInfo("%lld ms through the proxy: %s", wall.elapsed(), qPrintable(proxy.requests.join(", ")));
    QCOMPARE(newer, refused ? "" : "123");
    QCOMPARE(proxy.requests.size(), 1);
    const QString port = QString::number(QUrl(server.baseUrl()).port());
    QCOMPARE(
        proxy.requests.first(),
        tls ? QStringLiteral("CONNECT %1:%2 HTTP/1.1").arg(kVendorHost, port)
            : QStringLiteral("GET http://%1:%2/brk/newver.htm HTTP/1.1").arg(kVendorHost, port));
    QCOMPARE(server.requests.size(), refused ? 0 : 1);

    // The hosts no_proxy names are asked directly.
    qputenv("no_proxy", "127.0.0.1");
    QCOMPARE(CheckNewVersion(http, server.baseUrl(), kOwn), QStringLiteral("123"));
    QCOMPARE(proxy.requests.size(), 1);
}

QTEST_GUILESS_MAIN(TestVersionQuery)
#include "tst_versionquery.moc"
