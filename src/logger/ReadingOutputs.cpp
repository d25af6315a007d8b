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

} // namespace

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
    return start;
}

void TableFileOutput::write(const LoggedReading &reading)
{
    m_writer.append(RowFields(reading).input);
}

bool TableFileOutput::flush()
{
    if (m_writer.commit())
        return true;
    m_error = m_writer.error();
    return false;
}

OutputStart TextFileOutput::open(const QString &path, bool append)
{
    OutputStart start;
    m_file.setFileName(path);
    if (!m_file.open(append ? QIODevice::ReadWrite : QIODevice::WriteOnly | QIODevice::NewOnly)) {
        start.error = QStringLiteral("%1: %2").arg(path, m_file.errorString());
        return start;
    }
    if (append) {
        const QByteArray header = exportHeaderLine();
        if (m_file.read(header.size()) != header) {
            start.error = QStringLiteral("%1: it is not a text log to continue").arg(path);
            return start;
        }
        start.lastNo = lastNumberIn(m_file);
        m_file.seek(m_file.size());
    } else {
        m_waiting = exportHeaderLine();
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
}

bool TextFileOutput::flush()
{
    if (m_waiting.isEmpty() && m_refused.isEmpty())
        return true;
    const bool written = m_file.write(m_waiting) == m_waiting.size() && m_file.flush();
    m_waiting.clear();
    if (!written)
        m_error = m_file.errorString();
    else if (!m_refused.isEmpty())
        m_error = std::exchange(m_refused, QString());
    return written && m_error.isEmpty();
}

void StreamOutput::write(const LoggedReading &reading)
{
    QByteArray line;
    if (m_format == StreamOutput::Format::Jsonl) {
        line = readingJson(reading);
    } else {
        char time[12];
        formatTimeOfDay(reading.time.time().msecsSinceStartOfDay(), time);
        line.append(time, sizeof time);
        for (const std::string *field : {&reading.value, &reading.unit, &reading.dcac, &reading.autoText})
            line.append('\t').append(field->data(), qsizetype(field->size()));
        line.append('\t').append(QByteArray::number(qint64(std::llround(reading.nval))));
    }
    line.append('\n');
    std::fwrite(line.constData(), 1, size_t(line.size()), m_stream);
    std::fflush(m_stream);
}

bool StreamOutput::flush()
{
    if (std::ferror(m_stream)) {
        m_error = QStringLiteral("the output stream failed");
        return false;
    }
    return true;
}
