#include "decode/FrameEncoders.h"
#include "support/PseudoTerminal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <QRegularExpression>

#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>

namespace {

// A frame that differs from every other (so each is recorded), or repeats an earlier one.
QByteArray frame(int i)
{
    const std::vector<uint8_t> bytes = or200VoltsFrame(1000 + i);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

QByteArray frames(std::initializer_list<int> numbers)
{
    QByteArray all;
    for (int n : numbers)
        all += frame(n);
    return all;
}

struct LogRun
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

LogRun runLog(const QStringList &args, const QByteArray &input = {})
{
    QProcess p;
    p.start(QStringLiteral(METERLINK_CLI_PATH), QStringList{QStringLiteral("log")} + args);
    p.waitForStarted(5000);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(15000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            QString::fromUtf8(p.readAllStandardError())};
}

std::vector<std::string> tableRows(const QString &path,
                                   const char *sql = "SELECT No || ' ' || Value FROM Readings")
{
    std::vector<std::string> rows;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK) {
            while (sqlite3_step(s) == SQLITE_ROW)
                rows.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return rows;
}

// The table's rows; -1 while it cannot be read.
int rowCount(const QString &table)
{
    const std::vector<std::string> count = tableRows(table, "SELECT count(*) FROM Readings");
    return count.empty() ? -1 : std::stoi(count.front());
}

// Runs the event loop until `done` holds or about five seconds have passed.
template <typename Done> bool waitUntil(Done done)
{
    for (int i = 0; i < 100 && !done(); ++i)
        QTest::qWait(50);
    return done();
}

// Whether the process has ended, or does within `ms` (it may have while the test waited).
bool ended(QProcess &process, int ms = 15000)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(ms);
}

// A number the logger printed on standard error, as in "disk full: 12 readings not written".
int numberBefore(const QString &err, const QString &text)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("(\\d+) ") + text).match(err);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

const QStringList kFromStdin = {QStringLiteral("--model"), QStringLiteral("IFOR210"),
                                QStringLiteral("--input"), QStringLiteral("-")};

TEST(Log, WritesTheThreeKindsOfOutput)
{
    QTemporaryDir dir;
    const QByteArray input = frames({1, 2, 2, 3});
    const LogRun tsv = runLog(kFromStdin, input);
    ASSERT_EQ(tsv.exitCode, 0) << tsv.err.toStdString();
    const QList<QByteArray> lines = tsv.out.split('\n');
    ASSERT_EQ(lines.size(), 4) << "three readings (a repeat is filtered) and the final line end";
    EXPECT_TRUE(lines[0].endsWith("\t1.001\tV\tDC\tMANU\t1001")) << lines[0].toStdString();
    EXPECT_TRUE(tsv.err.contains(QStringLiteral("3 readings recorded"))) << tsv.err.toStdString();

    const LogRun jsonl =
        runLog(kFromStdin + QStringList{QStringLiteral("--format"), QStringLiteral("jsonl")}, input);
    const QJsonObject first = QJsonDocument::fromJson(jsonl.out.split('\n').value(0)).object();
    EXPECT_EQ(first.value(QStringLiteral("no")).toInt(), 1);
    EXPECT_EQ(first.value(QStringLiteral("value")).toString(), QStringLiteral("1.001"));
    EXPECT_EQ(first.value(QStringLiteral("nval")).toDouble(), 1001);
    EXPECT_EQ(QDateTime::fromString(first.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs).date(),
              QDate::currentDate());

    const LogRun csv = runLog(kFromStdin + QStringList{QStringLiteral("--format=csv")}, input);
    EXPECT_EQ(csv.out.split('\n').value(0), "time,no,value,unit,si,si_unit,dcac,auto,nval,overload\r");
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d),"
                                   "3,1.003,V,1.003,V,DC,MANU,1003,false\r$"))
                    .match(QString::fromUtf8(csv.out.split('\n').value(3)))
                    .hasMatch())
        << csv.out.toStdString();
    const LogRun headed = runLog(kFromStdin + QStringList{QStringLiteral("--format"), QStringLiteral("tsv"),
                                                          QStringLiteral("--header")},
                                 input);
    EXPECT_EQ(headed.out.split('\n').value(0), "time\tvalue\tunit\tdcac\tauto\tnval");
    EXPECT_EQ(headed.out.split('\n').value(1).mid(12), lines[0].mid(12)) << "the lines as without --header";

    const QString text = dir.filePath(QStringLiteral("run.txt"));
    ASSERT_EQ(runLog(kFromStdin + QStringList{QStringLiteral("--out"), text}, input).exitCode, 0);
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    EXPECT_EQ(rows[0], "No\tTime\tDC/AC\tValue\tUnit\tAUTO\r");
    EXPECT_TRUE(rows[3].startsWith("3\t") && rows[3].endsWith("\tDC\t1.003\tV\tMANU\r"))
        << rows[3].toStdString();

    const QString table = dir.filePath(QStringLiteral("run.db"));
    ASSERT_EQ(runLog(kFromStdin + QStringList{QStringLiteral("--out"), table}, input).exitCode, 0);
    EXPECT_EQ(tableRows(table), (std::vector<std::string>{"1 1.001", "2 1.002", "3 1.003"}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{QStringLiteral("run.db"), QStringLiteral("run.txt")}))
        << "no side file once the log ends";
}

