#include "store/TableFileCheck.h"

#include "store/ReadingStore.h"
#include "store/SlicedReads.h"
#include "store/StructureCheck.h"
#include "store/TableStore.h"
#include "store/WorkProgress.h"

#include <QFileInfo>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

namespace tablefile {

namespace {

// Checks that the file holds one plain table with our seven fields and nothing that could run.
// Declared types are not judged: another program may call a text field VARCHAR(20), TIME or
// nothing at all; the loader judges every value instead. On failure why says what is wrong;
// engineError tells whether it is the engine's message.
bool readSchema(sqlite3 *db, Schema &schema, QString &why, bool &engineError)
{
    engineError = false;
    Statement s;
    if (sqlite3_prepare_v2(db, "SELECT type, name, sql FROM sqlite_schema", -1, &s.stmt, nullptr) !=
        SQLITE_OK) {
        engineError = true;
        return false;
    }
    QStringList tables;
    QString tableSql;
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
        const auto text = [&](int i) {
            return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s.stmt, i)));
        };
        const QString type = text(0);
        const QString name = text(1);
        if (type == QLatin1String("view") || type == QLatin1String("trigger")) {
            why = QStringLiteral("it holds views or triggers");
            return false;
        }
        if (type == QLatin1String("table") &&
            !name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive)) {
            tables << name;
            tableSql = text(2);
        }
    }
    if (rc != SQLITE_DONE) {
        engineError = true;
        return false;
    }
    if (tables.isEmpty()) {
        why = QStringLiteral("it holds no table");
        return false;
    }
    if (tables.size() > 1) {
        QStringList named;
        for (const QString &t : tables.mid(0, 3))
            named << t.left(64);
        if (tables.size() > 3)
            named << QStringLiteral("...");
        why = QStringLiteral("it holds %1 tables (%2) instead of one")
                  .arg(tables.size())
                  .arg(named.join(QLatin1String(", ")));
        return false;
    }
    schema.table = tables.first();
    if (!tableSql.simplified().startsWith(QLatin1String("CREATE TABLE"), Qt::CaseInsensitive)) {
        why = QStringLiteral("its table is not a plain table");
        return false;
    }

    Statement info;
    const QByteArray pragma = "PRAGMA table_xinfo(" + quoted(schema.table) + ")";
    if (sqlite3_prepare_v2(db, pragma.constData(), -1, &info.stmt, nullptr) != SQLITE_OK) {
        engineError = true;
        return false;
    }
    int fields = 0;
    while ((rc = sqlite3_step(info.stmt)) == SQLITE_ROW) {
        ++fields;
        const QString name =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info.stmt, 1)));
        const int hidden = sqlite3_column_int(info.stmt, 6);
        const std::optional<TableColumn> column = TableStore::columnByName(name);
        if (!column) {
            why = QStringLiteral("its field \"%1\" is not a field of a reading table").arg(name.left(64));
            return false;
        }
        QString &slot = schema.columns[size_t(*column)];
        if (!slot.isEmpty()) {
            why = QStringLiteral("its field %1 appears twice").arg(TableStore::columnName(*column));
            return false;
        }
        if (hidden != 0) {
            why = QStringLiteral("its field %1 is computed").arg(name);
            return false;
        }
        slot = name;
    }
    if (rc != SQLITE_DONE) {
        engineError = true;
        return false;
    }
    for (int c = 0; c < kColumnCount; ++c) {
        if (schema.columns[size_t(c)].isEmpty()) {
            why = QStringLiteral("it has no field %1").arg(QLatin1String(kColumnNames[size_t(c)]));
            return false;
        }
    }
    // A table declared WITHOUT ROWID has no row ids to order by: its rows come in key order.
    Statement probe;
    const QByteArray rowid = "SELECT rowid FROM " + quoted(schema.table);
    schema.hasRowid = sqlite3_prepare_v2(db, rowid.constData(), -1, &probe.stmt, nullptr) == SQLITE_OK;
    return true;
}

