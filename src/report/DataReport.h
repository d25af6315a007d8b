#pragma once

#include "store/TableRows.h"

#include <QFont>
#include <QPointF>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <functional>

class QPagedPaintDevice;
class QPainter;

// The printed report `DataReport1`: the reading table as a six-column list on A4 portrait pages.
// Every page carries the page header, the column header and the page footer; the rows between
// them are detail lines in table order. All positions are millimetres from the band's top-left
// corner, converted to device units only when painting, so one drawing serves the preview widget,
// a printer and a PDF file alike.
class DataReport
{
public:
    static constexpr double PageWidthMm = 210.0;
    static constexpr double PageHeightMm = 297.0;
    static constexpr double MarginMm = 10.0;
    static constexpr double PrintableHeightMm = PageHeightMm - 2 * MarginMm;
    static constexpr double BandWidthMm = 189.97;

    static constexpr double PageHeaderHeightMm = 10.58;
    static constexpr double ColumnHeaderHeightMm = 10.58;
    static constexpr double DetailHeightMm = 6.61;
    static constexpr double PageFooterHeightMm = 10.58;

    static constexpr double TitleTopMm = 2.12;
    static constexpr double ColumnLabelTopMm = 4.23;
    static constexpr double DetailFieldTopMm = 2.12;
    static constexpr double FooterLeftMm = 8.47;
    static constexpr double FooterTopMm = 4.23;
    // The footer sits at the bottom of the printable area, whatever the rows above it leave free.
    static constexpr double PageFooterTopMm = PrintableHeightMm - PageFooterHeightMm;
    static constexpr double FirstDetailTopMm = PageHeaderHeightMm + ColumnHeaderHeightMm;
    // Texts stop this far before the next column so neighbours never touch.
    static constexpr double ColumnGapMm = 1.0;
    static constexpr double FontPoints = 10.0;

    struct Column
    {
        TableColumn column;
        const char *label;
        double headerLeftMm;
        double detailLeftMm;
    };
    static constexpr int ColumnCount = 6;
    static const Column Columns[ColumnCount];

    static QString title() { return QStringLiteral("The Data Print Title"); }
    static QString footer() { return QStringLiteral("The Data Print Foot"); }

    // The report covers the rows the table holds now: rows recorded while a preview is open do not
    // shift its pages under the reader, and what is printed is what was previewed.
    explicit DataReport(const TableRows &rows)
        : m_rows(rows), m_rowCount(std::max<int64_t>(rows.rowCount(), 0))
    {}

    static int rowsPerPage();
    static int pageCount(int64_t rowCount);
    int pageCount() const { return pageCount(m_rowCount); }
    int64_t rowCount() const { return m_rowCount; }

    // Arial where installed, otherwise its metric twin, so the columns keep their widths.
    static QFont reportFont();

    // Paints page `page` (0-based). `paperTopLeft` is the paper's top-left corner in the painter's
    // coordinates and `dotsPerMm` the painter's units per millimetre; the page margin is added here.
    void renderPage(QPainter &painter, int page, QPointF paperTopLeft, double dotsPerMm) const;

    // Called after each page printed with (pages done, pages to do); returning false stops the job.
    using Progress = std::function<bool(int done, int total)>;

    // Prints pages fromPage..toPage (0-based, inclusive; clamped to the report) on a printer or a
    // PDF writer, laid out on A4 portrait with 10 mm margins. Returns false when there is nothing to
    // print, the device cannot be opened or the job was stopped.
    bool print(QPagedPaintDevice &device, int fromPage, int toPage, const Progress &progress = {}) const;
    bool print(QPagedPaintDevice &device, const Progress &progress = {}) const;

    // Writes the whole report as a PDF file. An empty table writes no file and returns false.
    bool writePdf(const QString &fileName, const Progress &progress = {}) const;

private:
    const TableRows &m_rows;
    int64_t m_rowCount = 0;
};
