#include "StoreTestSupport.h"

#include "platform/File.h"
#include "store/DataFiles.h"
#include "store/TableStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace storetest;

namespace {

// Reads rows through the TableRows interface only, so the export's general path is used.
class PlainRows : public TableRows
{
public:
    explicit PlainRows(const TableRows &rows) : m_rows(rows) {}
    int64_t rowCount() const override { return m_rows.rowCount(); }
    QString fieldText(int64_t row, TableColumn column) const override
    {
        return m_rows.fieldText(row, column);
    }

private:
    const TableRows &m_rows;
};

// Runs body in a child process as an unprivileged user (root may write anything) and returns its
// result; 3 when privileges could not be dropped, -1 when the child did not end normally.
int unprivileged(const std::function<int()> &body)
{
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

class DataFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(table.openWorkingTable(dir.path())) << table.lastError().toStdString();
    }
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }

    // Recorded rows plus rows from a file written elsewhere (NULLs, odd texts: by default a TAB and a
    // character beyond Latin-1, which a table copy holds but the text export cannot).
    void fillMixedRows(const char *oddValue = "\"quoted\"\tvalue", const char *oddUnit = "\xe2\x84\xa6")
    {
        const QString odd = path("odd.db");
        ASSERT_EQ(execSql(odd, std::string(kCreateReadings) +
                                   "INSERT INTO Readings VALUES (1, '08:00:00.001', 'DC', '1.000', '\xc2\xb5"
                                   "A', 'AUTO', 1000);"
                                   "INSERT INTO Readings VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL);"
                                   "INSERT INTO Readings VALUES (5000000000, '8h', 'AC+DC', '" +
                                   oddValue + "', '" + oddUnit + "', 'auto', 0.1);"),
                  "");
        ASSERT_TRUE(table.openFile(odd)) << table.lastError().toStdString();
        table.appendRow(reading(2, "-3.999", "mV", "AC", "MANU", -3999.0f, 45296789));
        table.appendRow(reading(3, "0.L", "M*", "", "MANU", 4001.0f, 0));
    }

    QTemporaryDir dir;
    TableStore table;
};

TEST(SaveKind, OnlyALowerCaseDbEndingMakesATableCopy)
{
    const struct
    {
        const char *name;
        bool copy;
    } cases[] = {{"/data/run1.db", true},      {"/data/run1.DB", false},  {"/data/run1.Db", false},
                 {"/data/run1.xls", false},    {"/data/run1.txt", false}, {"/data/run1", false},
                 {"/data/run1.db.txt", false}, {"/data.db/run1", false}};
    for (const auto &c : cases)
        EXPECT_EQ(isTableCopyName(QLatin1String(c.name)), c.copy) << c.name;
}

TEST(SaveMessages, AreTheWindowsTexts)
{
    EXPECT_EQ(exportSavedMessage(QStringLiteral("/tmp/a.xls")),
              QStringLiteral("save table to specified file: /tmp/a.xls Scuss!"));
    EXPECT_EQ(exportFailedMessage(QStringLiteral("/tmp/a.xls")),
              QStringLiteral("Could not save table to specified file: /tmp/a.xls"));
}

TEST_F(DataFilesTest, ExportOfAnEmptyTableIsTheHeaderLine)
{
    const QString out = path("empty.xls");
    ASSERT_TRUE(ExportTableAsText(table, out));
    EXPECT_EQ(fileBytes(out), QByteArray("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n"));
}

