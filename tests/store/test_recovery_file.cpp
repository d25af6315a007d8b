#include "StoreTestSupport.h"

#include "store/DataFiles.h"
#include "store/RecoveryFile.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace storetest;

void appendRow(RecoveryFile &file, int64_t no)
{
    RowView row;
    row.no = no;
    row.time = "12:00:00.000";
    row.dcac = "DC";
    row.value = "a reading long enough to fill a small disk quickly, again and again";
    row.unit = "V";
    row.autoText = "AUTO";
    file.append(row);
}

// Runs `body` in a child process and returns its exit status: 0 when it held.
int inChild(const std::function<int()> &body)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(body());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST(RecoveryFile, AFullDiskLeavesTheFileWholeAndOneRewriteRestoresEveryRowOnceThereIsRoom)
{
    QTemporaryDir dir;
    const int status = inChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64 * 1024, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        RecoveryFile file;
        file.setFolder(dir.path());
        int64_t no = 1;
        bool full = false;
        for (int batch = 0; batch < 200; ++batch) {
            for (int i = 0; i < 20; ++i)
                appendRow(file, no++);
            full = !file.commit() || full;
        }
        if (!full)
            return 1;
        // Room again: the caller writes every row it still holds in place of what the file has.
        limit.rlim_cur = RLIM_INFINITY;
        setrlimit(RLIMIT_FSIZE, &limit);
        for (int64_t n = 1; n < no; ++n)
            appendRow(file, n);
        return file.commitReplacing() && file.rowsInFile() == no - 1 ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
    const QString path = dir.filePath(QStringLiteral("Vs500db-recovery.db"));
    EXPECT_EQ(queryRows(path, "PRAGMA integrity_check"), (std::vector<std::vector<std::string>>{{"ok"}}));
    EXPECT_EQ(queryRows(path, "SELECT count(*), min(No), max(No), count(DISTINCT No) FROM Readings"),
              (std::vector<std::vector<std::string>>{{"4000", "1", "4000", "4000"}}));
}

TEST(RecoveryFile, ALongRecordingWritesItsLogOverInPlaceAndAKillKeepsEveryCommittedRow)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Vs500db-recovery.db"));
    const int status = inChild([&] {
        RecoveryFile file;
        file.setFolder(dir.path());
        int64_t no = 1;
        for (int batch = 0; batch < 400; ++batch) {
            for (int i = 0; i < 3; ++i)
                appendRow(file, no++);
            if (!file.commit())
                return 1;
        }
        // Left without closing, as a kill leaves it.
        return QFileInfo(path + QStringLiteral("-wal")).size() <= 256 * 1024 ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(queryRows(path, "SELECT count(*), max(No), count(DISTINCT No) FROM Readings"),
              (std::vector<std::vector<std::string>>{{"1200", "1200", "1200"}}));
}

TEST(RecoveryFile, AFolderThatCannotBeWrittenFailsEveryCommitAndCreatesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                      QFileDevice::ReadOther | QFileDevice::ExeOther));
    const int status = inChild([&] {
        // Root writes anywhere: try as an unprivileged user.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return 3;
        RecoveryFile file;
        file.setFolder(dir.path());
        for (int64_t no = 1; no <= 3; ++no) {
            appendRow(file, no);
            if (file.commit() || file.error() != QLatin1String("Permission denied"))
                return 1;
        }
        return 0;
    });
    ASSERT_NE(status, 3) << "cannot drop privileges";
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(filesIn(dir.path()).isEmpty());
}

TEST(RecoveryFile, FilesOfARunningProgramAndEmptyOnesAreNotOffered)
{
    QTemporaryDir dir;
    RecoveryFile running;
    running.setFolder(dir.path());
    appendRow(running, 1);
    ASSERT_TRUE(running.commit());
    QFile empty(dir.filePath(QStringLiteral("Vs500db-recovery-2.db")));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    ASSERT_EQ(execSql(empty.fileName(), kCreateReadings), "");

    EXPECT_TRUE(RecoveryFile::findLeftOver(dir.path()).empty());
    EXPECT_FALSE(empty.exists());
    EXPECT_TRUE(QFile::exists(running.fileName()));
}

TEST(RecoveryFile, LeftOverFilesAreOfferedOldestFirst)
{
    QTemporaryDir dir;
    QStringList names;
    for (int64_t no : {1, 2}) {
        RecoveryFile file; // a run that ends without a word keeps its file, and the next takes "-2"
        file.setFolder(dir.path());
        appendRow(file, no);
        ASSERT_TRUE(file.commit());
        names << file.fileName();
    }
    ASSERT_EQ(names.size(), 2);
    ASSERT_NE(names[0], names[1]);
    // "Vs500db-recovery.db" is the older, as it is when a run kept it and the next took "-2".
    const QDateTime now = QDateTime::currentDateTime();
    QFile first(names[0]), second(names[1]);
    ASSERT_TRUE(first.open(QIODevice::ReadWrite) && second.open(QIODevice::ReadWrite));
    ASSERT_TRUE(first.setFileTime(now.addSecs(-3600), QFileDevice::FileModificationTime));
    ASSERT_TRUE(second.setFileTime(now.addSecs(-60), QFileDevice::FileModificationTime));
    first.close();
    second.close();
    const std::vector<RecoveryFile::LeftOver> found = RecoveryFile::findLeftOver(dir.path());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].fileName, names[0]);
    EXPECT_EQ(found[1].fileName, names[1]);
}

