#include "app/UnsavedReadings.h"
#include "app/VS500F.h"
#include "decode/FrameEncoders.h"
#include "serial/SerialDriver.h"
#include "store/TableStore.h"
#include "support/PseudoTerminal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <sqlite3.h>

namespace {

// A frame that differs from every other, so each one is recorded.
QByteArray frame(int i)
{
    const std::vector<uint8_t> bytes = or200VoltsFrame(1000 + i);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

struct TableContents
{
    std::string integrity;
    std::vector<int64_t> numbers;
};

TableContents readTable(const QString &path)
{
    TableContents out;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            out.integrity = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
        if (sqlite3_prepare_v2(db, "SELECT No FROM Readings ORDER BY rowid", -1, &s, nullptr) == SQLITE_OK) {
            while (sqlite3_step(s) == SQLITE_ROW)
                out.numbers.push_back(sqlite3_column_int64(s, 0));
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return out;
}

// Every No in the recovery files a run left in folder.
std::vector<int64_t> recoveredNumbers(const QString &folder)
{
    std::vector<int64_t> all;
    for (const QString &name :
         QDir(folder).entryList({QStringLiteral("Vs500db-recovery*.db")}, QDir::Files)) {
        const TableContents file = readTable(QDir(folder).filePath(name));
        EXPECT_EQ(file.integrity, "ok") << name.toStdString();
        all.insert(all.end(), file.numbers.begin(), file.numbers.end());
    }
    return all;
}

// Whether numbers holds every No from first to last exactly once.
::testing::AssertionResult everyNumberOnce(std::vector<int64_t> numbers, int64_t first, int64_t last)
{
    std::sort(numbers.begin(), numbers.end());
    std::vector<int64_t> expected;
    for (int64_t n = first; n <= last; ++n)
        expected.push_back(n);
    if (numbers == expected)
        return ::testing::AssertionSuccess();
    std::set<int64_t> missing(expected.begin(), expected.end());
    for (int64_t n : numbers)
        missing.erase(n);
    return ::testing::AssertionFailure()
           << numbers.size() << " numbers for " << first << ".." << last << "; " << missing.size()
           << " missing" << (missing.empty() ? "" : ", the first ")
           << (missing.empty() ? 0 : *missing.begin());
}

// A table of `rows` readings numbered 1..rows, large enough that opening or saving it takes a while.
QString bigTable(const QString &folder, int rows)
{
    const QString path = QDir(folder).filePath(QStringLiteral("big.db"));
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    const std::string sql =
        "PRAGMA journal_mode=OFF; CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, "
        "Unit TEXT, AUTO TEXT, Nval REAL); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < " +
        std::to_string(rows) +
        ") INSERT INTO Readings SELECT i, '10:00:00.000', 'DC', '1.000', 'V', 'AUTO', 1000 FROM n;";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    return path;
}
constexpr int kBigRows = 3000000;

// A recording window in a child process (recording_child), fed from a pseudo-terminal at 100 frames
// a second whenever the test waits on it.
class RecordingWindow
{
public:
    explicit RecordingWindow(const QString &folder, const QStringList &extra = {}, bool waitRecording = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("METERLINK_NO_SOUND"), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.start(QStringLiteral(RECORDING_CHILD), QStringList{folder, pty.slavePath()} + extra);
        if (waitRecording)
            recording = waitForLine("recording", 10000, false);
    }
    ~RecordingWindow()
    {
        if (child.state() != QProcess::NotRunning) {
            child.kill();
            child.waitForFinished(5000);
        }
    }

    // Sends the frames due since feeding began.
    void feedDue()
    {
        if (!m_feeding) {
            m_feeding = true;
            m_fed.start();
            m_fedBefore = sent;
        }
        while (sent < m_fedBefore + int(m_fed.elapsed() / 10))
            pty.writeAll(frame(sent++));
    }
    void stopFeeding() { m_feeding = false; }
    void feedFor(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            feedDue();
            QTest::qWait(5);
        }
    }
    // Waits for a line on the child's output (frames keep coming when feeding).
    bool waitForLine(const QByteArray &line, int timeoutMs, bool feeding = true)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            if (feeding)
                feedDue();
            while (child.canReadLine()) {
                const QByteArray got = child.readLine().trimmed();
                lines << QString::fromLocal8Bit(got);
                if (got == line)
                    return true;
            }
            if (child.state() == QProcess::NotRunning)
                return false;
            child.waitForReadyRead(5);
        }
        return false;
    }
    bool command(const QByteArray &line, bool feeding = true)
    {
        child.write(line + '\n');
        return waitForLine("done", 60000, feeding);
    }
    void signal(int s) { ::kill(pid_t(child.processId()), s); }
    bool waitForExit(int timeoutMs) { return child.waitForFinished(timeoutMs); }

    PseudoTerminal pty;
    QProcess child;
    QStringList lines;
    bool recording = false;
    int sent = 0;

private:
    QElapsedTimer m_fed;
    int m_fedBefore = 0;
    bool m_feeding = false;
};