TEST_F(DataFilesTest, ExportWritesEveryRowAsLatin1WithCrLf)
{
    fillMixedRows("\"quoted\" value", "\xc3\xbf");
    const QString out = path("run.txt");
    writeBytes(out, QByteArray(100000, 'x')); // replaced, not appended to
    QString error;
    ASSERT_TRUE(ExportTableAsText(table, out, &error)) << error.toStdString();
    const QByteArray expected = "No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n"
                                "1\t08:00:00.001\tDC\t1.000\t\xb5"
                                "A\tAUTO\r\n"
                                "\t\t\t\t\t\r\n"
                                "5000000000\t8h\tAC+DC\t\"quoted\" value\t\xff\tauto\r\n"
                                "2\t12:34:56.789\tAC\t-3.999\tmV\tMANU\r\n"
                                "3\t00:00:00.000\t\t0.L\tM*\tMANU\r\n";
    EXPECT_EQ(fileBytes(out), expected);

    // The general path (any TableRows) writes the same bytes.
    const QString plain = path("plain.txt");
    ASSERT_TRUE(ExportTableAsText(PlainRows(table), plain));
    EXPECT_EQ(fileBytes(plain), expected);
    EXPECT_EQ(filesIn(dir.path()), (QStringList{QStringLiteral("Vs500db.DB"), QStringLiteral("odd.db"),
                                                QStringLiteral("plain.txt"), QStringLiteral("run.txt")}));
}