TEST(Log, AppendsOnlyWhenAskedAndNumbersOn)
{
    QTemporaryDir dir;
    for (const char *name : {"run.db", "run.txt"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        const QStringList out = kFromStdin + QStringList{QStringLiteral("--out"), path};
        ASSERT_EQ(runLog(out, frames({1, 2})).exitCode, 0);
        const LogRun refused = runLog(out, frames({3}));
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains(QStringLiteral("add --append"))) << refused.err.toStdString();
        ASSERT_EQ(runLog(out + QStringList{QStringLiteral("--append")}, frames({3, 4})).exitCode, 0);
        if (path.endsWith(QLatin1String(".db"))) {
            EXPECT_EQ(tableRows(path),
                      (std::vector<std::string>{"1 1.001", "2 1.002", "3 1.003", "4 1.004"}));
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QList<QByteArray> lines = file.readAll().split('\n');
            ASSERT_EQ(lines.size(), 6);
            EXPECT_TRUE(lines[4].startsWith("4\t")) << lines[4].toStdString();
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                    [](const QByteArray &l) { return l.startsWith("No\t"); }),
                      1)
                << "one header";
        }
    }
}

TEST(Log, AppendingToANewFileStartsIt)
{
    QTemporaryDir dir;
    for (const char *name : {"new.db", "new.txt"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromLatin1(name));
        const LogRun run =
            runLog(kFromStdin + QStringList{QStringLiteral("--out"), path, QStringLiteral("--append")},
                   frames({1, 2}));
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        if (path.endsWith(QLatin1String(".db"))) {
            EXPECT_EQ(tableRows(path), (std::vector<std::string>{"1 1.001", "2 1.002"}));
            continue;
        }
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        ASSERT_EQ(lines.size(), 4);
        EXPECT_TRUE(lines[0].startsWith("No\t")) << "the header first";
        EXPECT_TRUE(lines[1].startsWith("1\t")) << lines[1].toStdString();
        EXPECT_TRUE(lines[2].startsWith("2\t")) << lines[2].toStdString();
    }
}

TEST(Log, RefusalsSayWhatIsWrong)
{
    const struct
    {
        QStringList args;
        int exitCode;
        const char *says;
    } cases[] = {
        {{QStringLiteral("--input"), QStringLiteral("-")}, 2, "--model is needed"},
        {{QStringLiteral("--model"), QStringLiteral("IFOR999"), QStringLiteral("--input"),
          QStringLiteral("-")},
         2,
         "unknown model selector"},
        {{QStringLiteral("--model"), QStringLiteral("IFOR210")}, 2, "give one of"},
        {kFromStdin + QStringList{QStringLiteral("--append")}, 2, "--append goes with --out"},
        {kFromStdin + QStringList{QStringLiteral("--interval"), QStringLiteral(" 5")}, 2, "whole number"},
        {{QStringLiteral("--model"), QStringLiteral("IFOR210"), QStringLiteral("--device"),
          QStringLiteral("/dev/no-such-meter")},
         1,
         "/dev/no-such-meter: "},
        {kFromStdin + QStringList{QStringLiteral("--out"), QString()}, 2, "--out needs a file name"},
        {kFromStdin + QStringList{QStringLiteral("--out=")}, 2, "--out needs a file name"},
        {kFromStdin + QStringList{QStringLiteral("--time=5x")}, 2, "--time takes a duration"},
        {kFromStdin + QStringList{QStringLiteral("--time"), QStringLiteral("0s")}, 2, "--time takes"},
        {kFromStdin + QStringList{QStringLiteral("--samples=0")}, 2, "--samples takes"},
        {kFromStdin + QStringList{QStringLiteral("--no-repeat-filter=yes")}, 2, "takes no value"},
        {kFromStdin + QStringList{QStringLiteral("--mqtt-queue=10")}, 2, "--mqtt-queue goes with --mqtt"},
        {kFromStdin + QStringList{QStringLiteral("--format=jsonl"), QStringLiteral("--header")}, 2,
         "--header goes with --format tsv"},
        {kFromStdin + QStringList{QStringLiteral("--format=xml")}, 2, "tsv, jsonl or csv"},
    };
    for (const auto &c : cases) {
        const LogRun run = runLog(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.says))) << run.err.toStdString();
    }
}

