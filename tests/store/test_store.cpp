#include "StoreTestSupport.h"

#include "store/ReadingStore.h"
#include "store/TableFileCheck.h"
#include "store/TableStore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace storetest;

namespace {

std::string str(std::string_view v)
{
    return std::string(v);
}

// ---------------------------------------------------------------------------------------------
// Compact row storage

TEST(TimeOfDay, FormatsAndParsesOnlyTheCanonicalForm)
{
    char buffer[12];
    formatTimeOfDay(0, buffer);
    EXPECT_EQ(std::string(buffer, 12), "00:00:00.000");
    formatTimeOfDay(((23 * 60 + 59) * 60 + 59) * 1000 + 999, buffer);
    EXPECT_EQ(std::string(buffer, 12), "23:59:59.999");
    formatTimeOfDay(((9 * 60 + 5) * 60 + 7) * 1000 + 42, buffer);
    EXPECT_EQ(std::string(buffer, 12), "09:05:07.042");

    EXPECT_EQ(parseTimeOfDay("09:05:07.042"), ((9 * 60 + 5) * 60 + 7) * 1000 + 42);
    for (const char *bad : {"9:05:07.042", "09:05:07", "24:00:00.000", "12:60:00.000", "12:00:60.000",
                            "12:00:00,000", "12:00:00.0000", "ab:cd:ef.ghi", ""})
        EXPECT_EQ(parseTimeOfDay(bad), -1) << bad;
}

TEST(ReadingStore, RecordedRowsStayCompactAndReadBackExactly)
{
    ReadingStore store;
    store.append(reading(1, "-3.999", "mV", "DC", "AUTO", -3999.0f, 1234));
    store.append(reading(2, "0.L", "M*", "", "MANU", 4001.0f, 86399999));
    store.append(reading(3, "12345678", "kHz", "AC", "", 0.5f, 0));
    ASSERT_EQ(store.size(), 3);
    EXPECT_EQ(store.overflowCount(), 0);

    RowView v;
    store.view(0, v);
    EXPECT_EQ(v.no, 1);
    EXPECT_EQ(str(v.time), "00:00:01.234");
    EXPECT_EQ(str(v.value), "-3.999");
    EXPECT_EQ(str(v.unit), "mV");
    EXPECT_EQ(str(v.dcac), "DC");
    EXPECT_EQ(str(v.autoText), "AUTO");
    EXPECT_EQ(v.nval, -3999.0);
    store.view(1, v);
    EXPECT_EQ(str(v.time), "23:59:59.999");
    EXPECT_EQ(str(v.value), "0.L");
    EXPECT_EQ(str(v.unit), "M*");
    EXPECT_EQ(str(v.dcac), "");
    EXPECT_EQ(str(v.autoText), "MANU");
    store.view(2, v);
    EXPECT_EQ(str(v.value), "12345678"); // all eight bytes, no terminator needed
    EXPECT_EQ(str(v.autoText), "");
    EXPECT_EQ(v.nval, 0.5);
}

struct OverflowCase
{
    const char *name;
    RowInput row;
};

TEST(ReadingStore, RowsThatDoNotFitKeepEveryFieldWhole)
{
    const std::string longUnit(40, 'u');
    std::vector<OverflowCase> cases;
    cases.push_back({"value longer than 8", reading(1, "123456789")});
    cases.push_back({"non-ASCII value", reading(1, "1\xc2\xb5")});
    cases.push_back({"unknown DC/AC", reading(1, "1", "V", "AC+DC")});
    cases.push_back({"unknown AUTO", reading(1, "1", "V", "DC", "auto")});
    cases.push_back({"long unit", reading(1, "1", longUnit.c_str())});
    RowInput bigNo = reading(int64_t(1) << 40, "1");
    cases.push_back({"No beyond 32 bits", bigNo});
    RowInput exactDouble = reading(1, "1");
    exactDouble.nval = 0.1;
    cases.push_back({"Nval not a float", exactDouble});
    RowInput oddTime = reading(1, "1");
    oddTime.timeMs = -1;
    oddTime.timeText = "12:00";
    cases.push_back({"time in another form", oddTime});
    RowInput nulls = reading(1, "1");
    nulls.nullMask = NullNo | NullValue | NullNval;
    cases.push_back({"null fields", nulls});

    for (const OverflowCase &c : cases) {
        SCOPED_TRACE(c.name);
        ReadingStore store;
        store.append(c.row);
        EXPECT_EQ(store.overflowCount(), 1);
        RowView v;
        store.view(0, v);
        EXPECT_EQ(v.nullMask, c.row.nullMask);
        if (!(c.row.nullMask & NullNo)) {
            EXPECT_EQ(v.no, c.row.no);
        }
        if (!(c.row.nullMask & NullNval)) {
            EXPECT_EQ(v.nval, c.row.nval);
        }
        if (!(c.row.nullMask & NullValue)) {
            EXPECT_EQ(str(v.value), str(c.row.value));
        }
        EXPECT_EQ(str(v.unit), str(c.row.unit));
        EXPECT_EQ(str(v.dcac), str(c.row.dcac));
        EXPECT_EQ(str(v.autoText), str(c.row.autoText));
        EXPECT_EQ(str(v.time), c.row.timeMs >= 0 ? std::string("00:00:00.000") : str(c.row.timeText));
    }
}

TEST(ReadingStore, UnitsBeyondTheInternTableOverflowInsteadOfMixingUp)
{
    ReadingStore store;
    std::vector<std::string> units;
    for (int i = 0; i < 300; ++i)
        units.push_back("u" + std::to_string(i));
    for (int i = 0; i < 300; ++i)
        store.append(reading(i, "1", units[size_t(i)].c_str()));
    EXPECT_EQ(store.overflowCount(), 300 - 255);
    RowView v;
    for (int i = 0; i < 300; ++i) {
        store.view(i, v);
        ASSERT_EQ(str(v.unit), units[size_t(i)]) << i;
    }
}

TEST(ReadingStore, RowsAcrossChunkBoundariesAndClear)
{
    ReadingStore store;
    const int64_t n = 3 * ReadingStore::kChunkRows + 7;
    for (int64_t i = 0; i < n; ++i)
        store.append(
            reading(i, i % 2 ? "1.000" : "2.000", "V", "DC", "AUTO", float(i), int32_t(i % 86400000)));
    ASSERT_EQ(store.size(), n);
    RowView v;
    for (int64_t i : {int64_t(0), ReadingStore::kChunkRows - 1, ReadingStore::kChunkRows, n - 1}) {
        store.view(i, v);
        EXPECT_EQ(v.no, i);
        EXPECT_EQ(v.nval, double(float(i)));
        EXPECT_EQ(str(v.value), i % 2 ? "1.000" : "2.000");
    }
    EXPECT_LT(store.bytesReserved() / size_t(n), 32u);
    store.clear();
    EXPECT_EQ(store.size(), 0);
    store.append(reading(5, "9"));
    store.view(0, v);
    EXPECT_EQ(v.no, 5);
}

// ---------------------------------------------------------------------------------------------
// The table file

class TableStoreTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    QString workingPath() const { return dir.filePath(TableStore::workingFileName()); }

