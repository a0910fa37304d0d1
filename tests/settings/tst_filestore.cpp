#include "settings/filestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr auto kRoot = RegistryRoot::LocalMachine;
const std::string kKey = kSettingsKey;
const QByteArray kHead = "Windows Registry Editor Version 5.00\n\n"
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko]\n";

std::string S(const QByteArray &b)
{
    return b.toStdString();
}

// What a read gives, as a QByteArray so that a failed comparison shows it.
QByteArray R(FileStore &store, const std::string &name, const std::string &key = kKey)
{
    return QByteArray::fromStdString(store.ReadSetting(kRoot, key, name));
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), data.size());
}

// Store files in memory when the machine has a tmpfs: the tests that write
// thousands of times are about locking, not the disk's sync speed.
QString scratchBase()
{
    return QFileInfo("/dev/shm").isWritable() ? "/dev/shm/brisko-XXXXXX" : QString();
}

int waitExit(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

} // namespace

class TestFileStore : public QObject {
    Q_OBJECT
private slots:
    void init();

    void readsFileText_data();
    void readsFileText();
    void textsRoundTrip_data();
    void textsRoundTrip();
    void namesIgnoreCase();
    void nonStringTypes();
    void writeKeepsEverythingElse();
    void absentReadsEmptyAndCreatesNothing();
    void badLinesSkippedOriginalSetAsideOnce();
    void symlinkNotFollowed_data();
    void symlinkNotFollowed();
    void deniedMachineFileRedirectsToUser();
    void concurrentWritersLoseNothing();
    void killedWriterLeavesReadableFile();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString file_;
    std::string path() const { return file_.toStdString(); }
};

void TestFileStore::init()
{
    dir_ = std::make_unique<QTemporaryDir>(scratchBase());
    QVERIFY(dir_->isValid());
    file_ = dir_->filePath("settings.reg");
}

void TestFileStore::readsFileText_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("skipped");  // lines that cannot be read
    QTest::addColumn<QByteArray>("x"); // what value "X" reads as

    QTest::newRow("empty file") << QByteArray() << 0 << QByteArray();
    QTest::newRow("plain") << kHead + "\"X\"=\"abc\"\n" << 0 << QByteArray("abc");
    QTest::newRow("CR LF, BOM, blanks, comment")
        << "\xEF\xBB\xBF" + QByteArray(kHead).replace("\n", "\r\n") +
               "; a comment\r\n  \"X\" = \"a b \"  \r\n"
        << 0 << QByteArray("a b ");
    QTest::newRow("old header") << QByteArray(kHead).replace("Windows Registry Editor Version 5.00",
                                                             "REGEDIT4") +
                                       "\"X\"=\"1\"\n"
                                << 0 << QByteArray("1");
    QTest::newRow("no header") << kHead.mid(kHead.indexOf('[')) + "\"X\"=\"1\"\n"
                               << 0 << QByteArray("1");
    QTest::newRow("escapes") << kHead + R"("X"="a\\b\"c\d")"
                                        "\n"
                             << 0 << QByteArray(R"(a\b"c\d)");
    QTest::newRow("key case") << QByteArray("Windows Registry Editor Version 5.00\n\n"
                                            "[hkey_local_machine\\software\\PELMORA\\brisko]\n"
                                            "\"X\"=\"k\"\n")
                              << 0 << QByteArray("k");
    QTest::newRow("last of two wins") << kHead + "\"x\"=\"1\"\n\"X\"=\"2\"\n"
                                      << 0 << QByteArray("2");
    QTest::newRow("removed by =-") << kHead + "\"X\"=\"1\"\n\"X\"=-\n" << 0 << QByteArray();
    QTest::newRow("dword reads empty") << kHead + "\"X\"=dword:0000001f\n" << 0 << QByteArray();
    QTest::newRow("expand string reads empty") << kHead + "\"X\"=hex(2):41,00,00,00\n"
                                               << 0 << QByteArray();
    QTest::newRow("hex(1) over lines") << kHead + "\"X\"=hex(1):87,65,\\\n  2c,67,00,00\n"
                                       << 0 << QByteArray("文本");
    QTest::newRow("hex(1) without NUL") << kHead + "\"X\"=hex(1):41,00,42,00\n"
                                        << 0 << QByteArray("AB");
    QTest::newRow("hex(1) NUL inside") << kHead + "\"X\"=hex(1):41,00,00,00,42,00\n"
                                       << 0 << QByteArray("A");
    QTest::newRow("other key only") << kHead.left(kHead.indexOf('[')) + "[HKEY_LOCAL_MACHINE\\X]\n"
                                                                        "\"X\"=\"no\"\n"
                                    << 0 << QByteArray();

    // One bad line costs that line alone.
    QTest::newRow("value before key")
        << QByteArray("Windows Registry Editor Version 5.00\n\"X\"=\"1\"\n") << 1 << QByteArray();
    QTest::newRow("open quote") << kHead + "\"Y\"=\"1\n\"X\"=\"2\"\n" << 1 << QByteArray("2");
    QTest::newRow("text after value") << kHead + "\"Y\"=\"1\" junk\n\"X\"=\"x\"\n"
                                      << 1 << QByteArray("x");
    QTest::newRow("bad hex") << kHead + "\"X\"=hex(1):4g,00\n\"Y\"=\"1\"\n" << 1 << QByteArray();
    QTest::newRow("hex runs off the end") << kHead + "\"X\"=\"a\"\n\"Y\"=hex:41,\\\n"
                                          << 1 << QByteArray("a");
    QTest::newRow("bad continuation keeps the next value")
        << kHead + "\"Y\"=hex:41,\\\n\"X\"=\"b\"\n"
        << 1 << QByteArray("b");
    QTest::newRow("dword too long") << kHead + "\"X\"=dword:100000000\n" << 1 << QByteArray();
    QTest::newRow("values under a bad key line are not moved")
        << kHead + "\"X\"=\"k\"\n[-HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"X\"=\"moved\"\n"
        << 2 << QByteArray("k");
    QTest::newRow("UTF-16 file") << QByteArray("\xFF\xFEW\0i\0n\0", 8) << 1 << QByteArray();
    QTest::newRow("truncated write") << kHead + "\"X\"=\"1\"\n\"Y\"=\"" << 1 << QByteArray("1");
}