TEST(RecoveryFile, AFileThatMayNotBeReadIsListedAsUnreadableNotDamaged)
{
    QTemporaryDir dir;
    QString path;
    {
        RecoveryFile file;
        file.setFolder(dir.path());
        appendRow(file, 1);
        ASSERT_TRUE(file.commit());
        path = file.fileName();
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));
    const int status = inChild([&] {
        // Root reads anything: look as an unprivileged user.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return 3;
        const std::vector<RecoveryFile::LeftOver> found = RecoveryFile::findLeftOver(dir.path());
        return found.size() == 1 && found[0].unreadable &&
                       found[0].error == QLatin1String("Permission denied")
                   ? 0
                   : 1;
    });
    ASSERT_NE(status, 3) << "cannot drop privileges";
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(QFile::exists(path));
}

TEST(RecoveryFile, AFileWhoseLogAnotherProgramTookIsNoticedAndTakenBack)
{
    QTemporaryDir dir;
    RecoveryFile file;
    file.setFolder(dir.path());
    for (int64_t no = 1; no <= 3; ++no)
        appendRow(file, no);
    ASSERT_TRUE(file.commit());
    ASSERT_TRUE(file.isIntact());
    // Any open and close of the file in this process drops the engine's lock on it (as a file
    // dialog that reads the file's first bytes does); a client then reads it and, closing, folds the
    // log into the file and removes it.
    {
        QFile peek(file.fileName());
        ASSERT_TRUE(peek.open(QIODevice::ReadOnly));
    }
    QProcess client;
    client.start(QStringLiteral("sqlite3"),
                 {file.fileName(), QStringLiteral("SELECT count(*) FROM Readings")});
    ASSERT_TRUE(client.waitForFinished(10000));
    ASSERT_EQ(client.readAllStandardOutput().trimmed(), QByteArray("3"));
    ASSERT_FALSE(QFile::exists(file.fileName() + QStringLiteral("-wal")));
    EXPECT_FALSE(file.isIntact());
    ASSERT_TRUE(file.reclaim());
    for (int64_t no = 1; no <= 5; ++no)
        appendRow(file, no);
    ASSERT_TRUE(file.commitReplacing());
    EXPECT_TRUE(file.isIntact());
    const QString path = file.fileName();
    file.close(true);
    EXPECT_EQ(queryRows(path, "SELECT count(*), min(No), max(No) FROM Readings"),
              (std::vector<std::vector<std::string>>{{"5", "1", "5"}}));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("Vs500db-recovery-2.db")))) << "no second copy";
}

TEST(InterruptedSaves, OnlyOurOwnOldUnheldTemporaryFilesAreRemoved)
{
    QTemporaryDir dir;
    const QDateTime start = QDateTime::currentDateTime();
    const struct
    {
        const char *name;
        int ageSeconds; // before the start
        bool held;      // a save still writing it
        bool removed;
    } cases[] = {
        {".run.db.Ab12Cd.meterlink-part", 60, false, true},
        {".run.xls.Zz99zz.meterlink-part", 60, true, false},
        {".run.db.Xy34Wv.meterlink-part", -5, false, false},
        {".run.db.Ab12Cd", 60, false, false},
        {"run.db.Ab12Cd.meterlink-part", 60, false, false},
        {"Vs500db.DB", 60, false, false},
    };
    std::vector<std::unique_ptr<QFile>> open;
    std::vector<platform::File> held;
    for (const auto &c : cases) {
        auto file = std::make_unique<QFile>(dir.filePath(QLatin1String(c.name)));
        ASSERT_TRUE(file->open(QIODevice::ReadWrite));
        file->write("part");
        file->flush();
        ASSERT_TRUE(file->setFileTime(start.addSecs(-c.ageSeconds), QFileDevice::FileModificationTime));
        if (c.held) {
            held.push_back(
                platform::File::open(file->fileName().toStdString(), platform::File::Access::Write, nullptr));
            ASSERT_TRUE(holdFile(held.back()));
        }
        open.push_back(std::move(file));
    }
    removeInterruptedSaves(dir.path(), start);
    for (const auto &c : cases)
        EXPECT_EQ(QFile::exists(dir.filePath(QLatin1String(c.name))), !c.removed) << c.name;
}

} // namespace
