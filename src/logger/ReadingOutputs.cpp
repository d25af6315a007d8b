#include "logger/ReadingOutputs.h"

#include "store/DataFiles.h"
#include "store/TableStore.h"

#include <QFileInfo>

#include <cmath>
#include <utility>

namespace {

// The reading as the text export and the table file hold it.
struct RowFields
{
    char time[12];
    RowInput input;
    explicit RowFields(const LoggedReading &r)
    {
        formatTimeOfDay(r.time.time().msecsSinceStartOfDay(), time);
        input.no = r.no;
        input.timeText = std::string_view(time, sizeof time);
        input.dcac = r.dcac;
        input.value = r.value;
        input.unit = r.unit;
        input.autoText = r.autoText;
        input.nval = r.nval;
    }
};

// The number at the start of a text export's last line; 0 when there is none.
int64_t lastNumberIn(QFile &file)
{
    const qint64 size = file.size();
    const qint64 from = std::max<qint64>(0, size - 4096);
    if (!file.seek(from))
        return 0;
    QList<QByteArray> lines = file.read(size - from).split('\n');
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return 0;
    bool ok = false;
    const qint64 no = lines.last().split('\t').value(0).toLongLong(&ok);
    return ok ? no : 0;
}

// Where the file's last whole line ends (just after its line feed); 0 when it holds none.
qint64 endOfWholeLines(QFile &file)
{
    constexpr qint64 kChunk = 65536;
    for (qint64 end = file.size(); end > 0;) {
        const qint64 from = std::max<qint64>(0, end - kChunk);
        if (!file.seek(from))
            return 0;
        const QByteArray chunk = file.read(end - from);
        const qsizetype lf = chunk.lastIndexOf('\n');
        if (lf >= 0)
            return from + lf + 1;
        end = from;
    }
    return 0;
}

} // namespace

void ReadingOutput::failWith(const platform::Error &error)
{
    m_noRoom = error.kind == platform::Error::Kind::NoRoom;
    m_error = QString::fromStdString(error.message);
}

std::unique_ptr<ReadingOutput> openOutputFile(const QString &path, bool append, OutputStart *start)
{
    if (QFileInfo::exists(path) && !append) {
        start->error =
            QStringLiteral("%1 exists: add --append to continue it, or choose another name").arg(path);
        return nullptr;
    }
    if (isTableCopyName(path)) {
        auto table = std::make_unique<TableFileOutput>();
        *start = table->open(path, append && QFileInfo::exists(path));
        return start->ok ? std::move(table) : nullptr;
    }
    auto text = std::make_unique<TextFileOutput>();
    *start = text->open(path, append && QFileInfo::exists(path));
    return start->ok ? std::move(text) : nullptr;
}

OutputStart TableFileOutput::open(const QString &path, bool append)
{
    OutputStart start;
    start.ok = m_writer.open(path, TableFileWriter::Access::Shared, append);
    start.lastNo = m_writer.lastNo();
    if (!start.ok)
        start.error = QStringLiteral("%1: %2").arg(path, m_writer.error());
    m_writer.setBusyTimeout(kLockWaitMs);
    return start;
}

void TableFileOutput::write(const LoggedReading &reading)
{
    m_waiting.push_back(reading);
}

FlushResult TableFileOutput::flush()
{
    if (m_waiting.empty())
        return FlushResult::Written;
    // The writer forgets its rows when a commit fails: they are handed over again every time.
    for (const LoggedReading &reading : m_waiting)
        m_writer.append(RowFields(reading).input);
    if (m_writer.commit()) {
        m_stored += int64_t(m_waiting.size());
        m_waiting.clear();
        return FlushResult::Written;
    }
    m_error = m_writer.error();
    m_noRoom = m_writer.failure() == TableFileWriter::Failure::NoRoom;
    return m_writer.failure() == TableFileWriter::Failure::Busy ? FlushResult::Delayed : FlushResult::Failed;
}