// What a check or load found; why holds the reason where there is one of our own.
enum class Verdict
{
    Ok,
    NotOurs,   // a file of the engine's, but not a reading table
    Damaged,   // the engine's file itself is broken
    Engine,    // the engine failed: its message says why
    Cancelled, // the caller's progress asked to stop
};

int64_t pragmaNumber(sqlite3 *db, const char *sql)
{
    Statement s;
    if (sqlite3_prepare_v2(db, sql, -1, &s.stmt, nullptr) != SQLITE_OK || sqlite3_step(s.stmt) != SQLITE_ROW)
        return -1;
    return sqlite3_column_int64(s.stmt, 0);
}

// The first thing the engine's structure check found wrong, or Ok.
Verdict structureVerdict(QString found, QString &why)
{
    if (found == QLatin1String("ok"))
        return Verdict::Ok;
    found.remove(QStringLiteral("*** in database main ***"));
    why = found.simplified().left(200);
    return Verdict::Damaged;
}

// Whether the file is as long as its header says: a file cut short inside its last page keeps a
// sound structure, but the rows stored at that page's end read back as zeros.
Verdict checkLength(sqlite3 *db, const QString &path, QString &why)
{
    const int64_t pages = pragmaNumber(db, "PRAGMA page_count");
    const int64_t pageSize = pragmaNumber(db, "PRAGMA page_size");
    if (pages < 0 || pageSize < 0)
        return Verdict::Engine;
    // Pages of a write-ahead log are not in the file yet; an empty file is an empty database.
    const QFileInfo wal(path + QLatin1String("-wal"));
    const int64_t bytes = QFileInfo(path).size();
    if (bytes > 0 && !(wal.exists() && wal.size() > 0) && bytes < pages * pageSize) {
        why = QStringLiteral("it is cut short (%1 bytes, where its header gives %2 pages of %3 bytes)")
                  .arg(bytes)
                  .arg(pages)
                  .arg(pageSize);
        return Verdict::Damaged;
    }
    return Verdict::Ok;
}

// The engine's own structure check, then the file's length.
Verdict checkIntegrity(sqlite3 *db, const QString &path, ProgressMeter &meter, QString &why)
{
    const int64_t pages = pragmaNumber(db, "PRAGMA page_count");
    const int64_t pageSize = pragmaNumber(db, "PRAGMA page_size");
    if (pages < 0 || pageSize < 0)
        return Verdict::Engine;
    {
        // The check reads every page twice: once for the tree's structure, once for the rows.
        SlicedReads reads(db, meter, 2 * pages * pageSize);
        Statement s;
        if (sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &s.stmt, nullptr) != SQLITE_OK)
            return Verdict::Engine;
        const int rc = sqlite3_step(s.stmt);
        if (meter.cancelled())
            return Verdict::Cancelled;
        if (rc != SQLITE_ROW)
            return Verdict::Engine;
        const Verdict found = structureVerdict(
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s.stmt, 0))), why);
        if (found != Verdict::Ok)
            return found;
    }
    return checkLength(db, path, why);
}

int64_t g_checkAlongsideBytes = int64_t(16) << 20;

// Whether the structure check may run alongside the load (see StructureCheck): only for a file
// large enough for it to matter, held by db's open transaction, without a write-ahead log.
bool mayCheckAlongside(sqlite3 *db)
{
    if (sqlite3_txn_state(db, "main") == SQLITE_TXN_NONE)
        return false;
    const int64_t bytes = pragmaNumber(db, "PRAGMA page_count") * pragmaNumber(db, "PRAGMA page_size");
    if (bytes < g_checkAlongsideBytes)
        return false;
    Statement s;
    return sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &s.stmt, nullptr) == SQLITE_OK &&
           sqlite3_step(s.stmt) == SQLITE_ROW &&
           qstricmp(reinterpret_cast<const char *>(sqlite3_column_text(s.stmt, 0)), "wal") != 0;
}

// The loader's state while the engine hands it one row after another.
struct RowLoader
{
    ReadingStore &rows;
    ProgressMeter &meter;
    int64_t expected = 0;
    int64_t rowNumber = 0;
    QString why;                               // set when a value is not one a reading table holds
    const StructureCheck *alongside = nullptr; // a check running meanwhile: its fault ends the load
};