    // A saved table with rows 1..n, written straight through the engine.
    QString savedTable(const char *name, int n)
    {
        std::string sql = std::string(kCreateReadings) + "BEGIN;";
        for (int i = 1; i <= n; ++i) {
            sql += "INSERT INTO Readings VALUES (" + std::to_string(i) + ", '10:00:0" +
                   std::to_string(i % 10) + ".500', 'DC', '" + std::to_string(i) + ".000', 'V', 'AUTO', " +
                   std::to_string(i * 1000) + ");";
        }
        sql += "COMMIT;";
        const QString p = path(name);
        EXPECT_EQ(execSql(p, sql), "");
        return p;
    }

    QTemporaryDir dir;
};

TEST_F(TableStoreTest, WorkingTableIsCreatedEmptyWithTheSevenFields)
{
    TableStore table;
    ASSERT_TRUE(table.openWorkingTable(dir.path())) << table.lastError().toStdString();
    EXPECT_TRUE(table.isOpen());
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(table.fileName(), workingPath());
    table.close();
    EXPECT_FALSE(table.isOpen());

    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("Vs500db.DB")}); // no journal left behind
    const auto columns = queryRows(workingPath(), "SELECT name, type FROM pragma_table_info('Readings')");
    const std::vector<std::vector<std::string>> expected = {
        {"No", "INTEGER"}, {"Time", "TEXT"}, {"DC/AC", "TEXT"}, {"Value", "TEXT"},
        {"Unit", "TEXT"},  {"AUTO", "TEXT"}, {"Nval", "REAL"}};
    EXPECT_EQ(columns, expected);
}

