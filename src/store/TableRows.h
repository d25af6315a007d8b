#pragma once

#include <QString>
#include <cstdint>

// Fields of the reading table, in the order the grid, the text export and the report show them.
enum class TableColumn
{
    No,
    Time,
    DCAC,
    Value,
    Unit,
    AUTO,
    Nval,
};

// Read access to the rows of a table, in table order, for the grid model, the text export and the
// printed report. Row indexes run from 0 to rowCount() - 1.
class TableRows
{
public:
    virtual ~TableRows() = default;
    virtual int64_t rowCount() const = 0;
    // The field's text form, as the grid shows it (Time as "HH:MM:SS.zzz").
    virtual QString fieldText(int64_t row, TableColumn column) const = 0;
};
