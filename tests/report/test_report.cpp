#include "report/DataReport.h"
#include "report/test_report_rows.h"

#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

// How far the printed text may sit off its nominal place: the PDF reader's boxes are rounded to
// hundredths of a point and start at the glyph origin.
constexpr double Tolerance = 0.05;
constexpr double Margin = DataReport::MarginMm;

const QString LabelTexts[] = {QStringLiteral("No"),    QStringLiteral("Time"), QStringLiteral("DC/AC"),
                              QStringLiteral("Value"), QStringLiteral("Unit"), QStringLiteral("AUTO")};

PdfText writeAndRead(const DataReport &report, const QTemporaryDir &dir)
{
    const QString file = dir.filePath(QStringLiteral("report.pdf"));
    EXPECT_TRUE(report.writePdf(file));
    return readPdfText(file);
}

#define REQUIRE_READABLE(text)                                                                               \
    if (!(text).readable)                                                                                    \
    GTEST_SKIP() << "pdftotext (poppler-utils) is needed to read the PDF back"

// The detail words of one column on a page, top to bottom.
std::vector<PdfWord> columnWords(const PdfText &text, int page, double leftMm)
{
    std::vector<PdfWord> found;
    for (const PdfWord &word : text.onPage(page))
        if (std::abs(word.left - (Margin + leftMm)) < Tolerance &&
            word.top > Margin + DataReport::FirstDetailTopMm &&
            word.top < Margin + DataReport::PageFooterTopMm)
            found.push_back(word);
    std::sort(found.begin(), found.end(), [](const PdfWord &a, const PdfWord &b) { return a.top < b.top; });
    return found;
}

} // namespace

TEST(ReportPagination, RowsPerPageFollowFromBandHeights)
{
    // 277 mm printable minus page header, column header and footer leaves 245.26 mm: 37 lines of 6.61 mm.
    EXPECT_EQ(DataReport::rowsPerPage(), 37);
}

class ReportPageCount : public ::testing::TestWithParam<std::pair<int64_t, int>>
{};

TEST_P(ReportPageCount, CountsWholeAndPartPages)
{
    EXPECT_EQ(DataReport::pageCount(GetParam().first), GetParam().second) << GetParam().first << " rows";
}

INSTANTIATE_TEST_SUITE_P(Rows, ReportPageCount,
                         ::testing::Values(std::pair<int64_t, int>{0, 0}, std::pair<int64_t, int>{1, 1},
                                           std::pair<int64_t, int>{36, 1}, std::pair<int64_t, int>{37, 1},
                                           std::pair<int64_t, int>{38, 2}, std::pair<int64_t, int>{74, 2},
                                           std::pair<int64_t, int>{75, 3},
                                           std::pair<int64_t, int>{100000, 2703},
                                           std::pair<int64_t, int>{10000001, 270271}));

TEST(ReportPdf, OneRowGivesOnePageWithEveryBandInPlace)
{
    QTemporaryDir dir;
    VectorRows rows;
    rows.append({QStringLiteral("1"), QStringLiteral("09:15:42.125"), QStringLiteral("DC"),
                 QStringLiteral("-3.999"), QStringLiteral("mV"), QStringLiteral("MANU"),
                 QStringLiteral("-3999")});
    const PdfText text = writeAndRead(DataReport(rows), dir);
    REQUIRE_READABLE(text);
    ASSERT_EQ(text.pages, 1);

    // The title is centred across the band, which starts at the left margin.
    const auto first = text.find(0, QStringLiteral("The")); // the title's, then the footer's
    const auto last = text.find(0, QStringLiteral("Title"));
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_NEAR((first[0].left + last[0].right) / 2, Margin + DataReport::BandWidthMm / 2, Tolerance);
    EXPECT_NEAR(first[0].top, Margin + 2.12, Tolerance);

    const double labelTop = Margin + 10.58 + 4.23;
    const double headerLefts[] = {8.47, 33.87, 64.29, 99.48, 132.29, 162.98};
    for (int i = 0; i < 6; ++i) {
        const auto label = text.find(0, LabelTexts[i]);
        ASSERT_EQ(label.size(), 1u) << LabelTexts[i].toStdString();
        EXPECT_NEAR(label[0].left, Margin + headerLefts[i], Tolerance) << LabelTexts[i].toStdString();
        EXPECT_NEAR(label[0].top, labelTop, Tolerance) << LabelTexts[i].toStdString();
    }

    const double detailTop = Margin + 10.58 + 10.58 + 2.12;
    const double detailLefts[] = {8.47, 33.87, 65.62, 99.48, 131.23, 162.98};
    const QString fields[] = {QStringLiteral("1"),  QStringLiteral("09:15:42.125"),
                              QStringLiteral("DC"), QStringLiteral("-3.999"),
                              QStringLiteral("mV"), QStringLiteral("MANU")};
    for (int i = 0; i < 6; ++i) {
        const auto field = text.find(0, fields[i]);
        ASSERT_EQ(field.size(), 1u) << fields[i].toStdString();
        EXPECT_NEAR(field[0].left, Margin + detailLefts[i], Tolerance) << fields[i].toStdString();
        EXPECT_NEAR(field[0].top, detailTop, Tolerance) << fields[i].toStdString();
    }
    EXPECT_TRUE(text.find(0, QStringLiteral("-3999")).empty()) << "Nval is not printed";

    // The footer sits at the bottom of the printable area even with a single row above it.
    const auto foot = text.find(0, QStringLiteral("Foot"));
    const auto footStart = text.find(0, QStringLiteral("The"));
    ASSERT_EQ(foot.size(), 1u);
    EXPECT_NEAR(foot[0].top, Margin + 277.0 - 10.58 + 4.23, Tolerance);
    const auto footerThe = std::find_if(footStart.begin(), footStart.end(), [&](const PdfWord &w) {
        return std::abs(w.top - foot[0].top) < Tolerance;
    });
    ASSERT_NE(footerThe, footStart.end());
    EXPECT_NEAR(footerThe->left, Margin + 8.47, Tolerance);
    EXPECT_EQ(text.words.size(), 4u + 6u + 6u + 4u) << "title, labels, one row, footer and nothing else";
}