constexpr int64_t kRowsPerReport = 1024;

std::string_view valueText(sqlite3_value *v)
{
    const char *data = reinterpret_cast<const char *>(sqlite3_value_text(v));
    return data ? std::string_view(data, size_t(sqlite3_value_bytes(v))) : std::string_view();
}

// Text that is exactly a whole number as a number is written ("12", "-3"; not "012", "+3", " 3"):
// other programs' tables may hold every field as text.
bool wholeNumberText(std::string_view text, int64_t &out)
{
    int64_t n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        return false;
    char back[24];
    const auto w = std::to_chars(back, back + sizeof back, n);
    if (std::string_view(back, size_t(w.ptr - back)) != text)
        return false;
    out = n;
    return true;
}

// A decimal number as its digits without leading or trailing zeros and the power of ten of the last
// digit, so that "1.50", "15e-1" and "1.5" compare equal; nullopt for anything else.
struct Decimal
{
    bool negative = false;
    std::string digits;
    int64_t exponent = 0;
    bool operator==(const Decimal &o) const
    {
        return negative == o.negative && digits == o.digits && (digits.empty() || exponent == o.exponent);
    }
};

std::optional<Decimal> decimalOf(std::string_view text)
{
    Decimal d;
    size_t i = 0;
    if (i < text.size() && text[i] == '-') {
        d.negative = true;
        ++i;
    }
    bool anyDigit = false, point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (!(d.digits.empty() && c == '0'))
                d.digits += c;
            if (point)
                --d.exponent;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    if (i < text.size()) {
        if (text[i] != 'e' && text[i] != 'E')
            return std::nullopt;
        int64_t e = 0;
        const char *from = text.data() + i + 1;
        if (from < text.data() + text.size() && *from == '+')
            ++from;
        const auto r = std::from_chars(from, text.data() + text.size(), e);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size() || e > 100000 || e < -100000)
            return std::nullopt;
        d.exponent += e;
    }
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
        ++d.exponent;
    }
    return d;
}

// Text that is a number a double holds exactly as written: what it reads as prints back as the same
// number ("0.1", "1.50", "-3999"), so saving it again loses nothing. "0.1000000000000000001" is not.
bool exactNumberText(std::string_view text, double &out)
{
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v))
        return false;
    char back[32];
    const auto w = std::to_chars(back, back + sizeof back, v);
    const std::optional<Decimal> written = decimalOf(text);
    const std::optional<Decimal> read = decimalOf(std::string_view(back, size_t(w.ptr - back)));
    if (!written || !read || !(*written == *read))
        return false;
    out = v;
    return true;
}

// A number in a text field as its shortest exact text ("12", "1.5", "1e+20").
std::string_view numberText(sqlite3_value *v, char *buffer, size_t size)
{
    const auto r = sqlite3_value_type(v) == SQLITE_INTEGER
                       ? std::to_chars(buffer, buffer + size, sqlite3_value_int64(v))
                       : std::to_chars(buffer, buffer + size, sqlite3_value_double(v));
    return std::string_view(buffer, size_t(r.ptr - buffer));
}

