// The settings tool run as a real process: its arguments, output and exit
// codes, and the per-user file an ordinary user's writes go to.

#include "core/store/filestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr auto kRoot = RegistryRoot::LocalMachine;
constexpr uid_t kNobody = 65534;

struct Result {
    int code = -1;
    QByteArray out, err;
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Whether this process may become another user (root in most containers).
bool canDropPrivileges()
{
    if (::geteuid() != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0
                    ? 0
                    : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

class TestBriskoReg : public QObject {
    Q_OBJECT
private slots:
    void init();
    void arguments_data();
    void arguments();
    void fileOptionUsesThatFileAlone();
    void outputCannotFakeValuesOrFailSilently();
    void skippedLinesNamed();
    void ordinaryUserGetsOwnFile();

private:
    Result run(QStringList args, bool asNobody = false, const QString &stdoutFile = {});

    std::unique_ptr<QTemporaryDir> tmp_;
    QString machineDir_, configDir_;
};

Result TestBriskoReg::run(QStringList args, bool asNobody, const QString &stdoutFile)
{
    if (args.filter(QRegularExpression("^--(file|dir)")).isEmpty())
        args = QStringList{"--dir", machineDir_} + args;
    args.replaceInStrings("@dir", machineDir_);
    args.replaceInStrings("@file", tmp_->filePath("other.reg"));

    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", configDir_);
    env.insert("HOME", tmp_->filePath("home"));
    p.setProcessEnvironment(env);
    if (asNobody)
        p.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(126);
        });
    if (!stdoutFile.isEmpty())
        p.setStandardOutputFile(stdoutFile);
    p.start(BRISKO_REG_TOOL, args);
    Result r;
    if (!p.waitForFinished(30000))
        return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

void TestBriskoReg::init()
{
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
    machineDir_ = tmp_->filePath("machine");
    configDir_ = tmp_->filePath("config");
    FileStore store(MachineSettingsFile(machineDir_.toStdString()), "");
    QVERIFY(store.WriteText(kRoot, kSettingsKey, "Text1", "5"));
    QVERIFY(store.WriteText(kRoot, kSettingsKey, "Check2", " 1"));
    QVERIFY(store.WriteDword(kRoot, kSettingsKey, "isClose", 1));
}

void TestBriskoReg::arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("out"); // found in standard output
    QTest::addColumn<QByteArray>("err"); // found in standard error
    // Then: "Name=text" reads so, "Name:REG_DWORD" has that type, "Name!" is absent.
    QTest::addColumn<QByteArray>("after");

    const QByteArray key = "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko\n";
    const QByteArray done = "The operation completed successfully.\n";
    const QByteArray missing = "ERROR: The system was unable to find";
    const QByteArray none;

    QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("brisko-reg query") << none
                          << none;
    QTest::newRow("nothing to do")
        << QStringList{} << 2 << none << QByteArray("say what to do: query, add or delete\nUsage:")
        << none;
    QTest::newRow("unknown operation")
        << QStringList{"list"} << 2 << none << QByteArray("unknown operation list") << none;
    QTest::newRow("unknown option") << QStringList{"add", "X", "1", "/z"} << 2 << none
                                    << QByteArray("unknown option /z") << QByteArray("X!");
    QTest::newRow("add without a name")
        << QStringList{"add"} << 2 << none << QByteArray("name the value") << none;
    QTest::newRow("short add without data") << QStringList{"add", "Top"} << 2 << none
                                            << QByteArray("give the data") << QByteArray("Top!");
    QTest::newRow("/v without a name")
        << QStringList{"query", "/v"} << 2 << none << QByteArray("/v needs a value") << none;
    QTest::newRow("unsupported type")
        << QStringList{"add", "/v", "X", "/t", "REG_BINARY", "/d", "00"} << 2 << none
        << QByteArray("unsupported type REG_BINARY") << QByteArray("X!");
    QTest::newRow("dword not a number")
        << QStringList{"add", "/v", "X", "/t", "REG_DWORD", "/d", "12a"} << 2 << none
        << QByteArray("REG_DWORD data must be") << QByteArray("X!");
    QTest::newRow("dword too big")
        << QStringList{"add", "/v", "X", "/t", "REG_DWORD", "/d", "4294967296"} << 2 << none
        << QByteArray("REG_DWORD data must be") << QByteArray("X!");
    QTest::newRow("one name too many") << QStringList{"query", "Text1", "Top"} << 2 << none
                                       << QByteArray("unexpected argument Top") << none;
    QTest::newRow("another root") << QStringList{"query", "HKCU\\Software\\X"} << 2 << none
                                  << QByteArray("only keys under HKLM") << none;
    QTest::newRow("--file and --dir") << QStringList{"--file", "@file", "--dir", "@dir", "query"}
                                      << 2 << none << QByteArray("cannot be used together") << none;
    QTest::newRow("/d with query") << QStringList{"query", "/d", "x"} << 2 << none
                                   << QByteArray("/t and /d belong to add") << none;

    QTest::newRow("query one") << QStringList{"query", "text1"} << 0
                               << key + "    Text1    REG_SZ    5\n\n"
                               << none << none;
    QTest::newRow("query with key and /v")
        << QStringList{"query", "HKLM\\SOFTWARE\\Pelmora\\Brisko", "/v", "TEXT1"} << 0
        << key + "    Text1    REG_SZ    5\n\n"
        << none << none;
    QTest::newRow("long root name, upper case")
        << QStringList{"QUERY", "HKEY_LOCAL_MACHINE\\Software\\Pelmora\\Brisko", "/V", "check2"}
        << 0 << QByteArray("    Check2    REG_SZ     1\n") << none << none;
    QTest::newRow("query all") << QStringList{"query"} << 0
                               << key + "    Text1    REG_SZ    5\n    Check2    REG_SZ     1\n"
                                        "    isClose    REG_DWORD    0x1\n\n"
                               << none << none;
    QTest::newRow("query missing") << QStringList{"query", "Nope"} << 1 << none << missing << none;
    QTest::newRow("query missing key")
        << QStringList{"query", "HKLM\\SOFTWARE\\Other"} << 1 << none << missing << none;

    QTest::newRow("add short") << QStringList{"add", "isClose", "1"} << 0 << done << none
                               << QByteArray("isClose=1");
    QTest::newRow("add as reg does") << QStringList{"add", "HKLM\\SOFTWARE\\Pelmora\\Brisko",
                                                    "/v",  "Text1",
                                                    "/t",  "REG_SZ",
                                                    "/d",  "25分钟",
                                                    "/f"}
                                     << 0 << done << none << QByteArray("Text1=25分钟");
    QTest::newRow("add negative number")
        << QStringList{"add", "Top", "-100"} << 0 << done << none << QByteArray("Top=-100");
    QTest::newRow("add without /d")
        << QStringList{"add", "/v", "Empty"} << 0 << done << none << QByteArray("Empty=");
    QTest::newRow("add dword") << QStringList{"add", "/v", "Top", "/t", "reg_dword", "/d", "0x10"}
                               << 0 << done << none << QByteArray("Top:REG_DWORD");
    QTest::newRow("add after --") << QStringList{"add", "--", "/x", "-y"} << 0 << done << none
                                  << QByteArray("/x=-y");
    QTest::newRow("delete short") << QStringList{"delete", "TEXT1"} << 0 << done << none
                                  << QByteArray("Text1!");
    QTest::newRow("delete /v /f") << QStringList{"delete", "/v", "isClose", "/f"} << 0 << done
                                  << none << QByteArray("isClose!");
    QTest::newRow("delete missing")
        << QStringList{"delete", "Nope"} << 1 << none << missing << none;
}

void TestBriskoReg::arguments()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(QByteArray, after);

