#pragma once

#include "logger/LoggedReading.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "store/TableFileWriter.h"

#include <QFile>
#include <QString>

#include <memory>
#include <vector>

// What became of the readings waiting in an output when it was flushed.
enum class FlushResult
{
    Written, // all of them are in the file
    Delayed, // another program holds the file locked: they wait in memory, flush again later
    Failed,  // error() says why; they cannot be written
};

// Where the headless logger writes its readings. A reading may wait in memory until flush(), which
// the logger calls at least once a second; stored() counts only what reached the file.
class ReadingOutput
{
public:
    virtual ~ReadingOutput() = default;
    virtual void write(const LoggedReading &reading) = 0;
    virtual FlushResult flush() = 0;
    QString error() const { return m_error; }
    // The last failure was a full disk (or the file size allowed).
    bool noRoom() const { return m_noRoom; }
    int64_t stored() const { return m_stored; }

protected:
    // Records a failed write's reason as error() and whether it means no room.
    void failWith(const platform::Error &error);

    QString m_error;
    bool m_noRoom = false;
    int64_t m_stored = 0;
};

// What an output file holds when it is opened.
struct OutputStart
{
    bool ok = false;
    int64_t lastNo = 0; // the highest reading number already there (continuing with --append)
    QString error;
    QString notice; // what opening changed in the file, for the user
};

// Creates the output for path: a table file for a name ending in ".db", the text export's format for
// any other. An existing file is continued with `append` and refused without it.
std::unique_ptr<ReadingOutput> openOutputFile(const QString &path, bool append, OutputStart *start);

// A table with the reading table's seven fields, which other programs may read while it grows.
// Another program's write lock delays the readings, in memory, until a later flush.
class TableFileOutput : public ReadingOutput
{
public:
    // How long one flush waits for another program's lock: short, so the event loop goes on.
    static constexpr int kLockWaitMs = 100;

    OutputStart open(const QString &path, bool append);
    void write(const LoggedReading &reading) override;
    FlushResult flush() override;

private:
    TableFileWriter m_writer;
    std::vector<LoggedReading> m_waiting;
};

// The text export's format: header, fields joined by TAB, CR LF, Latin-1. The file only ever ends
// in a whole line: a write that fails part-way is cut back, and a continued file that ends in part
// of a line (a disk that was full, a kill) loses that part first.
class TextFileOutput : public ReadingOutput
{
public:
    OutputStart open(const QString &path, bool append);
    void write(const LoggedReading &reading) override;
    FlushResult flush() override;

private:
    QFile m_file;         // the file as it is opened and continued
    platform::File m_out; // the same file, for the lines
    QByteArray m_waiting;
    int64_t m_waitingLines = 0; // readings in m_waiting
    bool m_headerWaiting = false;
    QString m_refused;
};

// Lines on a stream (standard output), written at once so that a pipe sees each reading: TAB-separated
// (time, value, unit, DC/AC, Auto, Nval), one JSON object a line, or CSV. A line that does not fit
// in a file the stream is redirected to is cut back. With `header`, a first line names the columns
// (CSV always has it).
class StreamOutput : public ReadingOutput
{
public:
    enum class Format
    {
        Tsv,
        Jsonl,
        Csv,
    };
    // Lines go straight to `out` (standard output): what the program printed there through a C
    // stream must have been flushed first.
    StreamOutput(platform::File out, Format format, bool header = false);
    void write(const LoggedReading &reading) override;
    FlushResult flush() override;

private:
    // False when the stream failed now or before.
    bool writeLine(const QByteArray &line);

    platform::File m_out;
    Format m_format;
    QByteArray m_header; // written before the first reading
    bool m_regularFile = false;
    bool m_failed = false;
};