// A logger reading a pseudo-terminal behind a link, as a USB adapter appears under a stable name.
struct LiveLog
{
    QTemporaryDir dir;
    PseudoTerminal pty;
    QString link = dir.filePath(QStringLiteral("ttyMeter"));
    QString table = dir.filePath(QStringLiteral("live.db"));
    QProcess log;
    int sent = 0;

    bool start(const QStringList &more = {})
    {
        QFile::link(pty.slavePath(), link);
        log.start(QStringLiteral(METERLINK_CLI_PATH),
                  QStringList{QStringLiteral("log"), QStringLiteral("--model"), QStringLiteral("IFOR210"),
                              QStringLiteral("--device"), link, QStringLiteral("--out"), table} +
                      more);
        return log.waitForStarted(5000);
    }
    // 20 frames a second for `ms`.
    void send(PseudoTerminal &to, int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            to.writeAll(frame(sent++));
            QTest::qWait(50);
        }
    }
};

TEST(Log, SamplesAndTimeEndTheLog)
{
    const LogRun counted =
        runLog(kFromStdin + QStringList{QStringLiteral("--samples=3"), QStringLiteral("--no-repeat-filter")},
               frames({1, 1, 2, 3, 4}));
    EXPECT_EQ(counted.exitCode, 0);
    EXPECT_EQ(counted.out.count('\n'), 3);
    EXPECT_TRUE(counted.err.contains(QStringLiteral("3 readings recorded"))) << counted.err.toStdString();

    // A pipe that stays open: only the time ends the log.
    QProcess log;
    log.start(QStringLiteral(METERLINK_CLI_PATH),
              QStringList{QStringLiteral("log")} + kFromStdin +
                  QStringList{QStringLiteral("--time"), QStringLiteral("1s")});
    ASSERT_TRUE(log.waitForStarted(5000));
    log.write(frames({1, 2}));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(log.waitForFinished(10000));
    EXPECT_GE(clock.elapsed(), 500);
    EXPECT_EQ(log.exitCode(), 0);
    EXPECT_EQ(log.readAllStandardOutput().count('\n'), 2);
}

// Frames written to a pseudo-terminal at known instants: each reading carries its own frame's
// arrival, not the moment a poll found it; frames that arrive together are spread by their bytes.
TEST(Log, EachReadingCarriesItsOwnFramesArrival)
{
    PseudoTerminal pty;
    QProcess log;
    log.start(QStringLiteral(METERLINK_CLI_PATH),
              {QStringLiteral("log"), QStringLiteral("--model=IFOR210"), QStringLiteral("--device"),
               pty.slavePath(), QStringLiteral("--format=jsonl"), QStringLiteral("--no-repeat-filter")});
    ASSERT_TRUE(log.waitForStarted(5000));
    QTest::qWait(500);
    std::vector<qint64> written;
    for (int i = 0; i < 12; ++i) {
        written.push_back(QDateTime::currentMSecsSinceEpoch());
        pty.writeAll(frame(i));
        QTest::qWait(80); // longer than a frame takes on the line at 2400 baud
    }
    QTest::qWait(200);
    pty.writeAll(frames({20, 21, 22}));
    QTest::qWait(500);
    ::kill(pid_t(log.processId()), SIGINT);
    ASSERT_TRUE(log.waitForFinished(5000));
    std::vector<qint64> times;
    for (const QByteArray &line : log.readAllStandardOutput().trimmed().split('\n'))
        times.push_back(QDateTime::fromString(
                            QJsonDocument::fromJson(line).object().value(QStringLiteral("time")).toString(),
                            Qt::ISODateWithMs)
                            .toMSecsSinceEpoch());
    ASSERT_EQ(times.size(), 15u);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    std::vector<qint64> lags;
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_GE(times[i], written[i]) << i;
        lags.push_back(times[i] - written[i]);
    }
    std::nth_element(lags.begin(), lags.begin() + 6, lags.end());
    EXPECT_LT(lags[6], 20) << "the median lag: read when the bytes arrive, not on a 50 ms poll";
    // 10 bits a byte at 2400 baud.
    const qint64 frameMs = std::llround(frame(0).size() * 10 * 1000.0 / 2400);
    EXPECT_NEAR(times[13] - times[12], frameMs, 1);
    EXPECT_NEAR(times[14] - times[13], frameMs, 1);
}

