// Table files built by statements the input chooses: near misses of a reading table (renamed,
// retyped, missing or extra fields, extra tables, views, triggers, indexes, odd encodings and page
// sizes) filled with values of every storage type. TableStore::openFile must accept exactly the
// files that hold one reading table with fitting values, refuse the rest with a message that names
// the file, and load what it accepts as the file holds it.
#include "FuzzCheck.h"
#include "SampleTables.h"
#include "TableOracle.h"

#include "store/TableStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

constexpr int kColumns = 7;

QString temporaryPattern()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const bool useShm = qEnvironmentVariableIsEmpty("TMPDIR") && shm.isDir() && shm.isWritable();
    return (useShm ? shm.filePath() : QDir::tempPath()) + QLatin1String("/meterlink-fuzz-XXXXXX");
}

struct Harness
{
    QTemporaryDir dir{temporaryPattern()};
    QString reference;
    QString input;
    TableStore store;
};

std::unique_ptr<Harness> harness;

// How the inputs fell out, printed at exit when FUZZ_STATS is set: a fuzzer whose inputs are all
// refused for the same reason tests little.
struct Stats
{
    long opened = 0, refused = 0, mustAccept = 0, mustRefuse = 0;
    ~Stats()
    {
        if (qEnvironmentVariableIsSet("FUZZ_STATS"))
            std::fprintf(stderr, "opened %ld, refused %ld, must accept %ld, must refuse %ld\n", opened,
                         refused, mustAccept, mustRefuse);
    }
} stats;

template <typename T, size_t N> const T &pick(FuzzedDataProvider &in, const T (&list)[N])
{
    return list[in.ConsumeIntegralInRange<size_t>(0, N - 1)];
}