void TestFileStore::readsFileText()
{
    QFETCH(QByteArray, file);
    QFETCH(int, skipped);
    QFETCH(QByteArray, x);

    const RegParse parsed = ParseRegText(S(file));
    QCOMPARE(int(parsed.skippedCount), skipped);
    QCOMPARE(int(parsed.skipped.size()), skipped);
    writeAll(file_, file);
    FileStore store(path(), "");
    QCOMPARE(R(store, "X"), x);
    QCOMPARE(readAll(file_), file); // reading changes nothing
}

void TestFileStore::textsRoundTrip_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("minutes") << QByteArray("5");
    QTest::newRow("Chinese") << QByteArray("25分钟 时间到了");
    QTest::newRow("blanks around") << QByteArray("  1 ");
    QTest::newRow("quotes and backslashes") << QByteArray(R"("\" \\ \ "" trailing\)");
    QTest::newRow("brackets and equals") << QByteArray("[x]=\"@\"=-");
    QTest::newRow("line feed") << QByteArray("one\ntwo\n");
    QTest::newRow("CR LF") << QByteArray("one\r\ntwo\r");
    QTest::newRow("tab and controls") << QByteArray("\t\x01\x1b\x7f");
    QTest::newRow("outside the BMP") << QByteArray("\xF0\x9F\x98\x80 \xF0\xA0\x80\x80");
    QTest::newRow("not UTF-8") << QByteArray("a\xFF\xFE\xC3(\xE6\x96");
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80\xED\xB3\xBF");
    QTest::newRow("long") << QByteArray(100000, 'x') + "分";
}

void TestFileStore::textsRoundTrip()
{
    QFETCH(QByteArray, text);
    {
        FileStore store(path(), "");
        QVERIFY(store.WriteText(kRoot, kKey, "Text1", S(text)));
        store.WriteSetting(kRoot, kKey, "After", "next"); // the line after is intact
    }
    FileStore store(path(), "");
    QCOMPARE(R(store, "Text1"), text);
    QCOMPARE(R(store, "After"), QByteArray("next"));

    // The file stays UTF-8 text with one line per value, and writing what was
    // read gives the same text again.
    const QByteArray file = readAll(file_);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)QString(utf8(file));
    QVERIFY(!utf8.hasError());
    QCOMPARE(file.count('\n'), 6);
    const RegParse parsed = ParseRegText(S(file));
    QCOMPARE(parsed.skippedCount, 0u);
    QCOMPARE(QByteArray::fromStdString(FormatRegText(parsed.doc)), file);
}