TEST(ReportPdf, EveryPageRepeatsTheBandsAndListsRowsInOrder)
{
    QTemporaryDir dir;
    const VectorRows rows = VectorRows::numbered(80);
    const PdfText text = writeAndRead(DataReport(rows), dir);
    REQUIRE_READABLE(text);
    ASSERT_EQ(text.pages, 3);

    const int expectedRows[] = {37, 37, 6};
    int nextNo = 1;
    for (int page = 0; page < text.pages; ++page) {
        SCOPED_TRACE(page);
        EXPECT_EQ(text.find(page, QStringLiteral("Title")).size(), 1u);
        EXPECT_EQ(text.find(page, QStringLiteral("Foot")).size(), 1u);
        for (const QString &label : LabelTexts)
            EXPECT_GE(text.find(page, label).size(), 1u) << label.toStdString();

        const auto numbers = columnWords(text, page, 8.47);
        ASSERT_EQ(numbers.size(), static_cast<size_t>(expectedRows[page]));
        for (size_t i = 0; i < numbers.size(); ++i) {
            EXPECT_EQ(numbers[i].text, QString::number(nextNo++));
            EXPECT_NEAR(numbers[i].top, Margin + 21.16 + 2.12 + 6.61 * double(i), Tolerance) << "line " << i;
        }
        // Every line of the page carries all six fields.
        for (double left : {33.87, 65.62, 99.48, 131.23, 162.98})
            EXPECT_EQ(columnWords(text, page, left).size(), numbers.size()) << "column at " << left;
    }
}

TEST(ReportPdf, LongTextsAreCutToTheirColumn)
{
    QTemporaryDir dir;
    VectorRows rows;
    const QString longText = QStringLiteral("W").repeated(80);
    rows.append({QStringLiteral("123456789012345678901234567890"), longText, longText, longText, longText,
                 longText, QStringLiteral("0")});
    const PdfText text = writeAndRead(DataReport(rows), dir);
    REQUIRE_READABLE(text);
    ASSERT_EQ(text.pages, 1);

    const double lefts[] = {8.47, 33.87, 65.62, 99.48, 131.23, 162.98, DataReport::BandWidthMm};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const auto words = columnWords(text, 0, lefts[i]);
        ASSERT_EQ(words.size(), 1u);
        EXPECT_LE(words[0].right, Margin + lefts[i + 1] + 0.01) << "runs into the next column";
        // Cut, not dropped: the column is filled to within a character of its edge.
        EXPECT_GT(words[0].right, Margin + lefts[i + 1] - 6.0);
        EXPECT_TRUE(
            (i == 0 ? QStringLiteral("123456789012345678901234567890") : longText).startsWith(words[0].text));
    }
}

TEST(ReportPdf, EmptyTableProducesNoPages)
{
    QTemporaryDir dir;
    const VectorRows rows;
    const DataReport report(rows);
    EXPECT_EQ(report.pageCount(), 0);
    const QString file = dir.filePath(QStringLiteral("empty.pdf"));
    EXPECT_FALSE(report.writePdf(file));
    EXPECT_FALSE(QFile::exists(file));

    QPdfWriter writer(dir.filePath(QStringLiteral("direct.pdf")));
    EXPECT_FALSE(report.print(writer));
}