std::string sqlQuoted(const std::string &name)
{
    std::string q = "\"";
    for (char c : name)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

const char *const kCanonical[kColumns] = {"No", "Time", "DC/AC", "Value", "Unit", "AUTO", "Nval"};
// Declared types do not decide: the values they leave in the file do. The last of each row is a
// type other programs use for such a field.
const char *const kFittingTypes[kColumns][5] = {
    {"INTEGER", "INT", "BIGINT", "integer", "NUMERIC"},
    {"TEXT", "VARCHAR(12)", "CHAR", "CLOB", "TIME"},
    {"TEXT", "NCHAR(2)", "text", "TEXT", ""},
    {"TEXT", "VARCHAR(255)", "TEXT", "CLOB", "VARCHAR(20)"},
    {"TEXT", "CHARACTER(20)", "TEXT", "text", "DATETIME"},
    {"TEXT", "VARCHAR", "TEXT", "NVARCHAR(4)", ""},
    {"REAL", "DOUBLE", "FLOAT", "NUMERIC", ""},
};
const char *const kAnyTypes[] = {"INTEGER", "TEXT", "REAL",    "BLOB",   "",
                                 "NUMERIC", "DATE", "CHARINT", "FLOATY", "DOUBLE PRECISION",
                                 "BOOLEAN", "ANY"};
const char *const kOtherNames[] = {"no", "TIME", "dc/ac", "value", "Extra", "Nval2", "rowid", "", " No", "Ω"};
const char *const kTableNames[] = {"Readings", "readings", "Vs500db", "Odd\"Name", "a b", "TOR200DB", "ü"};

// Appends a value of a storage type the input picks to a statement's parameter.
void bindValue(FuzzedDataProvider &in, sqlite3_stmt *stmt, int index)
{
    switch (in.ConsumeIntegralInRange(0, 8)) {
    case 0:
        sqlite3_bind_null(stmt, index);
        break;
    case 1:
        sqlite3_bind_int64(stmt, index, in.ConsumeIntegral<int64_t>());
        break;
    case 2:
        sqlite3_bind_double(stmt, index, in.ConsumeFloatingPoint<double>());
        break;
    case 3: {
        const std::string text = in.ConsumeRandomLengthString(24);
        sqlite3_bind_text(stmt, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
        break;
    }
    case 4: { // a time of day, sometimes out of range
        char text[40];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", in.ConsumeIntegralInRange(0, 99),
                      in.ConsumeIntegralInRange(0, 99), in.ConsumeIntegralInRange(0, 99),
                      in.ConsumeIntegralInRange(0, 1999));
        sqlite3_bind_text(stmt, index, text, -1, SQLITE_TRANSIENT);
        break;
    }
    case 5: { // a reading as the meter shows it, sometimes with more digits
        std::string text = in.ConsumeBool() ? "-" : "";
        const int digits = in.ConsumeIntegralInRange(1, 7);
        const int point = in.ConsumeIntegralInRange(0, digits);
        for (int d = 0; d < digits; ++d) {
            if (d == point && d > 0)
                text += '.';
            text += char('0' + in.ConsumeIntegralInRange(0, 9));
        }
        sqlite3_bind_text(stmt, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
        break;
    }
    case 6: {
        static const char *const kWords[] = {"AC", "DC", "",  "AUTO", "MANU", "V",    "mV",   "k*", "#",
                                             "?",  "&",  ")", "kHz",  "0.L",  "-0.L", "MRPM", "uF"};
        sqlite3_bind_text(stmt, index, pick(in, kWords), -1, SQLITE_STATIC);
        break;
    }
    case 7: {
        const std::string bytes = in.ConsumeRandomLengthString(16);
        sqlite3_bind_blob(stmt, index, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    default: { // text around the size limit
        const int length = in.ConsumeIntegralInRange(4090, 4100);
        sqlite3_bind_text(stmt, index, std::string(size_t(length), 'x').c_str(), length, SQLITE_TRANSIENT);
        break;
    }
    }
}

struct Built
{
    bool structureFits = false; // one plain table with our seven fields
    bool extras = false;        // a view or trigger was made
};

// Builds the file the input describes; statements the engine refuses are skipped.
Built buildFile(FuzzedDataProvider &in, sqlite3 *db)
{
    Built built;
    const auto exec = [db](const std::string &sql) {
        return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    };
    if (in.ConsumeBool()) {
        static const char *const kPragmas[] = {"PRAGMA encoding='UTF-16le'", "PRAGMA encoding='UTF-16be'",
                                               "PRAGMA page_size=512",       "PRAGMA page_size=65536",
                                               "PRAGMA auto_vacuum=FULL",    "PRAGMA journal_mode=WAL"};
        exec(pick(in, kPragmas));
    }

    const std::string table = pick(in, kTableNames);
    std::vector<std::string> columns;
    bool fits = in.ConsumeProbability<float>() < 0.7f;
    if (fits) {
        int order[kColumns] = {0, 1, 2, 3, 4, 5, 6};
        for (int i = kColumns - 1; i > 0; --i)
            std::swap(order[i], order[in.ConsumeIntegralInRange(0, i)]);
        for (int i : order) {
            std::string name = kCanonical[i];
            if (in.ConsumeBool())
                for (char &c : name)
                    c = char(in.ConsumeBool() ? std::tolower(c) : std::toupper(c));
            columns.push_back(sqlQuoted(name) + " " + pick(in, kFittingTypes[i]));
        }
    }
    // Damage to the field list: each step makes the structure unfit.
    const int damage = in.ConsumeIntegralInRange(0, fits ? 2 : 9);
    for (int i = 0; i < damage; ++i) {
        switch (in.ConsumeIntegralInRange(0, 4)) {
        case 0:
            if (!columns.empty())
                columns.erase(columns.begin() + in.ConsumeIntegralInRange<size_t>(0, columns.size() - 1));
            break;
        case 1:
            columns.push_back(sqlQuoted(pick(in, kOtherNames)) + " " + pick(in, kAnyTypes));
            break;
        case 2:
            columns.push_back(sqlQuoted(pick(in, kCanonical)) + " " + pick(in, kAnyTypes));
            break;
        case 3:
            columns.push_back(sqlQuoted(pick(in, kCanonical)) + " REAL GENERATED ALWAYS AS (1.5)");
            break;
        default:
            if (!columns.empty())
                columns.back() += in.ConsumeBool() ? " PRIMARY KEY" : " NOT NULL DEFAULT 0";
            break;
        }
    }
    fits = fits && damage == 0;
    std::string create = "CREATE TABLE " + sqlQuoted(table) + " (";
    for (size_t i = 0; i < columns.size(); ++i)
        create += (i ? ", " : "") + columns[i];
    create += ")";
    const bool withoutRowid = in.ConsumeProbability<float>() < 0.05f;
    if (withoutRowid)
        create += " WITHOUT ROWID";
    if (!exec(create))
        fits = false;

    const int rows = in.ConsumeIntegralInRange(0, 24);
    for (int r = 0; r < rows && !columns.empty(); ++r) {
        std::string insert = "INSERT INTO " + sqlQuoted(table) + " VALUES (";
        for (size_t c = 0; c < columns.size(); ++c)
            insert += c ? ", ?" : "?";
        insert += ")";
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, insert.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
            break;
        for (size_t c = 0; c < columns.size(); ++c)
            bindValue(in, stmt, int(c) + 1);
        sqlite3_step(stmt);
        sqlite3_finalize(stmt);
    }

    while (in.remaining_bytes() > 0 && in.ConsumeProbability<float>() < 0.3f) {
        switch (in.ConsumeIntegralInRange(0, 4)) {
        case 0:
            exec("CREATE INDEX IF NOT EXISTS ix ON " + sqlQuoted(table) + " (rowid)");
            exec("CREATE INDEX IF NOT EXISTS ix2 ON " + sqlQuoted(table) + " (" +
                 sqlQuoted(pick(in, kCanonical)) + ")");
            break;
        case 1:
            built.extras |= exec("CREATE VIEW v" + std::to_string(in.ConsumeIntegral<uint8_t>()) +
                                 " AS SELECT * FROM " + sqlQuoted(table));
            break;
        case 2:
            built.extras |= exec("CREATE TRIGGER t" + std::to_string(in.ConsumeIntegral<uint8_t>()) +
                                 " AFTER INSERT ON " + sqlQuoted(table) + " BEGIN SELECT 1; END");
            break;
        case 3:
            exec("CREATE TABLE " + sqlQuoted(pick(in, kOtherNames) + std::string("_t")) + " (x)");
            break;
        default:
            exec("DELETE FROM " + sqlQuoted(table) + " WHERE rowid % 3 = 0");
            break;
        }
    }
    built.structureFits = fits;
    return built;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    harness = std::make_unique<Harness>();
    FUZZ_CHECK(harness->dir.isValid(), "a temporary folder can be made");
    harness->reference = harness->dir.filePath(QStringLiteral("reference.db"));
    harness->input = harness->dir.filePath(QStringLiteral("input.db"));
    QString error;
    FUZZ_CHECK(writeSampleTable(harness->reference, 2, &error), "the reference table can be saved");
    FUZZ_CHECK(harness->store.openFile(harness->reference), "the reference table opens");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString &input = harness->input;
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(input + QLatin1String(suffix));

    FuzzedDataProvider provider(data, size);
    sqlite3 *db = nullptr;
    FUZZ_CHECK(sqlite3_open(QFile::encodeName(input).constData(), &db) == SQLITE_OK,
               "the input file can be made");
    const Built built = buildFile(provider, db);
    sqlite3_close(db);

    const TableFacts facts = tableFacts(input);
    TableStore &store = harness->store;
    const bool opened = store.openFile(input);
    ++(opened ? stats.opened : stats.refused);
    if (!opened) {
        FUZZ_CHECK(store.lastError().startsWith(input + QLatin1String(": ")), "a refusal names the file");
        FUZZ_CHECK(store.fileName() == harness->reference && store.rowCount() == 2,
                   "a refused file leaves the open table as it was");
    }
    if (facts.readable) {
        const bool mustRefuse = facts.tables != 1 || facts.viewsOrTriggers || !facts.valuesFit;
        const bool mustAccept = built.structureFits && facts.tables == 1 && !facts.viewsOrTriggers &&
                                facts.valuesFit && !facts.valuesUndecided;
        stats.mustAccept += mustAccept;
        stats.mustRefuse += mustRefuse;
        if (mustRefuse && opened)
            FUZZ_CHECK(false, "a file with other tables, views, triggers or unfitting values is refused");
        if (mustAccept && !opened) {
            std::fprintf(stderr, "%s\n", qPrintable(store.lastError()));
            FUZZ_CHECK(false, "a reading table with fitting values is accepted");
        }
    }
    if (!opened)
        return 0;

    QStringList fields;
    for (int64_t row = 0; row < store.rowCount(); ++row) {
        for (int c = 0; c < kColumns; ++c)
            fields << store.fieldText(row, TableColumn(c));
    }
    FUZZ_CHECK(store.openFile(harness->reference), "the reference table opens after an accepted file");
    checkFieldsMatchFile(fields, input);
    return 0;
}