void TestFileStore::namesIgnoreCase()
{
    FileStore store(path(), "");
    store.WriteSetting(kRoot, kKey, "Text1", "7");
    store.WriteSetting(kRoot, "software\\PELMORA\\brisko", "TEXT1", "8");
    QCOMPARE(R(store, "text1"), QByteArray("8"));
    QCOMPARE(R(store, "tExT1", "SOFTWARE\\Pelmora\\Brisko\\"), QByteArray("8"));

    // One key, one value, in the spelling it was first written with.
    const QByteArray file = readAll(file_);
    QCOMPARE(file.count("[HKEY"), 1);
    QCOMPARE(file.toLower().count("\"text1\""), 1);
    QVERIFY(file.contains("\"Text1\"=\"8\""));

    store.WriteSetting(kRoot, kKey, "Nul\0Name", "x");
    QCOMPARE(R(store, "nul"), QByteArray("x"));
}

void TestFileStore::nonStringTypes()
{
    FileStore store(path(), "");
    QVERIFY(store.WriteDword(kRoot, kKey, "isClose", 1));
    QCOMPARE(R(store, "isClose"), QByteArray());
    QVERIFY(readAll(file_).contains("\"isClose\"=dword:00000001\n"));
    const auto v = store.QueryValue(kRoot, kKey, "ISCLOSE");
    QVERIFY(v);
    QCOMPARE(v->type, kRegDword);
    QCOMPARE(QByteArray::fromStdString(RegTypeName(v->type)), QByteArray("REG_DWORD"));

    // A string written over it replaces it, type and all.
    store.WriteSetting(kRoot, kKey, "isclose", "1");
    QCOMPARE(R(store, "isClose"), QByteArray("1"));

    // A NUL ends the text, as in the registry.
    store.WriteSetting(kRoot, kKey, "Text1", std::string("12\0 34", 6));
    QCOMPARE(R(store, "Text1"), QByteArray("12"));
}

void TestFileStore::writeKeepsEverythingElse()
{
    writeAll(file_, "Windows Registry Editor Version 5.00\n\n"
                    "[HKEY_CURRENT_USER\\Other]\n\"A\"=\"a\"\n\n" +
                        kHead.mid(kHead.indexOf('[')) +
                        "\"Bin\"=hex:00,ff\n\"Exp\"=hex(2):25,00,00,00\n\"Q\"=hex(b):01,00,00,00,"
                        "00,00,00,00\n@=\"default\"\n");
    FileStore store(path(), "");
    store.WriteSetting(kRoot, kKey, "Top", "1000");
    const QByteArray file = readAll(file_);
    for (const char *kept :
         {"[HKEY_CURRENT_USER\\Other]\n\"A\"=\"a\"\n", "\"Bin\"=hex:00,ff\n",
          "\"Exp\"=hex(2):25,00,00,00\n", "\"Q\"=hex(b):01,00,00,00,00,00,00,00\n",
          "@=\"default\"\n", "\"Top\"=\"1000\"\n"})
        QVERIFY2(file.contains(kept), kept);
    QCOMPARE(QFileInfo(file_).permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ReadUser | QFile::WriteUser |
                                                          QFile::ReadGroup | QFile::ReadOther);
}

void TestFileStore::absentReadsEmptyAndCreatesNothing()
{
    const QString missing = dir_->filePath("no/such/folder/settings.reg");
    FileStore store(missing.toStdString(), dir_->filePath("user/settings.reg").toStdString());
    QCOMPARE(R(store, "Text1"), QByteArray());
    QVERIFY(!store.QueryValue(kRoot, kKey, "Text1"));
    QVERIFY(!store.ListValues(kRoot, kKey));
    QCOMPARE(store.DeleteValue(kRoot, kKey, "Text1"), FileStore::DeleteResult::NotFound);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());

    // The first write makes the folders; another key is still absent.
    store.WriteSetting(kRoot, kKey, "Text1", "5");
    QVERIFY(QFileInfo::exists(missing));
    QCOMPARE(R(store, "Text1", "SOFTWARE\\Pelmora"), QByteArray());
    QVERIFY(store.ListValues(kRoot, kKey));
    QVERIFY(store.ReadSetting(RegistryRoot(0x1234), kKey, "Text1").empty());
}

