#include "core/store/filestore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
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

// Another process that takes a store's lock and keeps it until killed, as a
// writer stopped with SIGSTOP would.
pid_t holdLock(const QString &lockPath)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            ::_exit(1);
        (void)!::write(ready[1], "x", 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    const bool locked = pid > 0 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    if (!locked && pid > 0) {
        ::kill(pid, SIGKILL);
        waitExit(pid);
    }
    return locked ? pid : -1;
}

void release(pid_t holder)
{
    ::kill(holder, SIGKILL);
    waitExit(holder);
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
    void valuesNeverGoBackwards();
    void heldLockNeitherWaitsNorLoses();
    void temporaryNamesNeverJam();
    void failedMachineWriteGoesToUserFile();
    void fileTooBigToWriteBackIsNotTaken();
    void changedFileIsReadAgain();
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

void TestFileStore::valuesNeverGoBackwards()
{
    // The machine-wide folder cannot be made at first: a plain file stands
    // where it belongs.
    const QString machineDir = dir_->filePath("machine");
    writeAll(machineDir, "x");
    const std::string machine = (machineDir + "/settings.reg").toStdString();
    const std::string user = dir_->filePath("user/settings.reg").toStdString();
    {
        FileStore program(machine, user);
        program.WriteSettings(kRoot, kKey, {{"Left", "3000"}, {"js00", " 50"}});
        QCOMPARE(program.LastWrittenFile(), user);
    }

    // Later the folder may be written (an administrator opened it up).
    QVERIFY(QFile::remove(machineDir));
    QVERIFY(QDir().mkdir(machineDir));
    FileStore program(machine, user);
    QCOMPARE(R(program, "js00"), QByteArray(" 50"));
    program.WriteSettings(kRoot, kKey, {{"Left", "3015"}, {"js00", " 51"}});
    program.WriteSetting(kRoot, kKey, "Check1", " 1"); // in neither file yet
    QCOMPARE(program.PendingWrites(), 0u);
    FileStore nextStart(machine, user);
    QCOMPARE(R(nextStart, "js00"), QByteArray(" 51"));
    QCOMPARE(R(nextStart, "Left"), QByteArray("3015"));
    QCOMPARE(R(nextStart, "Check1"), QByteArray(" 1"));
    QVERIFY(readAll(QString::fromStdString(machine)).contains("\"Check1\"=\" 1\""));

    // An administrator's value shows for a user with none of their own.
    FileStore admin(machine, "");
    QVERIFY(admin.WriteText(kRoot, kKey, "Text1", "9"));
    QCOMPARE(R(nextStart, "Text1"), QByteArray("9"));

    // A machine-wide isClose of 1 ends every copy, whatever the user's own
    // file holds; below it, the user's own value applies.
    FileStore own(user, "");
    QVERIFY(own.WriteText(kRoot, kKey, "isClose", "0"));
    QCOMPARE(R(nextStart, "isClose"), QByteArray("0"));
    QVERIFY(admin.WriteText(kRoot, kKey, "isClose", "1"));
    QCOMPARE(R(nextStart, "isClose"), QByteArray("1"));
    const auto all = nextStart.ListValues(kRoot, kKey);
    QVERIFY(all);
    QCOMPARE(std::count_if(all->begin(), all->end(),
                           [](const RegValue &v) {
                               return v.name == "isClose" && RegSzDataToText(v.data) == "1";
                           }),
             1);
    QVERIFY(admin.WriteText(kRoot, kKey, "isClose", "0"));
    QVERIFY(own.WriteText(kRoot, kKey, "isClose", "1"));
    QCOMPARE(R(nextStart, "isClose"), QByteArray("1"));

    // The quit request is written machine-wide even by a process whose own
    // file holds it (an administrator's brisko-reg).
    QVERIFY(nextStart.WriteText(kRoot, kKey, "isClose", "1"));
    QCOMPARE(nextStart.LastWrittenFile(), machine);
}

void TestFileStore::heldLockNeitherWaitsNorLoses()
{
    FileStore store(path(), "");
    store.WriteSettings(kRoot, kKey, {{"Left", "3000"}, {"js00", " 1"}});
    pid_t holder = holdLock(file_ + ".lock");
    QVERIFY(holder > 0);
    const auto guard = qScopeGuard([&holder] {
        if (holder > 0)
            release(holder);
    });

    QElapsedTimer clock;
    qint64 slowest = 0;
    const auto timed = [&](const std::function<void()> &write) {
        clock.start();
        write();
        slowest = std::max(slowest, clock.elapsed());
    };
    timed([&] { store.WriteSetting(kRoot, kKey, "Left", "3000"); }); // unchanged: no lock
    QCOMPARE(store.PendingWrites(), 0u);
    timed([&] { store.WriteSetting(kRoot, kKey, "Text1", "25"); }); // the user's change
    for (int tick = 2; tick <= 4; ++tick)
        timed([&] {
            store.WriteSettings(
                kRoot, kKey,
                {{"Left", std::to_string(3000 + 15 * tick)}, {"js00", " " + std::to_string(tick)}});
        });
    QVERIFY2(slowest < 100, qPrintable(QString("a write took %1 ms").arg(slowest)));
    QCOMPARE(store.PendingWrites(), 3u); // Text1 and the newest Left and js00
    QCOMPARE(R(store, "Text1"), QByteArray("25"));
    QVERIFY(!readAll(file_).contains("Text1"));

    // Once the lock is free, the next write lands everything still pending.
    release(std::exchange(holder, -1));
    store.WriteSettings(kRoot, kKey, {{"Left", "3060"}, {"js00", " 5"}});
    QCOMPARE(store.PendingWrites(), 0u);
    FileStore other(path(), "");
    QCOMPARE(R(other, "Text1"), QByteArray("25"));
    QCOMPARE(R(other, "Left"), QByteArray("3060"));
    QCOMPARE(R(other, "js00"), QByteArray(" 5"));
}

void TestFileStore::temporaryNamesNeverJam()
{
    // Whatever stands at a name a temporary file could have is left alone,
    // and writes go on.
    QVERIFY(QDir().mkdir(dir_->filePath("settings.reg.tmp")));
    QVERIFY(QDir().mkdir(dir_->filePath("settings.reg.tmp-AAAAAA")));
    FileStore store(path(), "");
    for (int i = 0; i < 3; ++i)
        QVERIFY(store.WriteText(kRoot, kKey, "Left", std::to_string(i)));
    QCOMPARE(R(store, "Left"), QByteArray("2"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList({"settings.reg", "settings.reg.lock", "settings.reg.tmp",
                          "settings.reg.tmp-AAAAAA"}));

    // The temporary file of a writer that died goes with the next write.
    writeAll(dir_->filePath("settings.reg.tmp-Zz0123"), "half a store");
    QVERIFY(store.WriteText(kRoot, kKey, "Left", "3"));
    QVERIFY(!QFileInfo::exists(dir_->filePath("settings.reg.tmp-Zz0123")));
}

void TestFileStore::failedMachineWriteGoesToUserFile()
{
    // A machine-wide file that cannot be rewritten (here a write past the
    // file size limit, as on a full disk) sends the value to the user's file,
    // where it is read from next time.
    const QString user = dir_->filePath("user/settings.reg");
    {
        FileStore machine(path(), "");
        QVERIFY(machine.WriteText(kRoot, kKey, "Pad", std::string(4000, 'p')));
    }
    const QByteArray before = readAll(file_);
    const pid_t pid = ::fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{3000, 3000};
        ::setrlimit(RLIMIT_FSIZE, &small);
        FileStore store(path(), user.toStdString());
        store.WriteSetting(kRoot, kKey, "Text1", "25");
        ::_exit(store.PendingWrites() == 0 && store.LastWrittenFile() == user.toStdString() ? 0
                                                                                            : 1);
    }
    QCOMPARE(waitExit(pid), 0);
    QCOMPARE(readAll(file_), before);
    FileStore store(path(), user.toStdString());
    QCOMPARE(R(store, "Text1"), QByteArray("25"));
    QCOMPARE(QDir(dir_->path()).entryList({"settings.reg.tmp*"}, QDir::AllEntries | QDir::System),
             QStringList());

    // So does one whose rewrite would pass the store's size limit.
    {
        FileStore machine(path(), "");
        QVERIFY(machine.WriteText(kRoot, kKey, "Pad", std::string((16 << 20) - 300, 'p')));
    }
    store.WriteSetting(kRoot, kKey, "Check2", std::string(400, '1'));
    QCOMPARE(store.PendingWrites(), 0u);
    QCOMPARE(store.LastWrittenFile(), user.toStdString());
    QCOMPARE(R(store, "Check2"), QByteArray(400, '1'));
}

void TestFileStore::fileTooBigToWriteBackIsNotTaken()
{
    // Under the size limit as it stands, over it as it would be written back
    // (each one-digit byte comes back as two digits): such a file is never
    // taken as good, and the first write sets it aside.
    QByteArray big = kHead + "\"X\"=\"1\"\n\"Big\"=hex:";
    for (int i = 0; i < 5'800'000; ++i)
        big += "1,";
    big += "1\n";
    QVERIFY(big.size() < (16 << 20));
    writeAll(file_, big);
    FileStore store(path(), "");
    QCOMPARE(R(store, "X"), QByteArray());
    const auto bad = store.SkippedLines();
    QCOMPARE(bad.size(), 1u);
    QVERIFY(bad[0].tooBig);

    store.WriteSetting(kRoot, kKey, "Text1", "25");
    QCOMPARE(store.PendingWrites(), 0u);
    QVERIFY(readAll(file_).size() < 200);
    const QStringList aside =
        QDir(dir_->path()).entryList({"settings.reg.corrupt-*"}, QDir::Files, QDir::Name);
    QCOMPARE(aside.size(), 1);
    QCOMPARE(readAll(dir_->filePath(aside[0])), big);
}

void TestFileStore::changedFileIsReadAgain()
{
    // Each file's parse is kept, but never past a change: another writer's
    // value of the same length, or a hand edit in place.
    FileStore store(path(), "");
    store.WriteSetting(kRoot, kKey, "Left", "3000");
    QCOMPARE(R(store, "Left"), QByteArray("3000"));
    FileStore other(path(), "");
    QVERIFY(other.WriteText(kRoot, kKey, "Left", "3015"));
    QCOMPARE(R(store, "Left"), QByteArray("3015"));

    QFile f(file_);
    QVERIFY(f.open(QIODevice::ReadWrite));
    const QByteArray text = f.readAll();
    QVERIFY(f.seek(text.indexOf("3015")));
    QCOMPARE(f.write("3030"), 4);
    f.close();
    QCOMPARE(R(store, "Left"), QByteArray("3030"));
    // A write starts from the file as it is now, not from the kept parse.
    store.WriteSetting(kRoot, kKey, "Top", "1500");
    QCOMPARE(R(other, "Left"), QByteArray("3030"));
    QCOMPARE(R(other, "Top"), QByteArray("1500"));
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
