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
#include <sqlite3.h>

namespace {

// A frame that differs from every other, so each one is recorded.
QByteArray frame(int i)
{
    const std::vector<uint8_t> bytes = or200VoltsFrame(1000 + i);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

struct RecoveryContents
{
    std::string integrity;
    std::vector<int64_t> numbers;
};

RecoveryContents readRecovery(const QString &path)
{
    RecoveryContents out;
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

// Runs a recording window in a child process on a pseudo-terminal, feeds it 20 frames a second for
// three seconds, then ends it with `signal`. Returns how many frames were sent.
int recordThenSignal(const QString &folder, int signal, QString *ptyName)
{
    PseudoTerminal pty;
    *ptyName = QFileInfo(pty.slavePath()).fileName();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("METERLINK_NO_SOUND"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QStringLiteral(RECORDING_CHILD), {folder, pty.slavePath()});
    if (!child.waitForReadyRead(10000) || !child.readAll().contains("recording"))
        return -1;
    int sent = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 3000) {
        pty.writeAll(frame(sent++));
        QTest::qWait(50);
    }
    ::kill(pid_t(child.processId()), signal);
    child.waitForFinished(10000);
    return sent;
}

TEST(RecoveryProcess, AKilledRunLosesAtMostTheLastSecond)
{
    QTemporaryDir folder;
    QString pty;
    const int sent = recordThenSignal(folder.path(), SIGKILL, &pty);
    ASSERT_GT(sent, 40);
    const QString path = folder.filePath(QStringLiteral("Vs500db-recovery.db"));
    TableStore offered; // as the next start reads it, with the log the kill left beside it
    ASSERT_TRUE(offered.openFile(path)) << offered.lastError().toStdString();
    offered.close();
    const RecoveryContents file = readRecovery(path);
    EXPECT_EQ(file.integrity, "ok");
    ASSERT_GE(int(file.numbers.size()), sent - 20) << "more than a second of readings lost";
    for (size_t i = 0; i < file.numbers.size(); ++i)
        ASSERT_EQ(file.numbers[i], int64_t(i + 1)) << "numbered without gaps";

    // The killed run's lock on the port goes when the program runs again.
    const QString lock = QStringLiteral("/var/lock/LCK..pts_") + pty;
    EXPECT_TRUE(QFileInfo::exists(lock)) << lock.toStdString();
    TSerialPortDriver::removeStaleLock(QStringLiteral("/dev/pts/") + pty);
    EXPECT_FALSE(QFileInfo::exists(lock));
}

TEST(RecoveryProcess, ATerminatedRunKeepsEveryReadingAndLeavesNoSideFile)
{
    QTemporaryDir folder;
    QString pty;
    const int sent = recordThenSignal(folder.path(), SIGTERM, &pty);
    ASSERT_GT(sent, 40);
    const RecoveryContents file = readRecovery(folder.filePath(QStringLiteral("Vs500db-recovery.db")));
    EXPECT_EQ(file.integrity, "ok");
    EXPECT_EQ(int(file.numbers.size()), sent);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("Vs500db-recovery.db"), QStringLiteral("Vs500db.DB")}));
    for (const char *lockFolder : {"/run/lock", "/var/lock"}) {
        const QStringList locks = QDir(QString::fromLatin1(lockFolder)).entryList({QStringLiteral("LCK..*")});
        for (const QString &lock : locks)
            EXPECT_FALSE(lock.contains(pty)) << lockFolder << "/" << lock.toStdString();
    }
}

} // namespace