    const Result r = run(args);
    QCOMPARE(r.code, code);
    QVERIFY2(r.out.contains(out), r.out.constData());
    QVERIFY2(r.err.contains(err), r.err.constData());
    if (err.isEmpty())
        QCOMPARE(r.err, QByteArray());

    if (after.isEmpty())
        return;
    FileStore store(MachineSettingsFile(machineDir_.toStdString()), "");
    if (after.endsWith('!')) {
        QVERIFY(!store.QueryValue(kRoot, kSettingsKey, after.chopped(1).toStdString()));
    } else if (const int colon = after.indexOf(':'); colon > 0) {
        const auto v = store.QueryValue(kRoot, kSettingsKey, after.left(colon).toStdString());
        QVERIFY(v);
        QCOMPARE(QByteArray::fromStdString(RegTypeName(v->type)), after.mid(colon + 1));
    } else {
        const int eq = after.indexOf('=');
        QCOMPARE(QByteArray::fromStdString(
                     store.ReadSetting(kRoot, kSettingsKey, after.left(eq).toStdString())),
                 after.mid(eq + 1));
    }
}

void TestBriskoReg::fileOptionUsesThatFileAlone()
{
    const QByteArray machine = readAll(MachineSettingsFile(machineDir_.toStdString()).c_str());
    QCOMPARE(run({"--file", "@file", "add", "Left", "300"}).code, 0);
    QCOMPARE(run({"--file=@file", "query", "left"}).out,
             QByteArray("\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko\n"
                        "    Left    REG_SZ    300\n\n"));
    QCOMPARE(run({"--file", "@file", "query", "Text1"}).code, 1);
    QCOMPARE(readAll(MachineSettingsFile(machineDir_.toStdString()).c_str()), machine);
    QVERIFY(!QFileInfo::exists(configDir_));
}

