#include "StoreTestSupport.h"

#include "store/DataFiles.h"
#include "store/TableStore.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace storetest;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

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

class DataFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(table.openWorkingTable(dir.path())) << table.lastError().toStdString();
    }
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }

    // Recorded rows plus rows from a file written elsewhere (NULLs, long and non-Latin texts).
    void fillMixedRows()
    {
        const QString odd = path("odd.db");
        ASSERT_EQ(
            execSql(odd, std::string(kCreateReadings) +
                             "INSERT INTO Readings VALUES (1, '08:00:00.001', 'DC', '1.000', '\xc2\xb5"
                             "A', 'AUTO', 1000);"
                             "INSERT INTO Readings VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL);"
                             "INSERT INTO Readings VALUES (5000000000, '8h', 'AC+DC', '\"quoted\"\tvalue', "
                             "'\xe2\x84\xa6', 'auto', 0.1);"),
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
    EXPECT_EQ(readFile(out), QByteArray("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n"));
}

TEST_F(DataFilesTest, ExportWritesEveryRowAsLatin1WithCrLf)
{
    fillMixedRows();
    const QString out = path("run.txt");
    writeFile(out, QByteArray(100000, 'x')); // replaced, not appended to
    QString error;
    ASSERT_TRUE(ExportTableAsText(table, out, &error)) << error.toStdString();
    const QByteArray expected = "No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n"
                                "1\t08:00:00.001\tDC\t1.000\t\xb5"
                                "A\tAUTO\r\n"
                                "\t\t\t\t\t\r\n"
                                "5000000000\t8h\tAC+DC\t\"quoted\"\tvalue\t?\tauto\r\n"
                                "2\t12:34:56.789\tAC\t-3.999\tmV\tMANU\r\n"
                                "3\t00:00:00.000\t\t0.L\tM*\tMANU\r\n";
    EXPECT_EQ(readFile(out), expected);

    // The general path (any TableRows) writes the same bytes.
    const QString plain = path("plain.txt");
    ASSERT_TRUE(ExportTableAsText(PlainRows(table), plain));
    EXPECT_EQ(readFile(plain), expected);
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
    writeFile(out, QByteArray("an older file of that name"));
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
        writeFile(out, old);
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
        EXPECT_EQ(readFile(out), old);
        EXPECT_EQ(filesIn(dir.path()), before);
    }
}

} // namespace
