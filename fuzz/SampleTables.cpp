#include "SampleTables.h"

#include "store/DataFiles.h"
#include "store/TableStore.h"

#include <QTemporaryDir>
#include <string>

bool writeSampleTable(const QString &fileName, int rows, QString *error)
{
    QTemporaryDir work;
    if (!work.isValid()) {
        *error = work.errorString();
        return false;
    }
    TableStore store;
    if (!store.openWorkingTable(work.path())) {
        *error = store.lastError();
        return false;
    }
    static const char *const kUnits[] = {"V", "mV", "k*", "kHz", "#", "&", ")"};
    static const char *const kDcac[] = {"DC", "AC", ""};
    for (int i = 0; i < rows; ++i) {
        const int count = (i * 397) % 4000 - (i % 3 == 0 ? 2000 : 0);
        std::string value = std::to_string(count);
        if (value.size() > 2)
            value.insert(value.size() - 2, ".");
        RowInput row;
        row.no = i + 1;
        row.timeMs = (9 * 3600 + i) * 1000 + (i * 37) % 1000;
        row.dcac = kDcac[i % 3];
        row.value = value;
        row.unit = kUnits[i % 7];
        row.autoText = i % 2 ? "AUTO" : "MANU";
        row.nval = count;
        if (!store.appendRow(row)) {
            *error = store.lastError();
            return false;
        }
    }
    return CopyTableToFile(store, fileName, error);
}