void TestFileStore::badLinesSkippedOriginalSetAsideOnce()
{
    const QByteArray typed = kHead + "\"Text1\"=\"25\"\n\"Top\"=12\n\"Check1\"=\" 1\"\n";
    writeAll(file_, typed);
    FileStore store(path(), "");
    QCOMPARE(R(store, "Text1"), QByteArray("25"));
    QCOMPARE(R(store, "Check1"), QByteArray(" 1"));
    const auto bad = store.SkippedLines();
    QCOMPARE(bad.size(), 1u);
    QCOMPARE(bad[0].count, 1u);
    QCOMPARE(bad[0].lines[0].number, 5u);
    QCOMPARE(QByteArray::fromStdString(bad[0].lines[0].text), QByteArray("\"Top\"=12"));
    QCOMPARE(readAll(file_), typed);

    // The first rewrite keeps every readable value and sets the original
    // aside; later ones have nothing more to set aside.
    store.WriteSetting(kRoot, kKey, "Check2", " 1");
    store.WriteSetting(kRoot, kKey, "Check2", " 0");
    QCOMPARE(R(store, "Text1"), QByteArray("25"));
    QCOMPARE(R(store, "Check2"), QByteArray(" 0"));
    QVERIFY(store.SkippedLines().empty());
    QStringList aside =
        QDir(dir_->path()).entryList({"settings.reg.corrupt-*"}, QDir::Files, QDir::Name);
    QCOMPARE(aside.size(), 1);
    QCOMPARE(readAll(dir_->filePath(aside[0])), typed);

    // Another bad file within the same second: both originals are kept.
    writeAll(file_, "garbage");
    store.WriteSetting(kRoot, kKey, "Check2", " 1");
    aside = QDir(dir_->path()).entryList({"settings.reg.corrupt-*"}, QDir::Files, QDir::Name);
    QCOMPARE(aside.size(), 2);
    QSet<QByteArray> kept;
    for (const auto &name : aside)
        kept.insert(readAll(dir_->filePath(name)));
    QCOMPARE(kept, (QSet<QByteArray>{typed, "garbage"}));
}

void TestFileStore::symlinkNotFollowed_data()
{
    QTest::addColumn<QString>("planted"); // where the symlink stands
    QTest::addColumn<bool>("writes");     // whether a one-file store can still write
    QTest::newRow("store file") << "settings.reg" << false;
    QTest::newRow("lock file") << "settings.reg.lock" << false;
    QTest::newRow("temporary file") << "settings.reg.tmp" << true;
}

void TestFileStore::symlinkNotFollowed()
{
    QFETCH(QString, planted);
    QFETCH(bool, writes);

    const QString target = dir_->filePath("target");
    const QByteArray secret = kHead + "\"Text1\"=\"secret\"\n";
    writeAll(target, secret);
    QVERIFY(QFile::link(target, dir_->filePath(planted)));

    FileStore single(path(), "");
    if (planted == "settings.reg")
        QCOMPARE(R(single, "Text1"), QByteArray());
    QCOMPARE(single.WriteText(kRoot, kKey, "Text1", "9"), writes);
    QCOMPARE(readAll(target), secret);

    // With a per-user file, a machine-wide file that cannot be used sends the
    // write there instead.
    const QString user = dir_->filePath("user/settings.reg");
    FileStore redirected(path(), user.toStdString());
    QVERIFY(redirected.WriteText(kRoot, kKey, "Text1", "10"));
    QCOMPARE(R(redirected, "Text1"), QByteArray("10"));
    QCOMPARE(readAll(target), secret);
    QCOMPARE(QFileInfo::exists(user), !writes);
}

