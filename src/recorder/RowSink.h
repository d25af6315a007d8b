#pragma once

#include "recorder/RowInput.h"

#include <QString>

// Where the recorder's rows go: the reading table in the window, the logger's outputs without it.
class RowSink
{
public:
    virtual ~RowSink() = default;
    // Whether rows can be appended now.
    virtual bool isOpen() const = 0;
    virtual int64_t rowCount() const = 0;
    // Appends one row; false with lastError() when it cannot.
    virtual bool appendRow(const RowInput &row) = 0;
    // Drops every row (New).
    virtual bool emptyTable() = 0;
    virtual QString lastError() const = 0;
};
