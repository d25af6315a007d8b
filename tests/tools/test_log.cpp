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

#include <csignal>
#include <sqlite3.h>

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

    bool start()
    {
        QFile::link(pty.slavePath(), link);
        log.start(QStringLiteral(METERLINK_CLI_PATH),
                  {QStringLiteral("log"), QStringLiteral("--model"), QStringLiteral("IFOR210"),
                   QStringLiteral("--device"), link, QStringLiteral("--out"), table});
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

} // namespace