TEST(RecoveryProcess, AKilledRunLosesAtMostTheLastSecond)
{
    QTemporaryDir folder;
    RecordingWindow run(folder.path());
    ASSERT_TRUE(run.recording);
    run.feedFor(3000);
    const QString pty = QFileInfo(run.pty.slavePath()).fileName();
    run.signal(SIGKILL);
    run.waitForExit(10000);
    const QString path = folder.filePath(QStringLiteral("Vs500db-recovery.db"));
    TableStore offered; // as the next start reads it, with the log the kill left beside it
    ASSERT_TRUE(offered.openFile(path)) << offered.lastError().toStdString();
    offered.close();
    const TableContents file = readTable(path);
    EXPECT_EQ(file.integrity, "ok");
    ASSERT_GE(int(file.numbers.size()), run.sent - 100) << "more than a second of readings lost";
    EXPECT_TRUE(everyNumberOnce(file.numbers, 1, int64_t(file.numbers.size())));

    // The killed run's lock on the port goes when the program runs again.
    const QString lock = QStringLiteral("/var/lock/LCK..pts_") + pty;
    EXPECT_TRUE(QFileInfo::exists(lock)) << lock.toStdString();
    TSerialPortDriver::removeStaleLock(QStringLiteral("/dev/pts/") + pty);
    EXPECT_FALSE(QFileInfo::exists(lock));
}

TEST(RecoveryProcess, ATerminatedRunKeepsEveryReadingAndLeavesNoSideFile)
{
    QTemporaryDir folder;
    RecordingWindow run(folder.path());
    ASSERT_TRUE(run.recording);
    run.feedFor(3000);
    QTest::qWait(200); // the last frames reach the window
    const QString pty = QFileInfo(run.pty.slavePath()).fileName();
    run.signal(SIGTERM);
    ASSERT_TRUE(run.waitForExit(10000));
    const TableContents file = readTable(folder.filePath(QStringLiteral("Vs500db-recovery.db")));
    EXPECT_EQ(file.integrity, "ok");
    EXPECT_TRUE(everyNumberOnce(file.numbers, 1, run.sent));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("Vs500db-recovery.db"), QStringLiteral("Vs500db.DB")}));
    for (const char *lockFolder : {"/run/lock", "/var/lock"})
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("%1/LCK..pts_%2").arg(QLatin1String(lockFolder), pty)));
}

// The readings that arrive while a save runs are not in the saved file: they stay pending, in the
// recovery file, and a crash after the save loses none of them.
TEST(RecoveryProcess, ASaveWhileRecordingKeepsTheReadingsThatArriveDuringIt)
{
    QTemporaryDir folder;
    const QString big = bigTable(folder.path(), kBigRows);
    RecordingWindow run(folder.path());
    ASSERT_TRUE(run.recording);
    ASSERT_TRUE(run.command("open " + big.toLocal8Bit(), false)); // nothing unsaved: nothing asked
    run.feedFor(500);
    const QString saved = folder.filePath(QStringLiteral("saved.db"));
    QElapsedTimer saving;
    saving.start();
    ASSERT_TRUE(run.command("save " + saved.toLocal8Bit()));
    const qint64 savingMs = saving.elapsed();
    run.feedFor(1500);
    run.signal(SIGKILL);
    run.waitForExit(10000);

    std::vector<int64_t> numbers = recoveredNumbers(folder.path());
    const size_t inRecovery = numbers.size();
    const TableContents file = readTable(saved);
    ASSERT_EQ(file.integrity, "ok");
    for (int64_t no : file.numbers) {
        if (no > kBigRows)
            numbers.push_back(no);
    }
    ASSERT_GT(inRecovery, 0u);
    ASSERT_FALSE(numbers.empty());
    const int64_t last = *std::max_element(numbers.begin(), numbers.end());
    EXPECT_TRUE(everyNumberOnce(numbers, kBigRows + 1, last)) << "save took " << savingMs << " ms";
    EXPECT_GE(last - kBigRows, run.sent - 100) << "more than a second of readings lost";
}

// Open, answered Save…: the readings recorded while the save and the open ran are carried into a
// recovery file for the next start, and the new table's numbers go on after its highest.
TEST(RecoveryProcess, AnOpenWhileRecordingCarriesTheReadingsThatArriveAfterTheAnswer)
{
    QTemporaryDir folder;
    const QString big = bigTable(folder.path(), kBigRows);
    RecordingWindow run(folder.path());
    ASSERT_TRUE(run.recording);
    run.feedFor(1000);
    const QString saved = folder.filePath(QStringLiteral("saved.db"));
    ASSERT_TRUE(run.command("open " + big.toLocal8Bit() + " save " + saved.toLocal8Bit()));
    run.feedFor(1500);
    run.signal(SIGKILL);
    run.waitForExit(10000);
    EXPECT_TRUE(QString::fromLocal8Bit(run.child.readAllStandardError())
                    .contains(QStringLiteral(
                        "readings recorded while the table was being chosen and opened are not in it")));

    std::vector<int64_t> before, after;
    for (int64_t no : recoveredNumbers(folder.path()))
        (no > kBigRows ? after : before).push_back(no);
    const size_t carried = before.size();
    for (int64_t no : readTable(saved).numbers)
        before.push_back(no);
    ASSERT_GT(carried, 0u);
    ASSERT_FALSE(after.empty());
    const int64_t lastBefore = *std::max_element(before.begin(), before.end());
    EXPECT_TRUE(everyNumberOnce(before, 1, lastBefore));
    EXPECT_TRUE(everyNumberOnce(after, kBigRows + 1, *std::max_element(after.begin(), after.end())));
    EXPECT_GE(int64_t(before.size() + after.size()), run.sent - 100) << "more than a second of readings lost";
}