TEST_F(DataFilesTest, ExportIntoAMissingFolderFails)
{
    QString error;
    EXPECT_FALSE(ExportTableAsText(table, path("no/such/folder/run.xls"), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(DataFilesTest, CopyHoldsEveryFieldAndReopensAsTheSameTable)
{
    fillMixedRows();
    const QString out = path("copy.db");
    writeBytes(out, QByteArray("an older file of that name"));
    QString error;
    ASSERT_TRUE(CopyTableToFile(table, out, &error)) << error.toStdString();

    EXPECT_EQ(queryRows(out, "SELECT type, name FROM sqlite_schema"),
              (std::vector<std::vector<std::string>>{{"table", "Readings"}}));
    const auto rows = queryRows(out, "SELECT rowid, typeof(No), No, Time, \"DC/AC\", Value, Unit, AUTO, "
                                     "typeof(Nval), Nval FROM Readings");
    const std::vector<std::vector<std::string>> expected = {
        {"1", "integer", "1", "08:00:00.001", "DC", "1.000",
         "\xc2\xb5"
         "A",
         "AUTO", "real", "1000.0"},
        {"2", "null", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "null", "NULL"},
        {"3", "integer", "5000000000", "8h", "AC+DC", "\"quoted\"\tvalue", "\xe2\x84\xa6", "auto", "real",
         "0.1"},
        {"4", "integer", "2", "12:34:56.789", "AC", "-3.999", "mV", "MANU", "real", "-3999.0"},
        {"5", "integer", "3", "00:00:00.000", "", "0.L", "M*", "MANU", "real", "4001.0"},
    };
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(queryRows(out, "SELECT Nval = 0.1 FROM Readings WHERE rowid = 3")[0][0], "1");

    TableStore reopened;
    ASSERT_TRUE(reopened.openFile(out)) << reopened.lastError().toStdString();
    ASSERT_EQ(reopened.rowCount(), table.rowCount());
    for (int64_t r = 0; r < table.rowCount(); ++r)
        EXPECT_EQ(rowText(reopened, r), rowText(table, r)) << r;
    EXPECT_EQ(filesIn(dir.path()), (QStringList{QStringLiteral("Vs500db.DB"), QStringLiteral("copy.db"),
                                                QStringLiteral("odd.db")}));
}

TEST_F(DataFilesTest, CopyOpensInTheCommandLineClient)
{
    const QString client = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (client.isEmpty())
        GTEST_SKIP() << "sqlite3 command-line client not installed";
    for (int i = 1; i <= 1000; ++i)
        table.appendRow(reading(i, "1.000", "V", "DC", "AUTO", float(i), i));
    const QString out = path("cli.db");
    ASSERT_TRUE(CopyTableToFile(table, out));
    QProcess p;
    p.start(client, {out, QStringLiteral(
                              "PRAGMA integrity_check; SELECT count(*), sum(No), max(Time) FROM Readings;")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.readAllStandardOutput(), QByteArray("ok\n1000|500500|00:00:01.000\n"));
}

TEST_F(DataFilesTest, CopyOverTheOpenFileIsSeenWhenItIsOpenedAgain)
{
    const QString out = path("run.db");
    table.appendRow(reading(1, "1.000"));
    ASSERT_TRUE(CopyTableToFile(table, out));
    ASSERT_TRUE(table.openFile(out));
    table.appendRow(reading(2, "2.000"));
    QString error;
    ASSERT_TRUE(CopyTableToFile(table, out, &error)) << error.toStdString();
    ASSERT_TRUE(table.openFile(out)) << table.lastError().toStdString();
    EXPECT_EQ(table.rowCount(), 2);
}

// A new file takes the old one's name only once it is on the disk: otherwise a crash right after
// the save may leave the name on an empty or partial file, and the old one gone.
TEST_F(DataFilesTest, BothSavesSyncTheNewFileBeforeItTakesTheName)
{
    table.appendRow(reading(1, "1.000"));
    const struct
    {
        const char *name;
        std::function<bool(const QString &)> save;
    } cases[] = {
        {"copy.db",
         [&](const QString &out) {
             return CopyTableToFile(table, out);
         }},
        {"export.txt",
         [&](const QString &out) {
             return ExportTableAsText(table, out);
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(path(c.name), QByteArray("an older file of that name"));
        const std::uint64_t before = platform::syncCount();
        ASSERT_TRUE(c.save(path(c.name)));
        EXPECT_GE(platform::syncCount(), before + 1);
    }
}

TEST_F(DataFilesTest, CopyIntoAMissingFolderNamesTheFile)
{
    const QString out = path("missing/run.db");
    QString error;
    EXPECT_FALSE(CopyTableToFile(table, out, &error));
    EXPECT_TRUE(error.startsWith(out + QLatin1Char(':'))) << error.toStdString();
}

// A full disk, simulated in a child by a file-size limit: the save fails, the old file stays and
// nothing is left behind.
TEST_F(DataFilesTest, FullDiskLeavesTheOldFileAndNoTemporaryFile)
{
    for (int i = 1; i <= 20000; ++i)
        table.appendRow(reading(i, "-3.999", "mV", "DC", "AUTO", -3999.0f, i));
    const QByteArray old = "the previous save";
    for (const char *name : {"run.xls", "run.db"}) {
        SCOPED_TRACE(name);
        const QString out = path(name);
        writeBytes(out, old);
        const QStringList before = filesIn(dir.path());
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64 * 1024, 64 * 1024};
            setrlimit(RLIMIT_FSIZE, &limit);
            QString error;
            const bool ok = isTableCopyName(out) ? CopyTableToFile(table, out, &error)
                                                 : ExportTableAsText(table, out, &error);
            _exit(ok ? 1 : error.isEmpty() ? 2 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: reported success, 2: no reason given";
        EXPECT_EQ(fileBytes(out), old);
        EXPECT_EQ(filesIn(dir.path()), before);
    }
}

// A field the text cannot hold as it is refuses the whole export: nothing is written, an older
// file stays, and the message names the row's No and the field.
TEST_F(DataFilesTest, ExportRefusesFieldsTheTextCannotHold)
{
    const struct
    {
        const char *value, *unit, *autoText;
        const char *expected;
    } cases[] = {
        {"1\t2", "V", "AUTO", "The row with No 7: its field Value holds a tab or line break"},
        {"1", "V\r", "AUTO", "The row with No 7: its field Unit holds a tab or line break"},
        {"1", "V", "AU\nTO", "The row with No 7: its field AUTO holds a tab or line break"},
        {"1", "\xe2\x84\xa6", "AUTO", "The row with No 7: its field Unit holds \"\u2126\", a character"},
        {"\xf0\x9f\x98\x80", "V", "AUTO", "The row with No 7: its field Value holds \"\U0001F600\""},
        {"1\x1b[2J", "V", "AUTO", "The row with No 7: its field Value holds the control character 0x1b"},
        {"1", "V\x7f\x01", "AUTO", "The row with No 7: its field Unit holds the control character 0x01"},
        {"1", "V", "\x1f", "The row with No 7: its field AUTO holds the control character 0x1f"},
    };
    const QString out = path("run.xls");
    writeBytes(out, "older");
    const QStringList files = filesIn(dir.path());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        ASSERT_TRUE(table.emptyTable());
        table.appendRow(reading(6, "0.5", "mV"));
        table.appendRow(reading(7, c.value, c.unit, "DC", c.autoText));
        for (const TableRows *rows :
             {static_cast<const TableRows *>(&table), static_cast<const TableRows *>(nullptr)}) {
            const PlainRows plain(table);
            writeBytes(out, "older");
            QString error;
            EXPECT_FALSE(ExportTableAsText(rows ? *rows : plain, out, &error));
            EXPECT_TRUE(error.startsWith(QString::fromUtf8(c.expected))) << error.toStdString();
            EXPECT_EQ(fileBytes(out), QByteArray("older"));
            EXPECT_EQ(filesIn(dir.path()), files);
        }
    }
    // NUL, which a C string would end at.
    RowInput withNul = reading(8, "");
    withNul.value = std::string_view("1\0"
                                     "2",
                                     3);
    ASSERT_TRUE(table.emptyTable());
    table.appendRow(withNul);
    QString nulError;
    EXPECT_FALSE(ExportTableAsText(table, out, &nulError));
    EXPECT_TRUE(nulError.startsWith(QLatin1String("The row with No 8: its field Value holds the control "
                                                  "character 0x00")))
        << nulError.toStdString();
    // A row without a No is named by its place.
    ASSERT_TRUE(table.emptyTable());
    table.appendRow(reading(6, "0.5", "mV"));
    RowInput noNumber = reading(0, "1", "\xe2\x84\xa6");
    noNumber.nullMask = NullNo;
    table.appendRow(noNumber);
    QString error;
    EXPECT_FALSE(ExportTableAsText(table, path("other.xls"), &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Row 2 (its No is empty): its field Unit")))
        << error.toStdString();
    EXPECT_FALSE(QFile::exists(path("other.xls")));
}

// Both saves write through a symbolic link (the link stays, the file it leads to is replaced) and
// refuse a file the user may not write, leaving it as it was.
TEST_F(DataFilesTest, SavesWriteThroughLinksAndRefuseReadOnlyFiles)
{
    table.appendRow(reading(1, "1.000"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("data")));
    for (const char *name : {"run.xls", "run.db"}) {
        SCOPED_TRACE(name);
        const QString target = path("data/") + QLatin1String(name);
        const QString link = path(name);
        writeBytes(target, "older");
        ASSERT_TRUE(QFile::link(QStringLiteral("data/") + QLatin1String(name), link));
        QString error;
        ASSERT_TRUE(isTableCopyName(link) ? CopyTableToFile(table, link, &error)
                                          : ExportTableAsText(table, link, &error))
            << error.toStdString();
        EXPECT_TRUE(QFileInfo(link).isSymLink());
        EXPECT_NE(fileBytes(target), QByteArray("older"));
        EXPECT_EQ(filesIn(path("data")), QStringList{QLatin1String(name)});

        // Read-only, checked as an unprivileged user (root may write anything).
        writeBytes(target, "read-only");
        ASSERT_TRUE(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                      QFileDevice::ReadOther));
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(path("data")).constData(), 0777), 0);
        EXPECT_EQ(unprivileged([&] {
                      QString reason;
                      const bool saved = isTableCopyName(target) ? CopyTableToFile(table, target, &reason)
                                                                 : ExportTableAsText(table, target, &reason);
                      return saved ? 1 : reason.contains(QLatin1String("read-only")) ? 0 : 2;
                  }),
                  0)
            << "1: saved, 2: another reason, 3: no unprivileged user";
        EXPECT_EQ(fileBytes(target), QByteArray("read-only"));
        EXPECT_EQ(filesIn(path("data")), QStringList{QLatin1String(name)});
        QFile::remove(target);
    }
}

// Only a regular file (or a new name) is saved to, after links are followed: a save never puts a
// plain file in the place of a device node, FIFO, socket or folder.
TEST_F(DataFilesTest, SavesWriteOnlyRegularFiles)
{
    table.appendRow(reading(1, "1.000"));
    const auto makeFile = [](const QString &p) {
        return QFile(p).open(QIODevice::WriteOnly);
    };
    const auto makeNode = [](const QString &p) {
        return ::mknod(QFile::encodeName(p).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    };
    const auto makeFifo = [](const QString &p) {
        return ::mkfifo(QFile::encodeName(p).constData(), 0666) == 0;
    };
    const auto makeFolder = [](const QString &p) {
        return QDir().mkdir(p);
    };
    const auto makeSocket = [](const QString &p) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(p);
        std::memcpy(address.sun_path, name.constData(),
                    std::min(size_t(name.size()), sizeof address.sun_path - 1));
        const bool made = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        return made;
    };
    const struct
    {
        const char *name;
        std::function<bool(const QString &)> make;
        bool viaLink;
        const char *refusal; // empty: saved
    } cases[] = {
        {"regular file", makeFile, false, ""},
        {"link to a regular file", makeFile, true, ""},
        {"device node", makeNode, false, "it is not a regular file but a character device"},
        {"link to a device node", makeNode, true, "it is not a regular file: it leads to "},
        {"FIFO", makeFifo, false, "it is not a regular file but a FIFO"},
        {"folder", makeFolder, false, "it is not a regular file but a folder"},
        {"socket", makeSocket, false, "it is not a regular file but a socket"},
    };
    int n = 0;
    for (const auto &c : cases) {
        for (const char *suffix : {".xls", ".db"}) {
            SCOPED_TRACE(std::string(c.name) + suffix);
            const QString target = path("t") + QString::number(++n) + QLatin1String(suffix);
            if (!c.make(target)) {
                // mknod needs privileges; nothing else may fail to be made.
                ASSERT_NE(std::string(c.name).find("device node"), std::string::npos);
                continue;
            }
            const QString name = c.viaLink ? target + QLatin1String(".link") + QLatin1String(suffix) : target;
            ASSERT_TRUE(!c.viaLink || QFile::link(target, name));
            struct stat before;
            ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &before), 0);
            const SaveOutcome outcome = saveTable(table, name, dir.path());
            struct stat after;
            ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &after), 0);
            if (*c.refusal == '\0') {
                EXPECT_EQ(outcome.result, SaveOutcome::Result::Saved) << outcome.message.toStdString();
                EXPECT_TRUE(S_ISREG(after.st_mode));
                EXPECT_GT(after.st_size, 0);
                continue;
            }
            EXPECT_EQ(outcome.result, SaveOutcome::Result::Failed);
            EXPECT_TRUE(outcome.message.contains(QLatin1String(c.refusal))) << outcome.message.toStdString();
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_ino, before.st_ino);
        }
    }
}