TEST(Log, AKilledLogLosesAtMostTheLastSecond)
{
    LiveLog live;
    ASSERT_TRUE(live.start());
    QTest::qWait(300);
    live.send(live.pty, 3000);
    ::kill(pid_t(live.log.processId()), SIGKILL);
    live.log.waitForFinished(5000);
    EXPECT_EQ(tableRows(live.table, "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    EXPECT_GE(int(tableRows(live.table).size()), live.sent - 20);
}

TEST(Log, AnInterruptedLogSummarisesAndGoesOnAfterAnUnplug)
{
    LiveLog live;
    ASSERT_TRUE(live.start());
    QTest::qWait(300);
    live.send(live.pty, 1000);
    // Unplugged: the device goes; a new one appears under the same name.
    QFile::remove(live.link);
    live.pty.closeMaster();
    QTest::qWait(500);
    PseudoTerminal again;
    QFile::link(again.slavePath(), live.link);
    QTest::qWait(2000); // reopened about once a second
    live.send(again, 1000);
    QTest::qWait(300);
    ::kill(pid_t(live.log.processId()), SIGINT);
    ASSERT_TRUE(live.log.waitForFinished(5000));
    EXPECT_EQ(live.log.exitCode(), 0);
    const QString err = QString::fromUtf8(live.log.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("reconnected"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("%1 readings recorded").arg(live.sent))) << err.toStdString();
    EXPECT_EQ(int(tableRows(live.table).size()), live.sent) << "one file, every reading";
}

TEST(Log, TheLimitEndsALogFromADeviceAfterTheLastReadingItAllows)
{
    LiveLog live;
    ASSERT_TRUE(live.start({QStringLiteral("--limit"), QStringLiteral("4")}));
    QTest::qWait(300);
    live.send(live.pty, 1000);
    ASSERT_TRUE(ended(live.log, 5000)) << "the log ends by itself";
    EXPECT_EQ(live.log.exitCode(), 0);
    EXPECT_TRUE(
        QString::fromUtf8(live.log.readAllStandardError()).contains(QStringLiteral("5 readings recorded")));
    EXPECT_EQ(rowCount(live.table), 5) << "the limit N keeps N+1 readings, as in the window";
}

TEST(Log, APipeThatStaysOpenIsWrittenAndASignalEndsTheLog)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        QTemporaryDir dir;
        const QString table = dir.filePath(QStringLiteral("piped.db"));
        QProcess log;
        log.start(QStringLiteral(METERLINK_CLI_PATH), QStringList{QStringLiteral("log")} + kFromStdin +
                                                          QStringList{QStringLiteral("--out"), table});
        ASSERT_TRUE(log.waitForStarted(5000));
        log.write(frames({1, 2, 3}));
        EXPECT_TRUE(waitUntil([&] { return rowCount(table) == 3; })) << "written while the pipe is open";
        ::kill(pid_t(log.processId()), signal);
        ASSERT_TRUE(log.waitForFinished(5000)) << "signal " << signal << " ends the log without end of input";
        EXPECT_EQ(log.exitCode(), 0);
        EXPECT_TRUE(
            QString::fromUtf8(log.readAllStandardError()).contains(QStringLiteral("3 readings recorded")));
    }
}

