#include "StoreTestSupport.h"

#include "store/RecoveryFile.h"

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

TEST(RecoveryFile, AFullDiskIsSaidOnceAndLeavesTheFileWhole)
{
    QTemporaryDir dir;
    const int status = inChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        RecoveryFile file;
        int said = 0;
        QObject::connect(&file, &RecoveryFile::failed, [&] { ++said; });
        file.setFolder(dir.path());
        int64_t no = 1;
        bool full = false;
        for (int batch = 0; batch < 200; ++batch) {
            for (int i = 0; i < 20; ++i)
                appendRow(file, no++);
            full = !file.commit() || full;
        }
        return full && said == 1 ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    const QString path = dir.filePath(QStringLiteral("Vs500db-recovery.db"));
    EXPECT_EQ(queryRows(path, "PRAGMA integrity_check"), (std::vector<std::vector<std::string>>{{"ok"}}));
    EXPECT_GT(std::stoi(queryRows(path, "SELECT count(*) FROM Readings").at(0).at(0)), 0);
}

TEST(RecoveryFile, AFolderThatCannotBeWrittenIsSaidOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                      QFileDevice::ReadOther | QFileDevice::ExeOther));
    const int status = inChild([&] {
        // Root writes anywhere: try as an unprivileged user.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return 3;
        RecoveryFile file;
        int said = 0;
        QObject::connect(&file, &RecoveryFile::failed, [&] { ++said; });
        file.setFolder(dir.path());
        appendRow(file, 1);
        if (file.commit())
            return 1;
        for (int64_t no = 2; no <= 3; ++no) {
            appendRow(file, no);
            file.commit();
        }
        return said == 1 ? 0 : 2;
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

} // namespace