TEST(ReportPdf, PrintsOnlyTheChosenPages)
{
    QTemporaryDir dir;
    const VectorRows rows = VectorRows::numbered(100);
    const DataReport report(rows);
    struct Case
    {
        int from, to, pages, firstNo;
    };
    // Ranges are 0-based and clamped to the report's three pages.
    for (const Case &c : {Case{1, 2, 2, 38}, Case{2, 99, 1, 75}, Case{-5, 0, 1, 1}}) {
        SCOPED_TRACE(c.from);
        const QString file = dir.filePath(QStringLiteral("range%1.pdf").arg(c.from));
        {
            QPdfWriter writer(file);
            ASSERT_TRUE(report.print(writer, c.from, c.to));
        }
        const PdfText text = readPdfText(file);
        REQUIRE_READABLE(text);
        ASSERT_EQ(text.pages, c.pages);
        const auto numbers = columnWords(text, 0, 8.47);
        ASSERT_FALSE(numbers.empty());
        EXPECT_EQ(numbers.front().text, QString::number(c.firstNo));
    }
    QPdfWriter writer(dir.filePath(QStringLiteral("none.pdf")));
    EXPECT_FALSE(report.print(writer, 3, 5)) << "no page of the report lies in that range";
}

TEST(ReportPdf, StoppedJobLeavesNoFile)
{
    QTemporaryDir dir;
    const VectorRows rows = VectorRows::numbered(200);
    const QString file = dir.filePath(QStringLiteral("stopped.pdf"));
    int calls = 0;
    EXPECT_FALSE(DataReport(rows).writePdf(file, [&](int done, int total) {
        ++calls;
        EXPECT_EQ(total, 6);
        return done < 2;
    }));
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(QFile::exists(file));
}

TEST(ReportPdf, UsesArialOrItsMetricTwin)
{
    const QString family = QFontInfo(DataReport::reportFont()).family();
    EXPECT_TRUE(family == QStringLiteral("Arial") || family == QStringLiteral("Liberation Sans"))
        << family.toStdString();
    EXPECT_DOUBLE_EQ(DataReport::reportFont().pointSizeF(), 10.0);
}

TEST(ReportPdf, KeepsTheRowCountItWasMadeWith)
{
    VectorRows rows = VectorRows::numbered(37);
    const DataReport report(rows);
    rows.append(VectorRows::Row{}); // a reading recorded while the preview is open
    EXPECT_EQ(report.rowCount(), 37);
    EXPECT_EQ(report.pageCount(), 1);
}

// Drawn on a raster page, everything stays inside the band area and the text lands on the lines.
TEST(ReportImage, PageDrawsInsideItsBands)
{
    constexpr double dotsPerMm = 4.0;
    const VectorRows rows = VectorRows::numbered(40);
    const DataReport report(rows);
    QImage image(int(210 * dotsPerMm), int(297 * dotsPerMm), QImage::Format_RGB32);
    image.setDotsPerMeterX(int(dotsPerMm * 1000));
    image.setDotsPerMeterY(int(dotsPerMm * 1000));

    auto inkRows = [&](int page) {
        image.fill(Qt::white);
        QPainter painter(&image);
        report.renderPage(painter, page, QPointF(0, 0), dotsPerMm);
        painter.end();
        std::vector<int> ink(image.height(), 0);
        int outside = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128) {
                    ++ink[y];
                    const double xMm = x / dotsPerMm;
                    const double yMm = y / dotsPerMm;
                    if (xMm < Margin || xMm > Margin + DataReport::BandWidthMm || yMm < Margin ||
                        yMm > 297 - Margin)
                        ++outside;
                }
        EXPECT_EQ(outside, 0) << "ink outside the printable area on page " << page;
        return ink;
    };
    auto inkBetween = [&](const std::vector<int> &ink, double topMm, double bottomMm) {
        int sum = 0;
        for (int y = int(topMm * dotsPerMm); y < int(bottomMm * dotsPerMm); ++y)
            sum += ink[y];
        return sum;
    };

    const auto full = inkRows(0);
    for (int line = 0; line < 37; ++line) {
        const double top = Margin + 21.16 + 6.61 * line;
        EXPECT_GT(inkBetween(full, top, top + 6.61), 0) << "line " << line;
    }
    EXPECT_GT(inkBetween(full, Margin, Margin + 10.58), 0) << "title";
    EXPECT_GT(inkBetween(full, Margin + 266.42, Margin + 277), 0) << "footer";

    // The second page holds three rows; below them only the footer has ink.
    const auto partial = inkRows(1);
    EXPECT_GT(inkBetween(partial, Margin + 21.16 + 6.61 * 2, Margin + 21.16 + 6.61 * 3), 0);
    EXPECT_EQ(inkBetween(partial, Margin + 21.16 + 6.61 * 3, Margin + 266.42), 0);
    EXPECT_GT(inkBetween(partial, Margin + 266.42, Margin + 277), 0);

    // A page past the end draws nothing at all.
    const auto beyond = inkRows(2);
    EXPECT_EQ(inkBetween(beyond, 0, 297), 0);
}
