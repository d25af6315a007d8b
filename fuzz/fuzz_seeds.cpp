// Writes the seed corpus of a fuzz target into a folder:
//   fuzz_seeds receive DIR       streams of both families for many selector sets, clean and damaged
//   fuzz_seeds decode_text DIR   frame texts of both families
//   fuzz_seeds table DIR         saved tables, tables edited into near misses, and damaged files
#include "ReceiveFuzzInput.h"
#include "SampleTables.h"

#include "decode/FrameEncoders.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

int g_written = 0;

bool writeSeed(const QString &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(QDir(dir).filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", qPrintable(file.fileName()));
        return false;
    }
    ++g_written;
    return true;
}

QByteArray toByteArray(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

ModelSelectors selectorsOf(std::initializer_list<ModelSelector> list)
{
    ModelSelectors s;
    for (ModelSelector m : list)
        s.set(size_t(m));
    return s;
}

Bytes scenario(DecoderFamily family, const ModelSelectors &selectors, int frames)
{
    Bytes stream;
    for (int i = 0; i < frames; ++i) {
        // Steps spread over the scenario's phases.
        const long step = long(i) * 11;
        const Bytes frame =
            family == DecoderFamily::VS500 ? vs500ScenarioFrame(step, selectors) : or200ScenarioFrame(step);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    return stream;
}

// Frames that fail to convert or show the overload, for each family.
Bytes awkwardFrames(DecoderFamily family)
{
    Bytes stream;
    const auto add = [&stream](const Bytes &frame) {
        stream.insert(stream.end(), frame.begin(), frame.end());
    };
    if (family == DecoderFamily::VS500) {
        Vs500Display d;
        d.digits[1] = 0xC; // a digit that does not convert
        add(encodeVs500(d));
        d = Vs500Display();
        d.range = 0xA; // a range code that does not convert
        d.function = 0x3;
        add(encodeVs500(d));
        d = Vs500Display();
        d.statusA = 0x1 | 0x4; // minus overload
        d.function = 0x1;
        add(encodeVs500(d));
        d = Vs500Display();
        d.statusA = 0x0;
        d.statusB = 0x1; // the frequency sub-mode
        d.range = 4;
        add(encodeVs500(d));
        return stream;
    }
    Or200Display d;
    d.digits[0] = ' '; // blank digits do not convert
    add(encodeOr200(d));
    d = Or200Display();
    d.digits[1] = '0';
    d.digits[2] = 'L'; // the overload
    d.minus = true;
    add(encodeOr200(d));
    d = Or200Display();
    d.hertz = true;
    d.kilo = true;
    add(encodeOr200(d));
    d = Or200Display();
    d.celsius = true;
    d.digits[3] = '-';
    add(encodeOr200(d));
    return stream;
}

// Damage of the kinds a serial line causes: a lost byte, a doubled byte, noise, a cut-off frame.
std::vector<Bytes> damaged(const Bytes &clean)
{
    std::vector<Bytes> out;
    if (clean.size() < 30)
        return out;
    Bytes lost = clean;
    lost.erase(lost.begin() + 5);
    out.push_back(lost);
    Bytes doubled = clean;
    doubled.insert(doubled.begin() + 20, doubled[20]);
    out.push_back(doubled);
    Bytes noise = clean;
    for (size_t i = 3; i < noise.size(); i += 17)
        noise[i] ^= uint8_t(0x5A + i);
    out.push_back(noise);
    Bytes cut(clean.begin(), clean.begin() + long(clean.size() / 2 - 3));
    cut.insert(cut.end(), 200, 0x33); // a long run without an end byte
    cut.insert(cut.end(), clean.begin(), clean.end());
    out.push_back(cut);
    return out;
}

int receiveSeeds(const QString &dir)
{
    std::vector<ModelSelectors> sets;
    for (int s = 0; s < kModelSelectorCount; ++s)
        sets.push_back(ModelSelectors().set(size_t(s)));
    sets.push_back(ModelSelectors());
    sets.push_back(selectorsOf({ModelSelector::IFOR210, ModelSelector::IFOR250}));
    sets.push_back(selectorsOf({ModelSelector::IFVS500, ModelSelector::IF7740x}));
    sets.push_back(selectorsOf({ModelSelector::IFOR220, ModelSelector::IFOR380}));
    sets.push_back(selectorsOf({ModelSelector::IFOR230, ModelSelector::IF7740x}));
    sets.push_back(ModelSelectors().set());
    const std::vector<std::vector<uint8_t>> cuts = {{}, {1}, {3, 7, 0, 14}, {13, 2}, {11, 0, 255}};

    int n = 0;
    for (size_t i = 0; i < sets.size(); ++i) {
        for (bool vs500WhenUnbound : {false, true}) {
            const ModelSelectors &selectors = sets[i];
            DecoderFamily family = profileFor(selectors).family;
            if (family == DecoderFamily::None)
                family = vs500WhenUnbound ? DecoderFamily::VS500 : DecoderFamily::OR200;
            else if (vs500WhenUnbound)
                continue;
            ReceiveFuzzInput in;
            in.selectors = selectors;
            in.vs500WhenUnbound = vs500WhenUnbound;
            in.digits[0] = char('0' + i % 10);
            in.digits[1] = '3';
            in.digits[2] = char('9' - i % 10);
            in.digits[3] = '7';
            in.minus = i % 2;
            in.or200Point = int(i % 4);
            in.vs500Range = int(i % 6);

            Bytes clean = scenario(family, selectors, 24);
            const Bytes awkward = awkwardFrames(family);
            clean.insert(clean.end(), awkward.begin(), awkward.end());
            std::vector<Bytes> streams = damaged(clean);
            streams.insert(streams.begin(), clean);
            for (size_t s = 0; s < streams.size(); ++s) {
                in.chunks = cuts[(i + s) % cuts.size()];
                Bytes input = in.header();
                input.insert(input.end(), streams[s].begin(), streams[s].end());
                if (!writeSeed(dir, QStringLiteral("receive-%1").arg(n++, 4, 10, QLatin1Char('0')),
                               toByteArray(input)))
                    return 1;
            }
        }
    }
    return 0;
}

QByteArray nibbleText(const Bytes &frame, size_t length)
{
    QByteArray text;
    for (size_t i = 0; i < frame.size() && size_t(text.size()) < length; ++i)
        text += "0123456789ABCDEF"[frame[i] & 0xF];
    return text;
}

int decodeTextSeeds(const QString &dir)
{
    int n = 0;
    const auto write = [&](const ModelSelectors &selectors, uint8_t hz, const QByteArray &text) {
        const unsigned bits = unsigned(selectors.to_ulong());
        QByteArray input;
        input += char(bits & 0xFF);
        input += char(bits >> 8);
        input += char(hz);
        // The start panel: the minus sign and the four digits.
        input += char(0x1F);
        input += QByteArray(5, '\0');
        input += text;
        return writeSeed(dir, QStringLiteral("text-%1").arg(n++, 4, 10, QLatin1Char('0')), input);
    };
    for (int s = 0; s < kModelSelectorCount; ++s) {
        const ModelSelectors selectors = ModelSelectors().set(size_t(s));
        for (long step = 0; step < 280; step += 37) {
            if (!write(selectors, uint8_t(step % 2), nibbleText(or200ScenarioFrame(step), 14)) ||
                !write(selectors, 0, nibbleText(vs500ScenarioFrame(step, selectors), 11)))
                return 1;
        }
        for (DecoderFamily family : {DecoderFamily::OR200, DecoderFamily::VS500}) {
            const Bytes awkward = awkwardFrames(family);
            // Bytes per frame on the wire, and the nibbles of a frame the decoder reads.
            const bool or200 = family == DecoderFamily::OR200;
            const size_t frameBytes = or200 ? 14 : 11;
            const size_t textLength = or200 ? 14 : 11;
            for (size_t at = 0; at + frameBytes <= awkward.size(); at += frameBytes) {
                const Bytes frame(awkward.begin() + long(at), awkward.begin() + long(at + frameBytes));
                if (!write(selectors, 1, nibbleText(frame, textLength)))
                    return 1;
            }
        }
    }
    for (const char *odd :
         {"", "A", "ADADADADADAD", "A0000000000D", "a1234b5c6dD", "E0E0E0E0E0E0E0E0", "--------------"})
        if (!write(ModelSelectors().set(), 1, QByteArray(odd)))
            return 1;
    return 0;
}

// Runs sql on the file at target; a statement this engine refuses skips the seed and removes it.
bool runOnFile(const QString &target, const char *sql)
{
    sqlite3 *db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(target).constData(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok)
        std::fprintf(stderr, "fuzz_seeds: skipped \"%s\": %s\n", sql, sqlite3_errmsg(db));
    sqlite3_close(db);
    if (!ok)
        QFile::remove(target);
    return ok;
}

// Copies the sample table and runs sql on the copy.
bool editedCopy(const QString &sample, const QString &target, const char *sql)
{
    QFile::remove(target);
    return QFile::copy(sample, target) && runOnFile(target, sql);
}

// A new file holding only what sql makes.
bool newDatabase(const QString &target, const char *sql)
{
    QFile::remove(target);
    return runOnFile(target, sql);
}

int tableSeeds(const QString &dir)
{
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    QString error;
    for (int rows : {0, 1, 3, 40}) {
        const QString name = QStringLiteral("table-rows-%1.db").arg(rows);
        if (!writeSampleTable(QDir(dir).filePath(name), rows, &error)) {
            std::fprintf(stderr, "fuzz_seeds: %s\n", qPrintable(error));
            return 1;
        }
        ++g_written;
    }
    const QString sample = QDir(dir).filePath(QStringLiteral("table-rows-3.db"));

    const char *const edits[] = {
        "CREATE TABLE Extra(x)",
        "CREATE VIEW Everything AS SELECT * FROM Readings",
        "CREATE TRIGGER Touch AFTER INSERT ON Readings BEGIN SELECT 1; END",
        "CREATE INDEX ByNo ON Readings(No)",
        "UPDATE Readings SET Value = NULL, Nval = NULL, No = NULL WHERE rowid = 2",
        "UPDATE Readings SET Value = x'00ff41' WHERE rowid = 1",
        "UPDATE Readings SET Nval = 'many' WHERE rowid = 3",
        "UPDATE Readings SET No = 1.5 WHERE rowid = 1",
        "UPDATE Readings SET Time = 'not a time', Unit = '' WHERE rowid = 2",
        "UPDATE Readings SET Unit = printf('%.5000c', 'x') WHERE rowid = 1",
        "UPDATE Readings SET Value = printf('%.4096c', 'y') WHERE rowid = 3",
        "UPDATE Readings SET Nval = 1e308, No = 9223372036854775807 WHERE rowid = 1",
        "ALTER TABLE Readings RENAME TO \"Odd\"\"Name\"",
        "ALTER TABLE Readings ADD COLUMN Extra TEXT",
        "ALTER TABLE Readings DROP COLUMN Nval",
        "ALTER TABLE Readings RENAME COLUMN Value TO vAlUe",
        "PRAGMA journal_mode=WAL",
        "PRAGMA page_size=512; VACUUM",
        "PRAGMA auto_vacuum=FULL; VACUUM",
        ("WITH RECURSIVE n(i) AS (SELECT 4 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
         "INSERT INTO Readings SELECT i, '10:00:00.000', 'DC', '1.234', 'V', 'AUTO', 1234 FROM n"),
        "DELETE FROM Readings",
    };
    int n = 0;
    for (const char *sql : edits) {
        if (editedCopy(
                sample,
                QDir(dir).filePath(QStringLiteral("table-edit-%1.db").arg(n++, 2, 10, QLatin1Char('0'))),
                sql))
            ++g_written;
    }

    const char *const databases[] = {
        "CREATE TABLE Readings (No TEXT, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, AUTO TEXT, Nval "
        "REAL)",
        "CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, AUTO TEXT, "
        "Nval)",
        "CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, AUTO TEXT, "
        "Nval REAL GENERATED ALWAYS AS (1.5))",
        "CREATE TABLE Readings (No INTEGER PRIMARY KEY, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, "
        "AUTO TEXT, Nval REAL) WITHOUT ROWID; INSERT INTO Readings VALUES (1, '10:00:00.000', 'AC', '1', "
        "'V', "
        "'MANU', 1)",
        "CREATE TABLE Readings (no INTEGER, time TEXT, \"dc/ac\" TEXT, value TEXT, unit TEXT, auto TEXT, "
        "nval DOUBLE)",
        "CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, AUTO TEXT)",
        "PRAGMA encoding = 'UTF-16le'; CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value "
        "TEXT, "
        "Unit TEXT, AUTO TEXT, Nval REAL); INSERT INTO Readings VALUES (1, '10:00:00.000', 'DC', '-3.999', "
        "'\xce\xa9', 'AUTO', -3999)",
        "CREATE VIRTUAL TABLE Readings USING fts5(No, Time, \"DC/AC\", Value, Unit, AUTO, Nval)",
        "CREATE TABLE Other (a INTEGER)",
        "PRAGMA user_version = 7",
    };
    n = 0;
    for (const char *sql : databases) {
        if (newDatabase(
                QDir(dir).filePath(QStringLiteral("table-new-%1.db").arg(n++, 2, 10, QLatin1Char('0'))), sql))
            ++g_written;
    }

    QFile file(sample);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = file.readAll();
    const auto damagedCopy = [&](const QString &name, QByteArray copy) {
        return writeSeed(dir, name, copy);
    };
    QByteArray pageSize = bytes;
    pageSize[16] = char(0x00);
    pageSize[17] = char(0x03); // a page size that is no power of two
    QByteArray pageCount = bytes;
    pageCount[28] = char(0x7F); // a database size far beyond the file
    QByteArray flipped = bytes;
    for (int i = 100; i < flipped.size(); i += 97)
        flipped[i] = char(flipped[i] ^ 0x21);
    QByteArray zeroed = bytes;
    if (zeroed.size() > 4096)
        zeroed.replace(4096, zeroed.size() - 4096, QByteArray(zeroed.size() - 4096, '\0'));
    const bool ok =
        damagedCopy(QStringLiteral("table-empty"), QByteArray()) &&
        damagedCopy(QStringLiteral("table-magic"), QByteArray("SQLite format 3", 16)) &&
        damagedCopy(QStringLiteral("table-header"), bytes.left(100)) &&
        damagedCopy(QStringLiteral("table-half"), bytes.left(bytes.size() / 2)) &&
        damagedCopy(QStringLiteral("table-page-size"), pageSize) &&
        damagedCopy(QStringLiteral("table-page-count"), pageCount) &&
        damagedCopy(QStringLiteral("table-flipped"), flipped) &&
        damagedCopy(QStringLiteral("table-zeroed"), zeroed) &&
        damagedCopy(
            QStringLiteral("table-text"),
            QByteArray("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n1\t10:00:00.000\tDC\t1.234\tV\tAUTO\r\n"));
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds receive|decode_text|table DIR\n");
        return 2;
    }
    const QString kind = QString::fromLocal8Bit(argv[1]);
    const QString dir = QString::fromLocal8Bit(argv[2]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "fuzz_seeds: cannot make %s\n", argv[2]);
        return 1;
    }
    int rc = 2;
    if (kind == QLatin1String("receive"))
        rc = receiveSeeds(dir);
    else if (kind == QLatin1String("decode_text"))
        rc = decodeTextSeeds(dir);
    else if (kind == QLatin1String("table"))
        rc = tableSeeds(dir);
    else
        std::fprintf(stderr, "fuzz_seeds: unknown corpus %s\n", argv[1]);
    if (rc == 0)
        std::printf("%d seeds in %s\n", g_written, argv[2]);
    return rc;
}
