#pragma once

#include "store/TableRows.h"

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <array>
#include <vector>

// A reading table held in memory, for the report tests.
class VectorRows : public TableRows
{
public:
    using Row = std::array<QString, 7>;

    int64_t rowCount() const override { return static_cast<int64_t>(m_rows.size()); }
    QString fieldText(int64_t row, TableColumn column) const override
    {
        return m_rows.at(static_cast<size_t>(row)).at(static_cast<size_t>(column));
    }

    void append(const Row &row) { m_rows.push_back(row); }

    // Rows numbered from 1 whose Nval text ("9<No>") appears nowhere else on a page.
    static VectorRows numbered(int count)
    {
        VectorRows rows;
        for (int i = 1; i <= count; ++i)
            rows.append({QString::number(i),
                         QStringLiteral("12:%1:%2.250")
                             .arg((i / 60) % 60, 2, 10, QLatin1Char('0'))
                             .arg(i % 60, 2, 10, QLatin1Char('0')),
                         i % 2 ? QStringLiteral("DC") : QStringLiteral("AC"), QStringLiteral("-3.999"),
                         QStringLiteral("mV"), QStringLiteral("AUTO"), QStringLiteral("9%1").arg(i)});
        return rows;
    }

private:
    std::vector<Row> m_rows;
};

// One word of a PDF's text as its reader places it, in millimetres from the page's top-left corner.
struct PdfWord
{
    int page = 0; // 0-based
    QString text;
    double left = 0, top = 0, right = 0, bottom = 0;
    double centreX() const { return (left + right) / 2; }
};

struct PdfText
{
    bool readable = false; // false when the PDF tools are missing or failed
    int pages = 0;
    std::vector<PdfWord> words;

    std::vector<PdfWord> onPage(int page) const
    {
        std::vector<PdfWord> found;
        for (const PdfWord &word : words)
            if (word.page == page)
                found.push_back(word);
        return found;
    }
    std::vector<PdfWord> find(int page, const QString &text) const
    {
        std::vector<PdfWord> found;
        for (const PdfWord &word : words)
            if (word.page == page && word.text == text)
                found.push_back(word);
        return found;
    }
};

// Reads a PDF's words with their boxes through the poppler text extractor.
inline PdfText readPdfText(const QString &fileName)
{
    PdfText result;
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), fileName, QStringLiteral("-")});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return result;
    result.readable = true;
    const double mmPerPoint = 25.4 / 72.0;
    static const QRegularExpression pageStart(QStringLiteral("<page "));
    static const QRegularExpression wordLine(QStringLiteral(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">(.*)</word>"));
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.contains(pageStart)) {
            ++result.pages;
            continue;
        }
        const QRegularExpressionMatch match = wordLine.match(line);
        if (!match.hasMatch())
            continue;
        PdfWord word;
        word.page = result.pages - 1;
        word.left = match.captured(1).toDouble() * mmPerPoint;
        word.top = match.captured(2).toDouble() * mmPerPoint;
        word.right = match.captured(3).toDouble() * mmPerPoint;
        word.bottom = match.captured(4).toDouble() * mmPerPoint;
        word.text = match.captured(5);
        result.words.push_back(word);
    }
    return result;
}