OutputStart TextFileOutput::open(const QString &path, bool append)
{
    OutputStart start;
    m_file.setFileName(path);
    if (!m_file.open(append ? QIODevice::ReadWrite | QIODevice::Unbuffered
                            : QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        start.error = QStringLiteral("%1: %2").arg(path, m_file.errorString());
        return start;
    }
    // The lines go out through a handle of the platform's, which tells how much of a failed write
    // went out and why it failed.
    platform::Error failed;
    m_out = platform::File::open(path.toStdString(), platform::File::Access::Write, &failed);
    if (!m_out.isOpen()) {
        start.error = QStringLiteral("%1: %2").arg(path, QString::fromStdString(failed.message));
        return start;
    }
    if (append) {
        const QByteArray header = exportHeaderLine();
        if (m_file.read(header.size()) != header) {
            start.error = QStringLiteral("%1: it is not a text log to continue").arg(path);
            return start;
        }
        const qint64 size = m_file.size();
        const qint64 whole = std::max<qint64>(endOfWholeLines(m_file), header.size());
        if (whole < size) {
            if (!m_file.resize(whole)) {
                start.error = QStringLiteral("%1: its unfinished last line cannot be removed: %2")
                                  .arg(path, m_file.errorString());
                return start;
            }
            start.notice = QStringLiteral("%1: its last line was unfinished (%2 bytes); it was removed")
                               .arg(path)
                               .arg(size - whole);
        }
        start.lastNo = lastNumberIn(m_file);
    } else {
        m_waiting = exportHeaderLine();
        m_headerWaiting = true;
    }
    start.ok = true;
    return start;
}

void TextFileOutput::write(const LoggedReading &reading)
{
    RowView view;
    const RowFields row(reading);
    view.no = row.input.no;
    view.time = row.input.timeText;
    view.dcac = row.input.dcac;
    view.value = row.input.value;
    view.unit = row.input.unit;
    view.autoText = row.input.autoText;
    // The readings a meter sends always fit; one that does not is not written as a broken line.
    if (const std::optional<TableColumn> refused = appendExportLine(m_waiting, view))
        m_refused = QStringLiteral("reading %1: its field %2 cannot be written as Latin-1 text")
                        .arg(reading.no)
                        .arg(TableStore::columnName(*refused));
    else
        ++m_waitingLines;
}

FlushResult TextFileOutput::flush()
{
    if (!m_waiting.isEmpty()) {
        const qint64 end = m_file.size();
        std::size_t written = 0;
        if (const platform::Error failed =
                m_out.writeAt(m_waiting.constData(), size_t(m_waiting.size()), end, &written)) {
            failWith(failed);
            // The lines that fitted are kept; the part of one that follows them goes.
            const qsizetype done = qsizetype(written);
            const qsizetype whole = done > 0 ? m_waiting.lastIndexOf('\n', done - 1) + 1 : 0;
            m_stored += m_waiting.first(whole).count('\n') - (m_headerWaiting && whole > 0 ? 1 : 0);
            if (const platform::Error notCut = m_out.resize(end + whole))
                m_error += QStringLiteral("; its unfinished last line could not be removed: %1")
                               .arg(QString::fromStdString(notCut.message));
            return FlushResult::Failed;
        }
        m_stored += m_waitingLines;
        m_waitingLines = 0;
        m_headerWaiting = false;
        m_waiting.clear();
    }
    if (m_refused.isEmpty())
        return FlushResult::Written;
    m_error = std::exchange(m_refused, QString());
    return FlushResult::Failed;
}

StreamOutput::StreamOutput(platform::File out, Format format, bool header)
    : m_out(std::move(out)), m_format(format)
{
    if (format == Format::Csv)
        m_header = readingCsvHeader();
    else if (header && format == Format::Tsv)
        m_header = QByteArrayLiteral("time\tvalue\tunit\tdcac\tauto\tnval\n");
    m_regularFile = m_out.isRegular();
}

void StreamOutput::write(const LoggedReading &reading)
{
    QByteArray line = std::exchange(m_header, QByteArray());
    if (m_format == StreamOutput::Format::Jsonl) {
        line += readingJson(reading);
        line.append('\n');
    } else if (m_format == StreamOutput::Format::Csv) {
        line += readingCsv(reading);
    } else {
        char time[12];
        formatTimeOfDay(reading.time.time().msecsSinceStartOfDay(), time);
        line.append(time, sizeof time);
        for (const std::string *field : {&reading.value, &reading.unit, &reading.dcac, &reading.autoText})
            line.append('\t').append(field->data(), qsizetype(field->size()));
        line.append('\t').append(QByteArray::number(qint64(std::llround(reading.nval))));
        line.append('\n');
    }
    if (writeLine(line))
        ++m_stored;
}

bool StreamOutput::writeLine(const QByteArray &line)
{
    if (m_failed)
        return false;
    const std::int64_t before = m_regularFile ? m_out.position() : -1;
    const platform::Error failed = m_out.write(line.constData(), size_t(line.size()));
    if (!failed)
        return true;
    m_failed = true;
    failWith(failed);
    // Redirected into a file, the output keeps only whole lines too.
    if (before >= 0 && m_out.resize(before))
        m_error += QStringLiteral("; its unfinished last line could not be removed");
    return false;
}

FlushResult StreamOutput::flush()
{
    // A log that records nothing still names its columns.
    if (!m_header.isEmpty())
        writeLine(std::exchange(m_header, QByteArray()));
    return m_failed ? FlushResult::Failed : FlushResult::Written;
}