// A writable file in a folder that may not be written cannot be replaced; the refusal says that the
// folder is the reason (checked as an unprivileged user: root may write anything).
TEST_F(DataFilesTest, AReadOnlyFolderIsNamedAsTheReason)
{
    table.appendRow(reading(1, "1.000"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("locked")));
    for (const char *name : {"run.xls", "run.db"}) {
        SCOPED_TRACE(name);
        const QString target = path("locked/") + QLatin1String(name);
        writeBytes(target, "older");
        ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0666), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(path("locked")).constData(), 0555), 0);
        EXPECT_EQ(
            unprivileged([&] {
                const SaveOutcome outcome = saveTable(table, target, dir.path());
                const bool named = outcome.message.contains(
                    QStringLiteral("the folder %1 is read-only. A save writes a new file beside the old one")
                        .arg(path("locked")));
                return outcome.result == SaveOutcome::Result::Saved ? 1 : named ? 0 : 2;
            }),
            0)
            << "1: saved, 2: another reason, 3: no unprivileged user";
        EXPECT_EQ(fileBytes(target), QByteArray("older"));
        ASSERT_EQ(::chmod(QFile::encodeName(path("locked")).constData(), 0755), 0);
    }
}

// Cancelling a save leaves the older file and nothing beside it.
TEST_F(DataFilesTest, ACancelledSaveLeavesTheOlderFile)
{
    for (int i = 1; i <= 5000; ++i)
        table.appendRow(reading(i, "1.000"));
    for (const char *name : {"run.xls", "run.db"}) {
        SCOPED_TRACE(name);
        const QString out = path(name);
        writeBytes(out, "older");
        const QStringList files = filesIn(dir.path());
        int calls = 0;
        const WorkProgress cancel = [&](int64_t done, int64_t total) {
            EXPECT_LE(done, total);
            return ++calls < 1;
        };
        QString error = QStringLiteral("unset");
        EXPECT_FALSE(isTableCopyName(out) ? CopyTableToFile(table, out, &error, cancel)
                                          : ExportTableAsText(table, out, &error, cancel));
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(fileBytes(out), QByteArray("older"));
        EXPECT_EQ(filesIn(dir.path()), files);
    }
}