TEST_F(TableStoreTest, SavedRowsShowAndAppendedRowsAreNeverWrittenBack)
{
    savedTable("Vs500db.DB", 3);
    const QByteArray before = [&] {
        QFile f(workingPath());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    TableStore table;
    ASSERT_TRUE(table.openWorkingTable(dir.path())) << table.lastError().toStdString();
    ASSERT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.savedRowCount(), 3);
    EXPECT_EQ(rowText(table, 1), QStringLiteral("2|10:00:02.500|DC|2.000|V|AUTO|2000"));
    ASSERT_TRUE(table.appendRow(reading(7, "-3.999", "mV", "AC", "MANU", -3999.0f, 45296789)));
    EXPECT_EQ(table.rowCount(), 4);
    EXPECT_EQ(rowText(table, 3), QStringLiteral("7|12:34:56.789|AC|-3.999|mV|MANU|-3999"));
    ASSERT_TRUE(table.emptyTable());
    EXPECT_EQ(table.rowCount(), 0);
    table.close();

    QFile f(workingPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);

    TableStore again;
    ASSERT_TRUE(again.openWorkingTable(dir.path()));
    EXPECT_EQ(again.rowCount(), 3);
}

TEST_F(TableStoreTest, FieldNamesMatchWithoutRegardToCaseInAnyOrder)
{
    EXPECT_EQ(TableStore::columnByName(u"value"), TableColumn::Value);
    EXPECT_EQ(TableStore::columnByName(u"NVAL"), TableColumn::Nval);
    EXPECT_EQ(TableStore::columnByName(u"dc/ac"), TableColumn::DCAC);
    EXPECT_EQ(TableStore::columnByName(u"Auto"), TableColumn::AUTO);
    EXPECT_FALSE(TableStore::columnByName(u"Not").has_value());

    const QString p = path("other.db");
    ASSERT_EQ(execSql(p, "CREATE TABLE run1 (nval float, auto varchar(4), unit char(5), value text, "
                         "\"dc/ac\" text, time text, no int);"
                         "INSERT INTO run1 VALUES (12, 'MANU', 'k*', '1.2', 'AC', '01:02:03.004', 9);"),
              "");
    TableStore table;
    ASSERT_TRUE(table.openFile(p)) << table.lastError().toStdString();
    EXPECT_EQ(rowText(table, 0), QStringLiteral("9|01:02:03.004|AC|1.2|k*|MANU|12"));
}