void TestBriskoReg::outputCannotFakeValuesOrFailSilently()
{
    // Control characters and bytes that are not UTF-8 show as escapes, so a
    // value cannot print as another value's line; the store keeps it exact.
    const std::string machine = MachineSettingsFile(machineDir_.toStdString());
    const std::string sneaky = "5\n    isClose    REG_SZ    1\x1b[2J\xff 分\xc2\x9b\xe2\x80\xae";
    FileStore store(machine, "");
    QVERIFY(store.WriteText(kRoot, kSettingsKey, "Text1", sneaky));
    Result r = run({"query"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains("    Text1    REG_SZ    5\\n    isClose    REG_SZ    1\\x1B[2J\\xFF "
                            "分\\u009B\\u202E\n"),
             r.out.constData());
    QCOMPARE(r.out.count('\n'), 6); // blank, key, three values, blank
    QCOMPARE(store.ReadSetting(kRoot, kSettingsKey, "Text1"), sneaky);

    // Output that cannot be written is an error.
    r = run({"query"}, false, "/dev/full");
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("cannot write the output"), r.err.constData());
    r = run({"--help"}, false, "/dev/full");
    QCOMPARE(r.code, 1);

    // A store that is not a regular file in a folder is refused, and nothing
    // is made beside it.
    const bool lockThere = QFileInfo::exists("/dev/null.lock");
    for (const QString &notAStore : {QString("/dev/null"), machineDir_, machineDir_ + "/",
                                     QString::fromStdString(machine) + "/x.reg"}) {
        r = run({"--file", notAStore, "add", "X", "1"});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("not a regular file in a folder"), r.err.constData());
    }
    QCOMPARE(QFileInfo::exists("/dev/null.lock"), lockThere);
}

void TestBriskoReg::skippedLinesNamed()
{
    const QString machine = QString::fromStdString(MachineSettingsFile(machineDir_.toStdString()));
    QFile f(machine);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko]\n"
            "\"Text1\"=\"25\"\n"
            "\"Top\"=12\x1b\n"
            "\"Left\"=\"3000\"\n");
    f.close();
    Result r = run({"query"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains("    Text1    REG_SZ    25\n    Left    REG_SZ    3000\n"),
             r.out.constData());
    QCOMPARE(r.err, "brisko-reg: " + machine.toUtf8() +
                        ": line 5 cannot be read and is skipped: \"Top\"=12\\x1B\n");

    // The first write keeps the readable values and sets the original aside.
    QCOMPARE(run({"add", "Check1", " 1"}).code, 0);
    r = run({"query"});
    QCOMPARE(r.err, QByteArray());
    QVERIFY2(r.out.contains("    Text1    REG_SZ    25\n    Left    REG_SZ    3000\n"
                            "    Check1    REG_SZ     1\n"),
             r.out.constData());
    QCOMPARE(QDir(machineDir_).entryList({"settings.reg.corrupt-*"}).size(), 1);
}

// A user who may not write the machine-wide file gets a file of their own,
// which their reads take first; the machine-wide values still show through.
void TestBriskoReg::ordinaryUserGetsOwnFile()
{
    const bool asNobody = canDropPrivileges();
    if (asNobody) {
        // Let nobody through the temporary folder and into its own config.
        QVERIFY(::chmod(QFile::encodeName(tmp_->path()), 0755) == 0);
        QVERIFY(QDir().mkpath(configDir_));
        QVERIFY(::chown(QFile::encodeName(configDir_), kNobody, kNobody) == 0);
    } else if (::geteuid() == 0) {
        QSKIP("running as root without the right to become another user");
    } else {
        QVERIFY(::chmod(QFile::encodeName(machineDir_), 0555) == 0);
    }
    const QString machineFile =
        QString::fromStdString(MachineSettingsFile(machineDir_.toStdString()));
    const QByteArray machine = readAll(machineFile);

    Result r = run({"add", "Text1", "7"}, asNobody);
    QCOMPARE(r.code, 0);
    QVERIFY2(r.err.contains("for this user"), r.err.constData());
    QCOMPARE(readAll(machineFile), machine);
    const QString userFile = configDir_ + "/brisko/settings.reg";
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(userFile), &st) == 0);
    QCOMPARE(st.st_mode & 07777, 0600u);
    if (asNobody)
        QCOMPARE(st.st_uid, kNobody);
    QVERIFY(::stat(QFile::encodeName(configDir_ + "/brisko"), &st) == 0);
    QCOMPARE(st.st_mode & 07777, 0700u);

    QVERIFY(run({"query", "Text1"}, asNobody).out.contains("    Text1    REG_SZ    7\n"));
    QVERIFY(run({"query", "isClose"}, asNobody).out.contains("    isClose    REG_DWORD    0x1\n"));

    // Deleting the user's copy lets the machine-wide value show again; a
    // machine-wide value cannot be deleted by this user.
    r = run({"delete", "Text1"}, asNobody);
    QCOMPARE(r.code, 0);
    QVERIFY2(r.err.contains("now applies"), r.err.constData());
    QVERIFY(run({"query", "Text1"}, asNobody).out.contains("    Text1    REG_SZ    5\n"));
    r = run({"delete", "isClose"}, asNobody);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("Permission denied"), r.err.constData());
    QCOMPARE(readAll(machineFile), machine);
}

QTEST_GUILESS_MAIN(TestBriskoReg)
#include "tst_briskoreg.moc"