// SIGTERM while a box waits for an answer ends the window without the question; the recovery file
// keeps every reading and earlier files stay for the next start.
TEST(RecoveryProcess, ASignalEndsTheWindowWhileAMessageBoxIsOpen)
{
    const struct
    {
        const char *name;
        bool leftOver;  // a file an earlier run left: its offer is a box at the first show
        bool junkTable; // a working table that is not one: its box comes before the window shows
        bool ask;       // Exit, whose question is a box
    } cases[] = {
        {"the closing question", false, false, true},
        {"the offer of a left-over file", true, false, false},
        {"a box before the window shows", false, true, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        const QString leftOver = folder.filePath(QStringLiteral("Vs500db-recovery.db"));
        if (c.leftOver) {
            ASSERT_TRUE(QFile::rename(bigTable(folder.path(), 10), leftOver));
        }
        if (c.junkTable) {
            QFile junk(folder.filePath(QStringLiteral("Vs500db.DB")));
            ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
            junk.write(QByteArray(4096, 'x'));
        }
        RecordingWindow run(folder.path(), {QStringLiteral("--boxes")}, !c.junkTable);
        if (!c.junkTable) {
            ASSERT_TRUE(run.recording);
            run.feedFor(1000);
        }
        if (c.ask) {
            run.child.write("ask\n");
            ASSERT_TRUE(run.waitForLine("asking", 5000));
        }
        run.feedFor(500);
        run.stopFeeding();
        QTest::qWait(200); // the last frames reach the window
        run.signal(SIGTERM);
        ASSERT_TRUE(run.waitForExit(5000)) << "still running";
        EXPECT_EQ(run.child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.child.exitCode(), 0);
        if (c.junkTable)
            continue;
        if (c.leftOver) {
            EXPECT_EQ(readTable(leftOver).numbers.size(), 10u) << "kept for the next start";
            QFile::remove(leftOver);
        }
        EXPECT_TRUE(everyNumberOnce(recoveredNumbers(folder.path()), 1, run.sent));
    }
}

// A full disk turns crash protection off and says so; once there is room again every pending reading
// is written again, so a crash then loses none of those recorded while the disk was full.
TEST(RecoveryProcess, AFullDiskIsSaidAndRecoveryResumesWithEveryReadingOnceThereIsRoom)
{
    QTemporaryDir folder;
    RecordingWindow run(folder.path());
    ASSERT_TRUE(run.recording);
    run.feedFor(1000);
    ASSERT_TRUE(run.command("fsize 0"));
    run.feedFor(1500);
    ASSERT_TRUE(run.command("status"));
    EXPECT_TRUE(run.lines.join(QLatin1Char('\n')).contains(QStringLiteral("Crash protection is off")))
        << run.lines.join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(run.command("unlimit"));
    run.feedFor(UnsavedReadings::kRetryIntervalMs + 1500);
    run.lines.clear();
    ASSERT_TRUE(run.command("status"));
    EXPECT_TRUE(run.lines.join(QLatin1Char('\n')).contains(QStringLiteral("Crash protection is back")))
        << run.lines.join(QLatin1Char('\n')).toStdString();
    run.signal(SIGKILL);
    run.waitForExit(10000);
    const std::vector<int64_t> numbers = recoveredNumbers(folder.path());
    ASSERT_FALSE(numbers.empty());
    EXPECT_TRUE(everyNumberOnce(numbers, 1, *std::max_element(numbers.begin(), numbers.end())));
    EXPECT_GE(int(numbers.size()), run.sent - 100) << "more than a second of readings lost";
}

// A second window in a folder another one records in names it and says what to do.
TEST(RecoveryProcess, ASecondWindowInTheSameFolderNamesTheFirst)
{
    QTemporaryDir folder;
    RecordingWindow first(folder.path());
    ASSERT_TRUE(first.recording);
    QStringList messages;
    TFCOMM second;
    second.setWorkingFolder(folder.path());
    second.setMessageHook([&](QMessageBox::Icon, const QString &text) { messages << text; });
    second.FormCreate();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(
        QStringLiteral("Another MeterLink window (process %1) holds this folder's reading table ")
            .arg(first.child.processId())))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("does not record")));
    EXPECT_TRUE(messages[0].contains(QStringLiteral("in a folder of its own")));
    EXPECT_FALSE(second.readingTable()->isOpen());
}

} // namespace