// Called by the engine for every row in table order with the seven fields in TableColumn order.
// Reading the values inside the statement saves the per-column calls of stepping row by row.
void loadOneRow(sqlite3_context *context, int, sqlite3_value **values)
{
    auto *loader = static_cast<RowLoader *>(sqlite3_user_data(context));
    const int64_t rowNumber = ++loader->rowNumber;
    const auto refuse = [&](const QString &why) {
        loader->why = why;
        sqlite3_result_error(context, "not a reading table", -1);
    };
    const auto wrongType = [&](TableColumn column, const char *what) {
        refuse(QStringLiteral("row %1: field %2 %3")
                   .arg(rowNumber)
                   .arg(TableStore::columnName(column))
                   .arg(QLatin1String(what)));
    };
    if (rowNumber > loader->expected) {
        // Counted rows and rows handed over disagree only in a damaged file; the caller says so.
        sqlite3_result_error(context, "more rows than counted", -1);
        return;
    }

    RowInput in;
    sqlite3_value *no = values[int(TableColumn::No)];
    switch (sqlite3_value_type(no)) {
    case SQLITE_INTEGER:
        in.no = sqlite3_value_int64(no);
        break;
    case SQLITE_NULL:
        in.nullMask |= NullNo;
        break;
    case SQLITE_TEXT:
        if (wholeNumberText(valueText(no), in.no))
            break;
        [[fallthrough]];
    default:
        return wrongType(TableColumn::No, "does not hold a whole number");
    }
    sqlite3_value *nval = values[int(TableColumn::Nval)];
    switch (sqlite3_value_type(nval)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        in.nval = sqlite3_value_double(nval);
        break;
    case SQLITE_NULL:
        in.nullMask |= NullNval;
        break;
    case SQLITE_TEXT:
        if (exactNumberText(valueText(nval), in.nval))
            break;
        [[fallthrough]];
    default:
        return wrongType(TableColumn::Nval, "does not hold a number");
    }
    struct TextField
    {
        TableColumn column;
        std::string_view *target;
        uint8_t nullBit;
    };
    const TextField texts[] = {
        {TableColumn::Time, &in.timeText, NullTime}, {TableColumn::DCAC, &in.dcac, NullDcac},
        {TableColumn::Value, &in.value, NullValue},  {TableColumn::Unit, &in.unit, NullUnit},
        {TableColumn::AUTO, &in.autoText, NullAuto},
    };
    char numbers[std::size(texts)][32];
    for (const TextField &f : texts) {
        sqlite3_value *v = values[int(f.column)];
        const int type = sqlite3_value_type(v);
        if (type == SQLITE_NULL) {
            in.nullMask |= f.nullBit;
            continue;
        }
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
            char *buffer = numbers[&f - texts];
            *f.target = numberText(v, buffer, sizeof numbers[0]);
            continue;
        }
        if (type != SQLITE_TEXT)
            return wrongType(f.column, "does not hold text");
        const char *data = reinterpret_cast<const char *>(sqlite3_value_text(v));
        if (!data) {
            sqlite3_result_error_nomem(context);
            return;
        }
        const int bytes = sqlite3_value_bytes(v);
        if (bytes > TableStore::kMaxFieldBytes) {
            return refuse(
                QStringLiteral("row %1: field %2 holds %3 bytes of text, more than the %4 a reading "
                               "table allows")
                    .arg(rowNumber)
                    .arg(TableStore::columnName(f.column))
                    .arg(bytes)
                    .arg(TableStore::kMaxFieldBytes));
        }
        *f.target = std::string_view(data, size_t(bytes));
    }
    loader->rows.append(in);
    if (rowNumber % kRowsPerReport == 0) {
        if (int64_t(loader->rows.bytesReserved()) > TableStore::kMaxRowBytes) {
            return refuse(QStringLiteral("its first %1 of %2 rows already take %3 MB of memory, more than "
                                         "the %4 MB a reading table may take")
                              .arg(rowNumber)
                              .arg(loader->expected)
                              .arg(loader->rows.bytesReserved() >> 20)
                              .arg(TableStore::kMaxRowBytes >> 20));
        }
        if (!loader->meter.report(rowNumber, loader->expected)) {
            sqlite3_result_error(context, "cancelled", -1);
            return;
        }
        if (loader->alongside && loader->alongside->failed()) { // the caller names the fault
            sqlite3_result_error(context, "damaged", -1);
            return;
        }
    }
    sqlite3_result_int(context, 0);
}