void TestFileStore::deniedMachineFileRedirectsToUser()
{
    // A folder under a plain file can never be created, whoever we are.
    writeAll(dir_->filePath("plain"), "x");
    const std::string machine = dir_->filePath("plain/settings.reg").toStdString();
    const QString user = dir_->filePath("config/brisko/settings.reg");
    FileStore store(machine, user.toStdString());
    QVERIFY(store.WriteText(kRoot, kKey, "Text1", "30"));
    QCOMPARE(store.LastWrittenFile(), user.toStdString());
    QCOMPARE(R(store, "Text1"), QByteArray("30"));
    QCOMPARE(QFileInfo(user).permissions() & 0x7777,
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    QCOMPARE(QFileInfo(dir_->filePath("config/brisko")).permissions() & 0x7777,
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                 QFile::WriteUser | QFile::ExeUser);

    // Reads take the user's value first, then the machine-wide one.
    const QString shared = dir_->filePath("shared.reg");
    writeAll(shared, kHead + "\"Text1\"=\"machine\"\n\"isClose\"=\"1\"\n");
    FileStore both(shared.toStdString(), user.toStdString());
    QCOMPARE(R(both, "Text1"), QByteArray("30"));
    QCOMPARE(R(both, "isClose"), QByteArray("1"));
    const auto all = both.ListValues(kRoot, kKey);
    QVERIFY(all);
    QCOMPARE(all->size(), 2u);
}

void TestFileStore::concurrentWritersLoseNothing()
{
    constexpr int kWrites = 1000;
    pid_t pids[2];
    for (int p = 0; p < 2; ++p) {
        pids[p] = ::fork();
        QVERIFY(pids[p] >= 0);
        if (pids[p] == 0) {
            FileStore store(path(), "");
            int failures = 0;
            for (int i = 0; i < kWrites; ++i)
                failures +=
                    !store.WriteText(kRoot, kKey, std::string(1, char('A' + p)) + std::to_string(i),
                                     std::to_string(i * 7));
            ::_exit(failures ? 1 : 0);
        }
    }
    QCOMPARE(waitExit(pids[0]), 0);
    QCOMPARE(waitExit(pids[1]), 0);

    FileStore store(path(), "");
    const auto all = store.ListValues(kRoot, kKey);
    QVERIFY(all);
    QCOMPARE(int(all->size()), 2 * kWrites);
    QSet<QByteArray> found;
    for (const auto &v : *all)
        found.insert(QByteArray::fromStdString(v.name + "=" + RegSzDataToText(v.data)));
    for (const char *who : {"A", "B"})
        for (int i = 0; i < kWrites; ++i)
            QVERIFY(found.contains(who + QByteArray::number(i) + "=" + QByteArray::number(i * 7)));
}

void TestFileStore::killedWriterLeavesReadableFile()
{
    // A big neighbour makes each write long enough to be caught in the middle.
    const std::string pad(200000, 'p');
    FileStore store(path(), "");
    QVERIFY(store.WriteText(kRoot, kKey, "Pad", pad));
    long last = 0;
    QVERIFY(store.WriteText(kRoot, kKey, "Count", "0"));
    auto *random = QRandomGenerator::global();
    for (int round = 1; round <= 40; ++round) {
        const pid_t pid = ::fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            FileStore writer(path(), "");
            for (long i = round * 1000000L;; ++i)
                writer.WriteText(kRoot, kKey, "Count", std::to_string(i));
        }
        const timespec pause{0, long(random->bounded(20000)) * 1000};
        ::nanosleep(&pause, nullptr);
        ::kill(pid, SIGKILL);
        QCOMPARE(waitExit(pid), -SIGKILL);

        const RegParse parsed = ParseRegText(S(readAll(file_)));
        QVERIFY2(parsed.skippedCount == 0, qPrintable(QString("round %1").arg(round)));
        QCOMPARE(R(store, "Pad"), QByteArray::fromStdString(pad));
        bool ok = false;
        const long now = R(store, "Count").toLong(&ok);
        QVERIFY(ok);
        QVERIFY(now >= last);
        last = now;
    }
    // The lock died with the writer, and its leftover is cleared.
    QVERIFY(store.WriteText(kRoot, kKey, "Count", "done"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::System),
             QStringList({"settings.reg", "settings.reg.lock"}));
}

QTEST_GUILESS_MAIN(TestFileStore)
#include "tst_filestore.moc"
