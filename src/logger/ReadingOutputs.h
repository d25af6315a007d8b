#pragma once

#include "logger/LoggedReading.h"
#include "store/TableFileWriter.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <memory>

// Where the headless logger writes its readings. A reading may wait in memory until flush(), which
// the logger calls at least once a second.
class ReadingOutput
{
public:
    virtual ~ReadingOutput() = default;
    virtual void write(const LoggedReading &reading) = 0;
    // False with error() when what waited could not be written.
    virtual bool flush() = 0;
    QString error() const { return m_error; }

protected:
    QString m_error;
};

// What an output file holds when it is opened.
struct OutputStart
{
    bool ok = false;
    int64_t lastNo = 0; // the highest reading number already there (continuing with --append)
    QString error;
};

// Creates the output for path: a table file for a name ending in ".db", the text export's format for
// any other. An existing file is continued with `append` and refused without it.
std::unique_ptr<ReadingOutput> openOutputFile(const QString &path, bool append, OutputStart *start);

// A table with the reading table's seven fields, which other programs may read while it grows.
class TableFileOutput : public ReadingOutput
{
public:
    OutputStart open(const QString &path, bool append);
    void write(const LoggedReading &reading) override;
    bool flush() override;

private:
    TableFileWriter m_writer;
};

// The text export's format: header, fields joined by TAB, CR LF, Latin-1.
class TextFileOutput : public ReadingOutput
{
public:
    OutputStart open(const QString &path, bool append);
    void write(const LoggedReading &reading) override;
    bool flush() override;

private:
    QFile m_file;
    QByteArray m_waiting;
    QString m_refused;
};

// Lines on a stream (standard output), written at once so that a pipe sees each reading: TAB-separated
// (time, value, unit, DC/AC, Auto, Nval) or one JSON object a line.
class StreamOutput : public ReadingOutput
{
public:
    enum class Format
    {
        Tsv,
        Jsonl,
    };
    StreamOutput(FILE *stream, Format format) : m_stream(stream), m_format(format) {}
    void write(const LoggedReading &reading) override;
    bool flush() override;

private:
    FILE *m_stream;
    Format m_format;
};