// The engine refuses a value beyond its read limit before the loader sees the row: the row after the
// rows loaded is read again field by field to name the one that is too big.
QString tooBigField(sqlite3 *db, const Schema &schema, int64_t rowsLoaded)
{
    const int64_t rowNumber = rowsLoaded + 1;
    for (int c = 0; c < kColumnCount; ++c) {
        QByteArray sql =
            "SELECT " + quoted(schema.columns[size_t(c)]) + " FROM " + quoted(schema.table) + " NOT INDEXED";
        if (schema.hasRowid)
            sql += " ORDER BY rowid";
        sql += " LIMIT 1 OFFSET " + QByteArray::number(rowsLoaded);
        Statement s;
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &s.stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(s.stmt) != SQLITE_ROW && (sqlite3_extended_errcode(db) & 0xff) == SQLITE_TOOBIG)
            return QStringLiteral("row %1: field %2 holds more than %3 bytes, more than the %4 a reading "
                                  "table allows")
                .arg(rowNumber)
                .arg(TableStore::columnName(TableColumn(c)))
                .arg(kMaxValueBytes)
                .arg(TableStore::kMaxFieldBytes);
    }
    return QStringLiteral("row %1: a field holds more than %2 bytes, more than the %3 a reading table allows")
        .arg(rowNumber)
        .arg(kMaxValueBytes)
        .arg(TableStore::kMaxFieldBytes);
}

// Counts the table's rows, for the loader to check what it reads against.
Verdict countRows(sqlite3 *db, const Schema &schema, ProgressMeter &meter, int64_t &count)
{
    const int64_t bytes = pragmaNumber(db, "PRAGMA page_count") * pragmaNumber(db, "PRAGMA page_size");
    SlicedReads reads(db, meter, bytes);
    count = pragmaNumber(db, ("SELECT count(*) FROM " + quoted(schema.table)).constData());
    if (meter.cancelled())
        return Verdict::Cancelled;
    return count < 0 ? Verdict::Engine : Verdict::Ok;
}

Verdict loadRows(sqlite3 *db, const Schema &schema, ReadingStore &rows, ProgressMeter &meter, QString &why,
                 const StructureCheck *alongside)
{
    const QByteArray table = quoted(schema.table);
    constexpr int64_t kCountShare = 50;
    const int64_t loadFrom = meter.phaseFrom() + kCountShare;
    meter.setPhase(meter.phaseFrom(), loadFrom);
    int64_t count = 0;
    const Verdict counted = countRows(db, schema, meter, count);
    if (counted != Verdict::Ok)
        return counted;
    meter.setPhase(loadFrom, ProgressMeter::kScale);
    if (count > TableStore::kMaxRows) {
        why = QStringLiteral("it holds %1 rows, more than the %2 a reading table may hold")
                  .arg(count)
                  .arg(TableStore::kMaxRows);
        return Verdict::NotOurs;
    }

    RowLoader loader{rows, meter, count, 0, {}, alongside};
    constexpr const char *kFunction = "meterlink_load_row";
    // Only this statement may call it: not a view, trigger or default the file brings along.
    if (sqlite3_create_function_v2(db, kFunction, kColumnCount, SQLITE_UTF8 | SQLITE_DIRECTONLY, &loader,
                                   &loadOneRow, nullptr, nullptr, nullptr) != SQLITE_OK)
        return Verdict::Engine;
    struct Unregister
    {
        sqlite3 *db;
        ~Unregister()
        {
            sqlite3_create_function_v2(db, kFunction, kColumnCount, SQLITE_UTF8, nullptr, nullptr, nullptr,
                                       nullptr, nullptr);
        }
    } unregister{db};

    // A plain scan of the table's own tree: row id order, or key order for a table without row ids.
    QByteArray sql = QByteArray("SELECT 1 FROM ") + table + " NOT INDEXED WHERE " + kFunction + "(";
    for (int c = 0; c < kColumnCount; ++c)
        sql += (c ? ", " : "") + quoted(schema.columns[size_t(c)]);
    sql += ")";
    if (schema.hasRowid)
        sql += " ORDER BY rowid";
    Statement s;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &s.stmt, nullptr) != SQLITE_OK)
        return Verdict::Engine;
    const int rc = sqlite3_step(s.stmt);
    if (meter.cancelled())
        return Verdict::Cancelled;
    if (!loader.why.isEmpty()) {
        why = loader.why;
        return Verdict::NotOurs;
    }
    if (rc == SQLITE_DONE && loader.rowNumber == count)
        return Verdict::Ok;
    if (loader.rowNumber > count) {
        why = QStringLiteral("it counts %1 rows but holds more").arg(count);
        return Verdict::Damaged;
    }
    if (rc == SQLITE_DONE) {
        why = QStringLiteral("it counts %1 rows, but only %2 could be read").arg(count).arg(loader.rowNumber);
        return Verdict::Damaged;
    }
    if ((sqlite3_extended_errcode(db) & 0xff) == SQLITE_TOOBIG) {
        why = tooBigField(db, schema, loader.rowNumber);
        return Verdict::NotOurs;
    }
    return Verdict::Engine;
}

