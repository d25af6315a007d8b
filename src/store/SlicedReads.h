#pragma once

#include <cstdint>

class ProgressMeter;
struct sqlite3;

// Some of the engine's work on a file runs in one step that reports no progress: its structure
// check walks every page of a table inside a single instruction, and so does its quickest row
// count. Files opened through the file layer named here pass each page they read through this
// class, so that such a step still reports progress (and is interrupted on a cancel) between one
// page and the next: the window stays served however long the file.
class SlicedReads
{
public:
    // The name to open a database under (sqlite3_open_v2's zVfs); the layer passes everything on to
    // the system's default file layer.
    static const char *fileLayerName();

    // While it lives, each page db reads reports bytes read so far of expectedBytes to the meter,
    // and a cancel interrupts the statement running on db.
    SlicedReads(sqlite3 *db, ProgressMeter &meter, int64_t expectedBytes);
    ~SlicedReads();
    SlicedReads(const SlicedReads &) = delete;
    SlicedReads &operator=(const SlicedReads &) = delete;

    // Called by the file layer after each read.
    static void afterRead(int bytes);

private:
    sqlite3 *m_db;
    ProgressMeter &m_meter;
    int64_t m_expected;
    int64_t m_read = 0;
    SlicedReads *m_outer;
};
