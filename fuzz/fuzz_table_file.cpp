// The table-file reader on arbitrary files: TableStore::openFile must refuse what is not a reading
// table with a message naming the file, keep the table it had, and load what it accepts so that
// every field of every row can be read.
#include "FuzzCheck.h"
#include "SampleTables.h"
#include "TableOracle.h"

#include "store/TableStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

namespace {

constexpr int kColumns = 7;

// Each input is written to a file and opened by the engine: in memory-backed storage that costs a
// fifth of what a disk costs. TMPDIR, when set, wins.
QString temporaryPattern()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const bool useShm = qEnvironmentVariableIsEmpty("TMPDIR") && shm.isDir() && shm.isWritable();
    const QString base = useShm ? shm.filePath() : QDir::tempPath();
    return base + QLatin1String("/meterlink-fuzz-XXXXXX");
}

struct Harness
{
    QTemporaryDir dir{temporaryPattern()};
    QString reference;
    QString input;
    TableStore store;
    QStringList referenceFields;
};

// Destroyed at exit: the store lets go of its file before the folder is removed.
std::unique_ptr<Harness> harness;

QStringList allFields(const TableStore &store)
{
    QStringList fields;
    for (int64_t row = 0; row < store.rowCount(); ++row) {
        for (int c = 0; c < kColumns; ++c)
            fields << store.fieldText(row, TableColumn(c));
    }
    return fields;
}

void removeSideFiles(const QString &path)
{
    // A file may ask for a write-ahead log; what the engine leaves beside one input must not leak
    // into the next.
    for (const char *suffix : {"-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

void checkHoldsReference(const char *what)
{
    FUZZ_CHECK(harness->store.isOpen(), what);
    FUZZ_CHECK(harness->store.fileName() == harness->reference, what);
    FUZZ_CHECK(allFields(harness->store) == harness->referenceFields, what);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    harness = std::make_unique<Harness>();
    FUZZ_CHECK(harness->dir.isValid(), "a temporary folder can be made");
    harness->reference = harness->dir.filePath(QStringLiteral("reference.db"));
    harness->input = harness->dir.filePath(QStringLiteral("input.db"));
    QString error;
    if (!writeSampleTable(harness->reference, 3, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        FUZZ_CHECK(false, "the reference table can be saved");
    }
    if (!harness->store.openFile(harness->reference)) {
        std::fprintf(stderr, "%s\n", qPrintable(harness->store.lastError()));
        FUZZ_CHECK(false, "the reference table opens");
    }
    harness->referenceFields = allFields(harness->store);
    FUZZ_CHECK(harness->referenceFields.size() == 3 * kColumns, "the reference table holds three rows");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TableStore &store = harness->store;
    const QString &input = harness->input;
    removeSideFiles(input);
    {
        QFile file(input);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the input file can be written");
        FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size),
                   "the input file is written whole");
    }

    if (!store.openFile(input)) {
        FUZZ_CHECK(store.lastError().startsWith(input + QLatin1String(": ")), "a refusal names the file");
        FUZZ_CHECK(store.lastError().size() > input.size() + 2, "a refusal says why");
        checkHoldsReference("a refused file leaves the open table as it was");
        removeSideFiles(input);
        return 0;
    }

    FUZZ_CHECK(store.fileName() == input, "the accepted file is the open one");
    FUZZ_CHECK(store.rowCount() <= TableStore::kMaxRows, "an accepted file holds a bounded number of rows");
    FUZZ_CHECK(store.savedRowCount() == store.rowCount(), "every loaded row counts as saved");
    const QStringList fields = allFields(store);
    for (int i = 0; i < fields.size(); ++i) {
        if (i % kColumns != int(TableColumn::Nval) && i % kColumns != int(TableColumn::No))
            FUZZ_CHECK(fields[i].size() <= TableStore::kMaxFieldBytes, "a text field stays within its limit");
    }

    // Opening the open file again reloads it through the connection that holds it.
    FUZZ_CHECK(store.openFile(input), "the open file opens again");
    FUZZ_CHECK(allFields(store) == fields, "reloading gives the same rows");

    FUZZ_CHECK(store.openFile(harness->reference), "the reference table opens after an accepted file");
    checkHoldsReference("the reference table reopens whole");
    checkFieldsMatchFile(fields, input);
    removeSideFiles(input);
    return 0;
}