TEST_F(TableStoreTest, RowsKeepTheirOrderAndARowPastTheEndIsEmpty)
{
    TableStore table;
    ASSERT_TRUE(table.openWorkingTable(dir.path()));
    for (int i = 1; i <= 3; ++i)
        table.appendRow(reading(i, "1"));
    std::vector<QString> seen;
    for (int64_t row = 0; row < table.rowCount(); ++row)
        seen.push_back(table.fieldText(row, TableColumn::No));
    EXPECT_EQ(seen, (std::vector<QString>{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    EXPECT_EQ(table.fieldText(99, TableColumn::No), QString());
}

TEST_F(TableStoreTest, ClosedTableRefusesRowsWithAMessage)
{
    TableStore table;
    EXPECT_FALSE(table.appendRow(reading(1, "1")));
    EXPECT_FALSE(table.lastError().isEmpty());
    EXPECT_FALSE(table.emptyTable());
    EXPECT_EQ(table.rowCount(), 0);
}

TEST_F(TableStoreTest, OpenTableIsExclusiveUntilClosed)
{
    TableStore first;
    ASSERT_TRUE(first.openWorkingTable(dir.path()));

    // Another table component in this process.
    TableStore second;
    EXPECT_FALSE(second.openWorkingTable(dir.path()));
    EXPECT_EQ(second.lastError(),
              workingPath() + QStringLiteral(": another MeterLink holds this table open (or "
                                             "another program is writing it). Close it "
                                             "there, or open another file."));
    // A plain connection cannot even read it.
    std::string error;
    queryRows(workingPath(), "SELECT count(*) FROM Readings", &error);
    EXPECT_EQ(error, "database is locked");

    // Another process.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TableStore other;
        _exit(other.openFile(workingPath()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a second process opened the locked table";

    first.close();
    EXPECT_TRUE(second.openWorkingTable(dir.path())) << second.lastError().toStdString();
}

TEST_F(TableStoreTest, AProcessKilledWithTheTableOpenLeavesNoJournal)
{
    // Once as the run that creates the working table, once as one that finds it.
    for (int run = 0; run < 2; ++run) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TableStore table;
            const bool opened = table.openWorkingTable(dir.path());
            ::kill(::getpid(), SIGKILL);
            _exit(opened ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("Vs500db.DB")}) << "run " << run;
    }
    // Older versions left a zeroed journal behind; the next open clears it away.
    QFile stale(workingPath() + QStringLiteral("-journal"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray(4616, '\0'));
    stale.close();
    TableStore table;
    EXPECT_TRUE(table.openWorkingTable(dir.path())) << table.lastError().toStdString();
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("Vs500db.DB")});
}

TEST_F(TableStoreTest, CommandLineClientIsLockedOutToo)
{
    const QString client = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (client.isEmpty())
        GTEST_SKIP() << "sqlite3 command-line client not installed";
    TableStore table;
    ASSERT_TRUE(table.openWorkingTable(dir.path()));
    QProcess p;
    p.start(client, {workingPath(), QStringLiteral("SELECT count(*) FROM Readings;")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_NE(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardError().contains("database is locked"));
}

TEST_F(TableStoreTest, ReopeningKeepsThePathsCaseAndReplacesTheTable)
{
    const QString saved = savedTable("Run1.db", 2);
    TableStore table;
    ASSERT_TRUE(table.openWorkingTable(dir.path()));
    table.appendRow(reading(1, "5"));
    QSignalSpy resets(&table, &TableStore::resetDone);
    ASSERT_TRUE(table.openFile(saved)) << table.lastError().toStdString();
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(table.fileName(), saved);
    EXPECT_EQ(table.rowCount(), 2); // the unsaved row is gone
    // The working table was released.
    TableStore other;
    EXPECT_TRUE(other.openWorkingTable(dir.path())) << other.lastError().toStdString();
    // Recording goes on into the opened table.
    EXPECT_TRUE(table.appendRow(reading(3, "7")));
    EXPECT_EQ(table.rowCount(), 3);
}

TEST_F(TableStoreTest, ReopeningTheOpenFileReloadsItDroppingPendingRows)
{
    const QString saved = savedTable("run.db", 2);
    TableStore table;
    ASSERT_TRUE(table.openFile(saved));
    table.appendRow(reading(3, "7"));
    ASSERT_TRUE(table.openFile(saved)) << table.lastError().toStdString();
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_TRUE(table.isOpen());

    ASSERT_TRUE(table.openWorkingTable(dir.path()));
    table.appendRow(reading(1, "7"));
    ASSERT_TRUE(table.openWorkingTable(dir.path())) << table.lastError().toStdString();
    EXPECT_EQ(table.rowCount(), 0);
}

// ---------------------------------------------------------------------------------------------
// Files from elsewhere: refused with a message, the current table untouched

struct HostileCase
{
    const char *name;
    std::function<void(const QString &)> make;
    const char *expected; // part of the message
};

std::string table(const std::string &rows)
{
    return std::string(kCreateReadings) + rows;
}

std::vector<HostileCase> hostileCases()
{
    const auto sql = [](std::string s) {
        return [s](const QString &p) {
            ASSERT_EQ(execSql(p, s), "");
        };
    };
    return {
        {"random bytes",
         [](const QString &p) {
             QByteArray b(8192, '\0');
             for (int i = 0; i < b.size(); ++i)
                 b[i] = char((i * 7919 + 13) % 251);
             writeBytes(p, b);
         },
         "file is not a database"},
        {"100 MB of garbage",
         [](const QString &p) {
             QFile f(p);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             const QByteArray block(1 << 20, '\xab');
             for (int i = 0; i < 100; ++i)
                 ASSERT_EQ(f.write(block), block.size());
         },
         "file is not a database"},
        {"truncated copy",
         [](const QString &p) {
             std::string rows = "BEGIN;";
             for (int i = 0; i < 20000; ++i)
                 rows += "INSERT INTO Readings VALUES (" + std::to_string(i) +
                         ", '10:00:00.000', 'DC', '1.000', "
                         "'V', 'AUTO', 1000);";
             ASSERT_EQ(execSql(p, table(rows + "COMMIT;")), "");
             QFile f(p);
             ASSERT_TRUE(f.resize(f.size() / 2));
         },
         "malformed"},
        {"no such file", [](const QString &) {}, ": the file does not exist"},
        {"empty file", [](const QString &p) { writeBytes(p, QByteArray()); }, "holds no table"},
        {"another table beside ours", sql(table("CREATE TABLE Other (x);")), "holds 2 tables"},
        {"only another table", sql("CREATE TABLE Other (x INTEGER);"), "\"x\" is not a field"},
        {"a view", sql(table("CREATE VIEW v AS SELECT * FROM Readings;")), "views or triggers"},
        {"a trigger",
         sql(table("CREATE TRIGGER t AFTER INSERT ON Readings BEGIN DELETE FROM Readings; END;")),
         "views or triggers"},
        {"a missing field",
         sql("CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, AUTO "
             "TEXT);"),
         "has no field Nval"},
        {"an extra field",
         sql("CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, AUTO "
             "TEXT, "
             "Nval REAL, Extra TEXT);"),
         "\"Extra\" is not a field"},
        {"a computed field",
         sql("CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, AUTO "
             "TEXT, Nval REAL GENERATED ALWAYS AS (CAST(Value AS REAL))); INSERT INTO Readings (Value) "
             "VALUES ('1.5');"),
         "its field Nval is computed"},
        // Declared types are not judged, but what they make of a value is.
        {"a whole number written with a leading zero in a field declared TEXT",
         sql("CREATE TABLE Readings (No TEXT, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, AUTO TEXT, "
             "Nval REAL); INSERT INTO Readings (No) VALUES ('05');"),
         "row 1: field No does not hold a whole number"},
        {"a number no double holds as written",
         sql("CREATE TABLE Readings (No, Time, \"DC/AC\", Value, Unit, AUTO, Nval TEXT);"
             "INSERT INTO Readings (Nval) VALUES ('0.10000000000000000001');"),
         "row 1: field Nval does not hold a number"},
        {"text in No", sql(table("INSERT INTO Readings (No) VALUES ('abc');")),
         "row 1: field No does not hold"},
        {"real in No", sql(table("INSERT INTO Readings (No) VALUES (1.5);")),
         "row 1: field No does not hold"},
        {"text in Nval", sql(table("INSERT INTO Readings (Nval) VALUES ('x');")), "field Nval does not hold"},
        {"blob in Value", sql(table("INSERT INTO Readings (Value) VALUES (x'00ff');")),
         "field Value does not hold text"},
        {"huge text", sql(table("INSERT INTO Readings (Unit) VALUES (printf('%.*c', 5000, 'x'));")),
         "field Unit holds 5000 bytes"},
        {"text beyond the engine's read limit",
         sql(table("INSERT INTO Readings VALUES (1, '', '', '', '', '', 0);"
                   "INSERT INTO Readings (Unit) VALUES (printf('%.*c', 3000000, 'x'));")),
         "row 2: field Unit holds more than 1048576 bytes"},
        {"a virtual table",
         sql("CREATE VIRTUAL TABLE Readings USING fts4(No, Time, \"DC/AC\", Value, Unit, AUTO, Nval);"),
         "tables"},
        {"a directory", [](const QString &p) { QDir().mkpath(p); },
         "it is not a regular file (it is a folder)"},
        {"a FIFO", [](const QString &p) { ASSERT_EQ(::mkfifo(QFile::encodeName(p).constData(), 0600), 0); },
         "it is not a regular file (it is a FIFO)"},
        {"a link to a character device",
         [](const QString &p) { ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), p)); },
         "it is not a regular file (it leads to /dev/zero, a character device)"},
    };
}

TEST_F(TableStoreTest, FilesFromElsewhereAreRefusedAndTheCurrentTableStays)
{
    const QString saved = savedTable("good.db", 2);
    TableStore table;
    ASSERT_TRUE(table.openFile(saved));
    table.appendRow(reading(3, "pending"));

    int n = 0;
    for (const HostileCase &c : hostileCases()) {
        SCOPED_TRACE(c.name);
        const QString p = path(("bad" + std::to_string(++n) + ".db").c_str());
        c.make(p);
        if (::testing::Test::HasFatalFailure())
            return;
        EXPECT_FALSE(table.openFile(p));
        EXPECT_TRUE(table.lastError().startsWith(p + QLatin1Char(':'))) << table.lastError().toStdString();
        EXPECT_TRUE(table.lastError().contains(QLatin1String(c.expected))) << table.lastError().toStdString();
        EXPECT_TRUE(table.isOpen());
        EXPECT_EQ(table.fileName(), saved);
        ASSERT_EQ(table.rowCount(), 3);
        EXPECT_EQ(table.fieldText(2, TableColumn::Value), QStringLiteral("pending"));
    }
    EXPECT_TRUE(table.emptyTable());
    EXPECT_TRUE(table.lastError().isEmpty()) << "a stale message would be shown again";
    // Nothing in them was run: the trigger did not fire, the files were not changed into ours.
    EXPECT_EQ(queryRows(path("bad9.db"), "SELECT count(*) FROM sqlite_schema")[0][0], "2");
}

TEST_F(TableStoreTest, OddButValidFilesLoadWithEveryFieldWhole)
{
    const QString p = path("odd.db");
    ASSERT_EQ(
        execSql(p, table("INSERT INTO Readings VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL);"
                         "INSERT INTO Readings VALUES (5000000000, '12:00', 'AC+DC', "
                         "'a value longer than the grid shows it, well beyond sixty-four characters in all',"
                         " '\xc2\xb5"
                         "A', 'auto', 0.1);")),
        "");
    TableStore table;
    ASSERT_TRUE(table.openFile(p)) << table.lastError().toStdString();
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_EQ(rowText(table, 0), QStringLiteral("||||||"));
    EXPECT_EQ(rowText(table, 1),
              QStringLiteral("5000000000|12:00|AC+DC|a value longer than the grid shows it, well "
                             "beyond sixty-four characters in all|\u00b5A|auto|0.1"));
}

TEST_F(TableStoreTest, OtherProgramsTablesLoadWhateverTheirFieldsAreDeclaredAs)
{
    const struct
    {
        const char *name;
        std::string sql;
        QStringList rows;
    } cases[] = {
        {"other declared types",
         "CREATE TABLE Log (No NUMERIC, Time TIME, \"DC/AC\" VARCHAR(20), Value VARCHAR(20), Unit, AUTO "
         "DATETIME, Nval NUMERIC);"
         "INSERT INTO Log VALUES (1, '10:00:01.500', 'DC', '1.000', 'V', 'AUTO', 1000);"
         "INSERT INTO Log VALUES (2, '10:00:02.000', 'AC', '-0.5', 'mV', 'MANU', -0.5);",
         {QStringLiteral("1|10:00:01.500|DC|1.000|V|AUTO|1000"),
          QStringLiteral("2|10:00:02.000|AC|-0.5|mV|MANU|-0.5")}},
        {"without row ids, in key order",
         "CREATE TABLE Readings (No INTEGER PRIMARY KEY, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, "
         "AUTO TEXT, Nval REAL) WITHOUT ROWID;"
         "INSERT INTO Readings VALUES (3, '', '', 'c', '', '', 3), (1, '', '', 'a', '', '', 1), "
         "(2, '', '', 'b', '', '', 2);",
         {QStringLiteral("1|||a|||1"), QStringLiteral("2|||b|||2"), QStringLiteral("3|||c|||3")}},
        {"texts stored as UTF-16",
         "PRAGMA encoding='UTF-16le';" + std::string(kCreateReadings) +
             "INSERT INTO Readings VALUES (1, '10:00:01.500', '', '1.000', '\xc2\xb5V', 'AUTO', 1);",
         {QStringLiteral("1|10:00:01.500||1.000|\u00b5V|AUTO|1")}},
        {"row ids given out of order",
         std::string(kCreateReadings) + "INSERT INTO Readings (rowid, No) VALUES (30, 3), (10, 1), (20, 2);",
         {QStringLiteral("1||||||"), QStringLiteral("2||||||"), QStringLiteral("3||||||")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString p = path(c.name);
        ASSERT_EQ(execSql(p, c.sql), "");
        TableStore table;
        ASSERT_TRUE(table.openFile(p)) << table.lastError().toStdString();
        QStringList rows;
        for (int64_t r = 0; r < table.rowCount(); ++r)
            rows << rowText(table, r);
        EXPECT_EQ(rows, c.rows);
    }
}

// Tables whose fields hold text (the sqlite3 client's .import makes every field text) or numbers
// where text belongs load as long as every value reads back exactly; what does not is refused by row
// and field.
TEST_F(TableStoreTest, TextAndNumbersFromOtherToolsLoadWhenTheyReadExactly)
{
    const struct
    {
        const char *no, *value, *nval; // SQL literals
        const char *expected;          // the row as loaded, or part of the refusal
    } cases[] = {
        {"'1'", "'1.000'", "'1000'", "1|12:00:00.000|DC|1.000|V|AUTO|1000"},
        {"'-42'", "'-0.000'", "'-0.1'", "-42|12:00:00.000|DC|-0.000|V|AUTO|-0.1"},
        {"'9223372036854775807'", "'x'", "'1.50'", "9223372036854775807|12:00:00.000|DC|x|V|AUTO|1.5"},
        {"'0'", "1.5", "'1e3'", "0|12:00:00.000|DC|1.5|V|AUTO|1000"},
        {"NULL", "12", "'-3999'", "|12:00:00.000|DC|12|V|AUTO|-3999"},
        {"1", "0.1", "NULL", "1|12:00:00.000|DC|0.1|V|AUTO|"},
        {"1", "1e300", "0.5", "1|12:00:00.000|DC|1e+300|V|AUTO|0.5"},
        {"' 1'", "''", "1", "row 1: field No does not hold a whole number"},
        {"'+1'", "''", "1", "row 1: field No does not hold a whole number"},
        {"'01'", "''", "1", "row 1: field No does not hold a whole number"},
        {"'1.0'", "''", "1", "row 1: field No does not hold a whole number"},
        {"''", "''", "1", "row 1: field No does not hold a whole number"},
        {"'9223372036854775808'", "''", "1", "row 1: field No does not hold a whole number"},
        {"1", "''", "''", "row 1: field Nval does not hold a number"},
        {"1", "''", "'1,5'", "row 1: field Nval does not hold a number"},
        {"1", "''", "' 1'", "row 1: field Nval does not hold a number"},
        {"1", "''", "'inf'", "row 1: field Nval does not hold a number"},
        {"1", "''", "'nan'", "row 1: field Nval does not hold a number"},
        {"1", "''", "'0x10'", "row 1: field Nval does not hold a number"},
        {"1", "''", "'1e400'", "row 1: field Nval does not hold a number"},
        {"1", "''", "'0.10000000000000000001'", "row 1: field Nval does not hold a number"},
        {"1", "x'31'", "1", "row 1: field Value does not hold text"},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.no) + " " + c.value + " " + c.nval);
        const QString p = path(("imported" + std::to_string(++n) + ".db").c_str());
        // Fields without a declared type keep each value as it is given.
        ASSERT_EQ(
            execSql(p, std::string("CREATE TABLE Readings (No, Time, \"DC/AC\", Value, Unit, AUTO, Nval);"
                                   "INSERT INTO Readings VALUES (") +
                           c.no + ", '12:00:00.000', 'DC', " + c.value + ", 'V', 'AUTO', " + c.nval + ");"),
            "");
        TableStore table;
        if (table.openFile(p)) {
            EXPECT_EQ(rowText(table, 0), QLatin1String(c.expected));
        } else {
            EXPECT_TRUE(table.lastError().endsWith(QLatin1String(c.expected)))
                << table.lastError().toStdString();
        }
    }
}

// A table cut short anywhere either loads every row exactly as saved or is refused, and a refusal
// leaves the open table as it was.
TEST_F(TableStoreTest, ATableCutShortLoadsWholeOrIsRefused)
{
    const QString pending = savedTable("current.db", 2);
    TableStore table;
    ASSERT_TRUE(table.openFile(pending));
    table.appendRow(reading(3, "pending"));

    std::mt19937 random(15);
    for (int pageSize : {512, 4096, 65536}) {
        SCOPED_TRACE(pageSize);
        const QString whole = path(("whole" + std::to_string(pageSize) + ".db").c_str());
        std::string sql = "PRAGMA page_size=" + std::to_string(pageSize) + ";" + kCreateReadings + "BEGIN;";
        for (int i = 1; i <= 500; ++i)
            sql += "INSERT INTO Readings VALUES (" + std::to_string(i) + ", '10:00:00.000', 'DC', '" +
                   std::to_string(i * 7) + "', 'mV', 'AUTO', " + std::to_string(i) + ".5);";
        ASSERT_EQ(execSql(whole, sql + "COMMIT;"), "");
        const QByteArray bytes = fileBytes(whole);
        QStringList expected;
        {
            TableStore reference;
            ASSERT_TRUE(reference.openFile(whole));
            for (int64_t r = 0; r < reference.rowCount(); ++r)
                expected << rowText(reference, r);
        }
        ASSERT_EQ(expected.size(), 500);

        std::vector<qsizetype> cuts;
        for (qsizetype at = pageSize; at < bytes.size(); at += pageSize)
            cuts.push_back(at);
        for (int i = 0; i < 40; ++i)
            cuts.push_back(qsizetype(random() % uint32_t(bytes.size())));
        cuts.push_back(bytes.size() - 1);
        for (qsizetype cut : cuts) {
            SCOPED_TRACE(cut);
            const QString cutFile = path("cut.db");
            writeBytes(cutFile, bytes.left(cut));
            if (table.openFile(cutFile)) {
                QStringList rows;
                for (int64_t r = 0; r < table.rowCount(); ++r)
                    rows << rowText(table, r);
                EXPECT_EQ(rows, expected);
                ASSERT_TRUE(table.openFile(pending));
                table.appendRow(reading(3, "pending"));
                continue;
            }
            EXPECT_TRUE(table.lastError().startsWith(cutFile + QLatin1String(": ")))
                << table.lastError().toStdString();
            EXPECT_EQ(table.fileName(), pending);
            ASSERT_EQ(table.rowCount(), 3);
        }
    }
}

// A large file's structure is checked alongside its load: every damaged file is judged as when
// the check runs first, with the same message, and a cancel meanwhile leaves the table as it was.
TEST_F(TableStoreTest, CheckingAlongsideTheLoadJudgesEveryFileAlike)
{
    std::string sql = std::string("PRAGMA page_size=1024;") + kCreateReadings + "BEGIN;";
    for (int i = 1; i <= 1500; ++i)
        sql += "INSERT INTO Readings VALUES (" + std::to_string(i) + ", '10:00:00.000', 'DC', '" +
               std::to_string(i * 7) + "', 'mV', 'AUTO', " + std::to_string(i) + ".5);";
    const QString whole = path("whole.db");
    ASSERT_EQ(execSql(whole, sql + "COMMIT;"), "");
    const QByteArray bytes = fileBytes(whole);
    std::vector<std::pair<std::string, QByteArray>> files{{"whole", bytes}};
    for (qsizetype page = 0; page * 1024 < bytes.size(); ++page) {
        QByteArray zeroed = bytes;
        zeroed.replace(page * 1024, 1024, QByteArray(1024, '\0'));
        files.emplace_back("page " + std::to_string(page + 1) + " zeroed", zeroed);
        QByteArray flipped = bytes;
        flipped[page * 1024 + (page == 0 ? 100 : 5)] =
            char(flipped[page * 1024 + (page == 0 ? 100 : 5)] ^ 0x40);
        files.emplace_back("page " + std::to_string(page + 1) + " header byte flipped", flipped);
    }
    files.emplace_back("cut inside the last page", bytes.left(bytes.size() - 100));

    const QString current = savedTable("current.db", 2);
    TableStore table;
    ASSERT_TRUE(table.openFile(current));
    const auto judge = [&](const QString &file, int64_t alongsideFrom) {
        tablefile::setCheckAlongsideFrom(alongsideFrom);
        const bool opened = table.openFile(file);
        QString outcome = opened ? QStringLiteral("opened %1 rows").arg(table.rowCount()) : table.lastError();
        if (opened) {
            EXPECT_TRUE(table.openFile(current));
        }
        return outcome;
    };
    int refused = 0;
    for (const auto &[name, content] : files) {
        SCOPED_TRACE(name);
        const QString file = path("damaged.db");
        writeBytes(file, content);
        const QString first = judge(file, std::numeric_limits<int64_t>::max());
        EXPECT_EQ(judge(file, 0).toStdString(), first.toStdString());
        refused += first.startsWith(file);
    }
    EXPECT_GT(refused, int(files.size()) / 2);

    int calls = 0;
    tablefile::setCheckAlongsideFrom(0);
    EXPECT_FALSE(table.openFile(whole, [&](int64_t, int64_t) { return ++calls < 2; }));
    tablefile::setCheckAlongsideFrom(int64_t(16) << 20);
    EXPECT_TRUE(table.lastError().isEmpty());
    EXPECT_EQ(table.fileName(), current);
    EXPECT_EQ(table.rowCount(), 2);
}

// Opening checks and reads a file; closing leaves it byte for byte as it was, with nothing beside
// it, whatever its page size, text encoding or journal mode.
TEST_F(TableStoreTest, AFileOpenedAndClosedStaysAsItWas)
{
    const char *const forms[] = {"", "PRAGMA page_size=512;", "PRAGMA encoding='UTF-16le';",
                                 "PRAGMA journal_mode=WAL;"};
    int n = 0;
    for (const char *form : forms) {
        SCOPED_TRACE(form);
        const QString p = path(("form" + std::to_string(++n) + ".db").c_str());
        ASSERT_EQ(execSql(p, std::string(form) + table("INSERT INTO Readings VALUES (1, '10:00:00.000', "
                                                       "'DC', '1.000', 'V', 'AUTO', 1000);")),
                  "");
        const QByteArray before = fileBytes(p);
        const QStringList files = filesIn(dir.path());
        {
            TableStore table;
            ASSERT_TRUE(table.openFile(p)) << table.lastError().toStdString();
            ASSERT_TRUE(table.openFile(p)); // again, through the connection that holds it
            EXPECT_EQ(table.rowCount(), 1);
        }
        EXPECT_EQ(fileBytes(p), before);
        EXPECT_EQ(filesIn(dir.path()), files);
    }
}

TEST_F(TableStoreTest, ReadOnlyWorkingFolderGivesAClearMessage)
{
    const QString folder = path("readonly");
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto readAndEnter = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                              QFileDevice::ExeOther | QFileDevice::ReadGroup | QFileDevice::ExeGroup;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), readAndEnter | QFileDevice::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(folder, readAndEnter));
    // Root writes anywhere; check as an unprivileged user in a child.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        TableStore t;
        if (t.openWorkingTable(folder))
            _exit(1);
        _exit(t.lastError().contains(QLatin1String("the working table could not be created")) ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(filesIn(folder).isEmpty());
}

TEST_F(TableStoreTest, ExistingWorkingFileThatIsNotOursIsLeftAlone)
{
    writeBytes(workingPath(), QByteArray("not a table at all, but someone's notes"));
    TableStore table;
    EXPECT_FALSE(table.openWorkingTable(dir.path()));
    EXPECT_EQ(table.lastError(), workingPath() + QStringLiteral(": file is not a database"));
    QFile f(workingPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("not a table at all, but someone's notes"));
}

} // namespace
