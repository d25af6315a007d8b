#pragma once

#include "store/TableStore.h"

#include <string>

// Fills the reading table with `rows` readings counted as saved, as after opening a long recording:
// the frames a benchmark then feeds are the only unsaved readings.
inline void fillSavedRows(TableStore &table, long rows)
{
    std::string value;
    for (long i = 0; i < rows; ++i) {
        value = std::to_string(1000 + i % 2900);
        RowInput row;
        row.no = i + 1;
        row.timeMs = int32_t(i % 86400000);
        row.dcac = "DC";
        row.value = value;
        row.unit = "V";
        row.autoText = "AUTO";
        row.nval = double(1000 + i % 2900);
        table.appendRow(row);
    }
    table.markKept(table.rowCount());
}