TEST(Log, AnotherProgramsWriteLockDelaysTheLogAndLosesNothing)
{
    QTemporaryDir dir;
    const QString table = dir.filePath(QStringLiteral("shared.db"));
    QProcess log;
    log.start(QStringLiteral(METERLINK_CLI_PATH),
              QStringList{QStringLiteral("log")} + kFromStdin + QStringList{QStringLiteral("--out"), table});
    ASSERT_TRUE(log.waitForStarted(5000));
    int sent = 0;
    const auto send = [&](int count) {
        for (int i = 0; i < count; ++i) {
            log.write(frame(sent++));
            QTest::qWait(50);
        }
    };
    send(10);
    ASSERT_TRUE(waitUntil([&] { return rowCount(table) == 10; }));
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(table).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    send(80); // four seconds
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    send(10);
    log.closeWriteChannel();
    ASSERT_TRUE(log.waitForFinished(15000));
    const QString err = QString::fromUtf8(log.readAllStandardError());
    EXPECT_EQ(log.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("writing waits")) && err.contains(QStringLiteral("again")))
        << err.toStdString();
    EXPECT_EQ(numberBefore(err, QStringLiteral("readings recorded")), sent);
    EXPECT_EQ(tableRows(table, "SELECT count(DISTINCT No) || ' ' || max(No) FROM Readings"),
              std::vector<std::string>{std::to_string(sent) + ' ' + std::to_string(sent)});
}

TEST(Log, AFullDiskEndsTheLogSayingHowManyReadingsAreNotInTheFile)
{
    const int sent = 2000;
    // The text file, the table, and standard output redirected into a file.
    for (const char *name : {"full.txt", "full.db", "full.tsv"}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QString::fromLatin1(name));
        const bool toStdout = path.endsWith(QLatin1String(".tsv"));
        QProcess log;
        // The file may not grow past 64 KiB: the disk is full for this process alone.
        log.setChildProcessModifier([] {
            const rlimit limit{64 * 1024, 64 * 1024};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_IGN);
        });
        if (toStdout)
            log.setStandardOutputFile(path);
        log.start(QStringLiteral(METERLINK_CLI_PATH),
                  QStringList{QStringLiteral("log")} + kFromStdin +
                      (toStdout ? QStringList() : QStringList{QStringLiteral("--out"), path}));
        // In parts that are written separately: some fit, then the disk is full.
        for (int i = 0; i < sent; ++i) {
            log.write(frame(i));
            if (i % 500 == 499)
                QTest::qWait(600);
        }
        log.closeWriteChannel();
        ASSERT_TRUE(ended(log));
        const QString err = QString::fromUtf8(log.readAllStandardError());
        EXPECT_EQ(log.exitCode(), 1) << name;
        const int notWritten = numberBefore(err, QStringLiteral("readings not written"));
        EXPECT_TRUE(err.contains(QStringLiteral("disk full: "))) << err.toStdString();
        int inFile = 0;
        if (path.endsWith(QLatin1String(".db"))) {
            inFile = rowCount(path);
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray text = file.readAll();
            EXPECT_TRUE(text.endsWith('\n')) << name << ": no part of a line";
            inFile = int(text.count('\n')) - (toStdout ? 0 : 1);
        }
        EXPECT_GT(inFile, 0) << name;
        EXPECT_EQ(numberBefore(err, QStringLiteral("readings recorded")), inFile) << name;
        // Nothing is read once the log has failed; what it had read is in the file or counted.
        EXPECT_GT(notWritten, 0) << name;
        EXPECT_LE(inFile + notWritten, sent) << name;
    }
}

TEST(Log, AppendingCutsAnUnfinishedLastLineFirst)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cut.txt"));
    const QStringList out = kFromStdin + QStringList{QStringLiteral("--out"), path};
    ASSERT_EQ(runLog(out, frames({1, 2})).exitCode, 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("3\t12:0");
    file.close();
    const LogRun appended = runLog(out + QStringList{QStringLiteral("--append")}, frames({3}));
    EXPECT_EQ(appended.exitCode, 0);
    EXPECT_TRUE(appended.err.contains(QStringLiteral("unfinished"))) << appended.err.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[3].startsWith("3\t") && lines[3].endsWith("\tDC\t1.003\tV\tMANU\r"))
        << lines[3].toStdString();
}

} // namespace
