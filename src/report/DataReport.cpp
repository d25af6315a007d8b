#include "report/DataReport.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

const DataReport::Column DataReport::Columns[DataReport::ColumnCount] = {
    {TableColumn::No, "No", 8.47, 8.47},         {TableColumn::Time, "Time", 33.87, 33.87},
    {TableColumn::DCAC, "DC/AC", 64.29, 65.62},  {TableColumn::Value, "Value", 99.48, 99.48},
    {TableColumn::Unit, "Unit", 132.29, 131.23}, {TableColumn::AUTO, "AUTO", 162.98, 162.98},
};

namespace {

constexpr double MmPerPoint = 25.4 / 72.0;

// The longest leading part of `text` no wider than `width`: whole characters are dropped from the
// end so a long value stays inside its column instead of running into the next one.
QString cutToWidth(const QString &text, const QFontMetricsF &metrics, double width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    qsizetype fits = 0;
    qsizetype tooLong = text.size();
    while (tooLong - fits > 1) {
        const qsizetype middle = (fits + tooLong) / 2;
        if (metrics.horizontalAdvance(text.left(middle)) <= width)
            fits = middle;
        else
            tooLong = middle;
    }
    return text.left(fits);
}

// Draws `text` with its top-left corner at (x, y), cut to `width`. Drawn at its baseline rather
// than laid out in a box: a long report draws a few hundred thousand cells.
void drawCell(QPainter &painter, const QFontMetricsF &metrics, double x, double y, double width,
              const QString &text)
{
    const QString shown = cutToWidth(text, metrics, width);
    if (!shown.isEmpty())
        painter.drawText(QPointF(x, y + metrics.ascent()), shown);
}

} // namespace

int DataReport::rowsPerPage()
{
    const double forDetail =
        PrintableHeightMm - PageHeaderHeightMm - ColumnHeaderHeightMm - PageFooterHeightMm;
    // A small allowance keeps a whole number of lines from being lost to rounding of the decimals.
    return static_cast<int>(std::floor(forDetail / DetailHeightMm + 1e-9));
}

int DataReport::pageCount(int64_t rowCount)
{
    if (rowCount <= 0)
        return 0;
    const int64_t perPage = rowsPerPage();
    return static_cast<int>((rowCount + perPage - 1) / perPage);
}

QFont DataReport::reportFont()
{
    static const QString family = QFontDatabase::hasFamily(QStringLiteral("Arial"))
                                      ? QStringLiteral("Arial")
                                      : QStringLiteral("Liberation Sans");
    QFont font(family);
    font.setPointSizeF(FontPoints);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void DataReport::renderPage(QPainter &painter, int page, QPointF paperTopLeft, double dotsPerMm) const
{
    const int64_t total = m_rowCount;
    const int perPage = rowsPerPage();
    const int64_t firstRow = static_cast<int64_t>(page) * perPage;
    if (page < 0 || firstRow >= total)
        return;

    // The font is given in points of the device the painter works on, so the text is 10 pt on
    // paper whatever the device's resolution or the preview's zoom.
    QFont font = reportFont();
    const double pixels = FontPoints * MmPerPoint * dotsPerMm;
    const int deviceDpi = painter.device() ? painter.device()->logicalDpiY() : 72;
    font.setPointSizeF(pixels * 72.0 / deviceDpi);

    painter.save();
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetricsF metrics(font, painter.device());

    const double left = paperTopLeft.x() + MarginMm * dotsPerMm;
    const double top = paperTopLeft.y() + MarginMm * dotsPerMm;
    auto x = [&](double mm) {
        return left + mm * dotsPerMm;
    };
    auto y = [&](double mm) {
        return top + mm * dotsPerMm;
    };
    // Each column reaches to the next one's left edge; the last one to the band's right edge.
    auto width = [&](int index, bool header) {
        const Column &column = Columns[index];
        const double start = header ? column.headerLeftMm : column.detailLeftMm;
        const double end = index + 1 < ColumnCount
                               ? (header ? Columns[index + 1].headerLeftMm : Columns[index + 1].detailLeftMm)
                               : BandWidthMm;
        return (end - start - (index + 1 < ColumnCount ? ColumnGapMm : 0.0)) * dotsPerMm;
    };

    const double titleLeft = x(0) + (BandWidthMm * dotsPerMm - metrics.horizontalAdvance(title())) / 2;
    painter.drawText(QPointF(titleLeft, y(TitleTopMm) + metrics.ascent()), title());

    for (int i = 0; i < ColumnCount; ++i)
        drawCell(painter, metrics, x(Columns[i].headerLeftMm), y(PageHeaderHeightMm + ColumnLabelTopMm),
                 width(i, true), QString::fromLatin1(Columns[i].label));

    const int64_t lastRow = std::min<int64_t>(firstRow + perPage, total);
    for (int64_t row = firstRow; row < lastRow; ++row) {
        const double bandTop = FirstDetailTopMm + static_cast<double>(row - firstRow) * DetailHeightMm;
        for (int i = 0; i < ColumnCount; ++i)
            drawCell(painter, metrics, x(Columns[i].detailLeftMm), y(bandTop + DetailFieldTopMm),
                     width(i, false), m_rows.fieldText(row, Columns[i].column));
    }

    drawCell(painter, metrics, x(FooterLeftMm), y(PageFooterTopMm + FooterTopMm),
             (BandWidthMm - FooterLeftMm) * dotsPerMm, footer());
    painter.restore();
}

bool DataReport::print(QPagedPaintDevice &device, int fromPage, int toPage, const Progress &progress) const
{
    fromPage = std::max(fromPage, 0);
    toPage = std::min(toPage, pageCount() - 1);
    if (fromPage > toPage)
        return false;

    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm),
                                     QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&device))
        return false;

    // The painter starts at the printable area's corner, which the paged devices place on whole
    // points (10 mm is 28.35 pt, placed at 28); a printer that cannot print that close to the edge
    // widens its margins. The paper's corner is worked out from the layout the device really uses,
    // so every position lands where it belongs on the paper.
    const double dotsPerMm = device.logicalDpiX() / 25.4;
    const QPointF paperTopLeft =
        -QPointF(device.pageLayout().paintRectPoints().topLeft()) * (device.logicalDpiX() / 72.0);
    const int total = toPage - fromPage + 1;
    for (int page = fromPage; page <= toPage; ++page) {
        if (page > fromPage)
            device.newPage();
        renderPage(painter, page, paperTopLeft, dotsPerMm);
        if (progress && !progress(page - fromPage + 1, total)) {
            painter.end();
            return false;
        }
    }
    return painter.end();
}

bool DataReport::print(QPagedPaintDevice &device, const Progress &progress) const
{
    return print(device, 0, pageCount() - 1, progress);
}

bool DataReport::writePdf(const QString &fileName, const Progress &progress) const
{
    if (pageCount() == 0)
        return false;
    bool stopped = false;
    bool written = false;
    {
        QPdfWriter writer(fileName);
        writer.setTitle(title());
        writer.setCreator(QStringLiteral("MeterLink"));
        written = print(writer, [&](int done, int total) {
            stopped = progress && !progress(done, total);
            return !stopped;
        });
    }
    // A stopped job leaves a truncated document behind; it is of no use to anyone.
    if (stopped)
        QFile::remove(fileName);
    return written;
}