// The window handles its events while a save runs; should the table be emptied meanwhile, the
// save fails instead of reading rows that are gone.
TEST_F(DataFilesTest, ATableEmptiedDuringASaveFailsIt)
{
    for (const char *name : {"run.xls", "run.db"}) {
        SCOPED_TRACE(name);
        for (int i = 1; i <= 10000; ++i)
            table.appendRow(reading(i, "1.000"));
        const QString out = path(name);
        writeBytes(out, "older");
        const WorkProgress emptyIt = [&](int64_t, int64_t) {
            table.emptyTable();
            return true;
        };
        QString error;
        EXPECT_FALSE(isTableCopyName(out) ? CopyTableToFile(table, out, &error, emptyIt)
                                          : ExportTableAsText(table, out, &error, emptyIt));
        EXPECT_TRUE(error.contains(QLatin1String("emptied"))) << error.toStdString();
        EXPECT_EQ(fileBytes(out), QByteArray("older"));
    }
}

// Text is never saved over the working table's file or the open table's file, however the name
// leads there; the refusal says why and both files stay as they were.
TEST_F(DataFilesTest, TextIsNeverSavedOverTheWorkingOrTheOpenTable)
{
    const QString working = path("Vs500db.DB");
    table.appendRow(reading(1, "1.000"));
    const QString saved = path("saved.db");
    ASSERT_TRUE(CopyTableToFile(table, saved));
    ASSERT_TRUE(table.openFile(saved));
    table.appendRow(reading(2, "2.000"));
    ASSERT_TRUE(QFile::link(working, path("link.xls")));
    ASSERT_EQ(::link(QFile::encodeName(working).constData(), QFile::encodeName(path("hard.txt")).constData()),
              0);
    ASSERT_TRUE(QFile::link(saved, path("open.xls")));
    ASSERT_EQ(
        ::link(QFile::encodeName(saved).constData(), QFile::encodeName(path("openhard.txt")).constData()), 0);
    const QByteArray workingBytes = fileBytes(working);
    const QByteArray savedBytes = fileBytes(saved);

    const struct
    {
        const char *name;
        const char *why;
    } cases[] = {
        {"Vs500db.DB", "working table"}, {"VS500DB.DB", "working table"}, {"link.xls", "working table"},
        {"hard.txt", "working table"},   {"open.xls", "open table"},      {"openhard.txt", "open table"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString target = path(c.name);
        const SaveOutcome outcome = saveTable(table, target, dir.path());
        EXPECT_EQ(outcome.result, SaveOutcome::Result::Failed);
        EXPECT_FALSE(outcome.tableCopy);
        EXPECT_TRUE(outcome.message.startsWith(exportFailedMessage(target) + QLatin1Char('\n')))
            << outcome.message.toStdString();
        EXPECT_TRUE(outcome.message.contains(QLatin1String(c.why))) << outcome.message.toStdString();
        EXPECT_EQ(fileBytes(working), workingBytes);
        EXPECT_EQ(fileBytes(saved), savedBytes);
    }
    EXPECT_FALSE(QFile::exists(path("VS500DB.DB")));

    // Elsewhere text is saved, and a table copy may replace a table file.
    const SaveOutcome text = saveTable(table, path("run.xls"), dir.path());
    EXPECT_EQ(text.result, SaveOutcome::Result::Saved);
    EXPECT_EQ(text.message, exportSavedMessage(path("run.xls")));
    const SaveOutcome copy = saveTable(table, path("link.db"), dir.path());
    EXPECT_EQ(copy.result, SaveOutcome::Result::Saved);
    EXPECT_TRUE(copy.tableCopy);
    EXPECT_TRUE(copy.message.isEmpty());
}

} // namespace