QString damaged(const QString &fileName, const QString &why)
{
    return QStringLiteral("%1: the file is damaged and was not opened: %2").arg(fileName, why);
}

QString notOurs(const QString &fileName, const QString &why)
{
    return QStringLiteral("%1: not a reading table: %2").arg(fileName, why);
}

} // namespace

QString engineFailure(const QString &fileName, sqlite3 *db)
{
    const int code = sqlite3_extended_errcode(db) & 0xff;
    if (code == SQLITE_CORRUPT)
        return damaged(fileName, engineMessage(db));
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        return QStringLiteral("%1: another MeterLink holds this table open (or another program is "
                              "writing it). Close it there, or open another file.")
            .arg(fileName);
    return QStringLiteral("%1: %2").arg(fileName, engineMessage(db));
}

void setCheckAlongsideFrom(int64_t bytes)
{
    g_checkAlongsideBytes = bytes;
}

int64_t checkAlongsideFrom()
{
    return g_checkAlongsideBytes;
}

QString checkAndLoad(sqlite3 *db, const QString &fileName, ReadingStore &rows, Schema &schema,
                     ProgressMeter &meter)
{
    // The structure check walks every page, the load the table's pages again and builds the rows:
    // one after the other, or for a large file both at once.
    QString why;
    const QString path = QFileInfo(fileName).absoluteFilePath();
    std::unique_ptr<StructureCheck> alongside;
    Verdict verdict = Verdict::Ok;
    if (mayCheckAlongside(db)) {
        alongside = std::make_unique<StructureCheck>(path);
    } else {
        meter.setPhase(0, TableStore::kCheckProgressShare);
        verdict = checkIntegrity(db, path, meter, why);
    }
    if (verdict == Verdict::Ok) {
        bool engineError = false;
        if (!readSchema(db, schema, why, engineError))
            verdict = engineError ? Verdict::Engine : Verdict::NotOurs;
    }
    if (verdict == Verdict::Ok) {
        meter.setPhase(alongside ? 0 : TableStore::kCheckProgressShare, ProgressMeter::kScale);
        verdict = loadRows(db, schema, rows, meter, why, alongside.get());
    }
    if (alongside && verdict != Verdict::Cancelled) {
        // What the structure check found goes first, as when it runs before the load: a damaged
        // file is called damaged whatever the load met in it.
        const StructureCheck::Result found = alongside->finish([&] { return meter.report(1, 1); });
        if (meter.cancelled())
            return {};
        QString fault;
        if (!found.finished) {
            if ((found.errorCode & 0xff) == SQLITE_CORRUPT)
                return damaged(fileName, found.error);
            return QStringLiteral("%1: %2").arg(fileName, found.error);
        }
        if (structureVerdict(found.verdict, fault) == Verdict::Damaged)
            return damaged(fileName, fault);
        const Verdict length = checkLength(db, path, fault);
        if (length == Verdict::Damaged)
            return damaged(fileName, fault);
        if (length == Verdict::Engine)
            return engineFailure(fileName, db);
    }
    switch (verdict) {
    case Verdict::Ok:
    case Verdict::Cancelled:
        return {};
    case Verdict::NotOurs:
        return notOurs(fileName, why);
    case Verdict::Damaged:
        return damaged(fileName, why);
    case Verdict::Engine:
        break;
    }
    return engineFailure(fileName, db);
}

} // namespace tablefile
