#include "report/ReportPageView.h"
#include "report/ReportPreview.h"
#include "report/test_report_rows.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPrinter>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Shows the preview and waits until its page view has drawn.
void showAndPaint(ReportPreview &preview)
{
    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    if (preview.pageCount() > 0) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return preview.pageView()->pagesPainted() > 0; }, 5000));
    }
}

int darkPixels(const QImage &image)
{
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 100)
                ++dark;
    return dark;
}

} // namespace

TEST(ReportPreview, PagesThroughTheReport)
{
    const VectorRows rows = VectorRows::numbered(100);
    ReportPreview preview(rows);
    showAndPaint(preview);
    EXPECT_EQ(preview.pageCount(), 3);
    EXPECT_EQ(preview.currentPage(), 1);
    EXPECT_DOUBLE_EQ(preview.zoom(), 1.0) << "opens at full size";

    auto *pageBox = preview.findChild<QSpinBox *>();
    ASSERT_NE(pageBox, nullptr);
    EXPECT_EQ(pageBox->maximum(), 3);

    preview.showPage(3);
    EXPECT_EQ(preview.currentPage(), 3);
    EXPECT_EQ(pageBox->value(), 3);

    // Typing a page number in the box goes there; the navigation buttons follow.
    pageBox->setValue(2);
    EXPECT_EQ(preview.currentPage(), 2);
    const auto actionNamed = [&](const QString &text) {
        for (QAction *action : preview.findChildren<QAction *>())
            if (action->text() == text)
                return action;
        return static_cast<QAction *>(nullptr);
    };
    QAction *next = actionNamed(QStringLiteral("Next page"));
    QAction *first = actionNamed(QStringLiteral("First page"));
    ASSERT_TRUE(next && first);
    next->trigger();
    EXPECT_EQ(preview.currentPage(), 3);
    EXPECT_FALSE(next->isEnabled()) << "on the last page";
    first->trigger();
    EXPECT_EQ(preview.currentPage(), 1);
    EXPECT_FALSE(first->isEnabled()) << "on the first page";

    // Page numbers out of range stop at the ends.
    preview.showPage(99);
    EXPECT_EQ(preview.currentPage(), 3);
    preview.showPage(-4);
    EXPECT_EQ(preview.currentPage(), 1);

    preview.close();
    EXPECT_FALSE(preview.isVisible());
}

TEST(ReportPreview, LongTableDrawsOnlyThePagesInView)
{
    const VectorRows rows = VectorRows::numbered(100000);
    ReportPreview preview(rows);
    preview.resize(900, 700);
    showAndPaint(preview);
    EXPECT_EQ(preview.pageCount(), 2703);
    const int64_t opening = preview.pageView()->pagesPainted();
    EXPECT_LE(opening, 4) << "a page view about one page high drew " << opening << " pages";

    preview.showPage(2703);
    ASSERT_TRUE(QTest::qWaitFor([&] { return preview.pageView()->pagesPainted() > opening; }, 5000));
    EXPECT_EQ(preview.currentPage(), 2703);
    EXPECT_LE(preview.pageView()->pagesPainted() - opening, 4);

    // What shows is a page with text on it, not an empty desk.
    const QImage shown = preview.pageView()->viewport()->grab().toImage();
    EXPECT_GT(darkPixels(shown), 200);
}

TEST(ReportPreview, ZoomKeepsThePageInView)
{
    const VectorRows rows = VectorRows::numbered(400);
    ReportPreview preview(rows);
    preview.resize(800, 600);
    showAndPaint(preview);
    preview.showPage(5);

    preview.setZoom(2.0);
    EXPECT_DOUBLE_EQ(preview.zoom(), 2.0);
    EXPECT_EQ(preview.currentPage(), 5);
    preview.setZoom(0.25);
    EXPECT_EQ(preview.currentPage(), 5);

    preview.setZoom(100.0);
    EXPECT_DOUBLE_EQ(preview.zoom(), ReportPageView::MaxZoom);
    preview.setZoom(0.0);
    EXPECT_DOUBLE_EQ(preview.zoom(), ReportPageView::MinZoom);

    // The zoom box takes a typed percentage and the fitting choices.
    auto *zoomBox = preview.findChild<QComboBox *>();
    ASSERT_NE(zoomBox, nullptr);
    zoomBox->lineEdit()->setText(QStringLiteral("150%"));
    QTest::keyClick(zoomBox->lineEdit(), Qt::Key_Return);
    EXPECT_DOUBLE_EQ(preview.zoom(), 1.5);
    EXPECT_EQ(zoomBox->currentText(), QStringLiteral("150%"));

    zoomBox->textActivated(QStringLiteral("Fit width"));
    ReportPageView *view = preview.pageView();
    const double pageWidth =
        DataReport::PageWidthMm * view->viewport()->logicalDpiX() / 25.4 * preview.zoom();
    EXPECT_NEAR(pageWidth, view->viewport()->width() - 2 * ReportPageView::PageGap, 1.0);
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0)
        << "a page fitted to the width needs no sideways scroll";
}

TEST(ReportPreview, StepsOnePageAtATimeWithSeveralPagesInView)
{
    const VectorRows rows = VectorRows::numbered(400); // 11 pages
    ReportPreview preview(rows);
    preview.resize(800, 900);
    showAndPaint(preview);
    preview.setZoom(0.25); // about three pages show at once

    preview.showPage(5);
    EXPECT_EQ(preview.currentPage(), 5);
    preview.showPage(preview.currentPage() + 1);
    EXPECT_EQ(preview.currentPage(), 6);

    // The last pages cannot scroll to the top of the view, yet the last page is the one shown.
    preview.showPage(11);
    EXPECT_EQ(preview.currentPage(), 11);
    EXPECT_EQ(preview.findChild<QSpinBox *>()->value(), 11);

    // Scrolling by hand hands the current page back to the view's position.
    preview.pageView()->verticalScrollBar()->setValue(0);
    EXPECT_EQ(preview.currentPage(), 1);

    QTest::keyClick(preview.pageView(), Qt::Key_End);
    EXPECT_EQ(preview.currentPage(), 11);
    QTest::keyClick(preview.pageView(), Qt::Key_Home);
    EXPECT_EQ(preview.currentPage(), 1);
}

TEST(ReportPreview, EmptyTableOpensWithNothingToPrint)
{
    QTemporaryDir dir;
    const VectorRows rows;
    ReportPreview preview(rows);
    showAndPaint(preview);
    EXPECT_EQ(preview.pageCount(), 0);
    EXPECT_EQ(preview.currentPage(), 0);
    EXPECT_FALSE(preview.printAction()->isEnabled());
    EXPECT_FALSE(preview.savePdfAction()->isEnabled());
    preview.showPage(1);
    preview.setZoom(2.0);
    EXPECT_EQ(preview.currentPage(), 0);

    const QString file = dir.filePath(QStringLiteral("empty.pdf"));
    EXPECT_FALSE(preview.saveAsPdf(file));
    EXPECT_FALSE(QFile::exists(file));
    preview.close();
}

TEST(ReportPreview, PrintsTheRangeChosenOnThePrinter)
{
    QTemporaryDir dir;
    const VectorRows rows = VectorRows::numbered(100);
    ReportPreview preview(rows);
    showAndPaint(preview);
    preview.showPage(3);

    struct Case
    {
        QPrinter::PrintRange range;
        int from, to;
        int pages;
        QString firstNo;
    };
    const Case cases[] = {
        {QPrinter::AllPages, 0, 0, 3, QStringLiteral("1")},
        {QPrinter::PageRange, 2, 3, 2, QStringLiteral("38")},
        {QPrinter::CurrentPage, 0, 0, 1, QStringLiteral("75")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.range));
        const QString file = dir.filePath(QStringLiteral("printed%1.pdf").arg(int(c.range)));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        printer.setPrintRange(c.range);
        if (c.range == QPrinter::PageRange)
            printer.setFromTo(c.from, c.to);
        ASSERT_TRUE(preview.printTo(printer));

        const PdfText text = readPdfText(file);
        if (!text.readable)
            GTEST_SKIP() << "pdftotext (poppler-utils) is needed to read the PDF back";
        EXPECT_EQ(text.pages, c.pages);
        const auto numbers = text.find(0, c.firstNo);
        ASSERT_FALSE(numbers.empty());
        // On paper as in the PDF file: the first detail line under the two header bands.
        EXPECT_NEAR(numbers.front().left, 10 + 8.47, 0.05);
        EXPECT_NEAR(numbers.front().top, 10 + 21.16 + 2.12, 0.05);
    }
}

TEST(ReportPreview, SavesTheWholeReportAsPdf)
{
    QTemporaryDir dir;
    const VectorRows rows = VectorRows::numbered(75);
    ReportPreview preview(rows);
    const QString file = dir.filePath(QStringLiteral("saved.pdf"));
    ASSERT_TRUE(preview.saveAsPdf(file));
    const PdfText text = readPdfText(file);
    if (!text.readable)
        GTEST_SKIP() << "pdftotext (poppler-utils) is needed to read the PDF back";
    EXPECT_EQ(text.pages, 3);
    EXPECT_FALSE(text.find(2, QStringLiteral("75")).empty());
    EXPECT_FALSE(preview.saveAsPdf(dir.filePath(QStringLiteral("no/such/folder/saved.pdf"))));
}

TEST(ReportPreview, AsksTheWindowForTheFileAndReportsAFailedSaveThroughIt)
{
    QTemporaryDir dir;
    const VectorRows rows = VectorRows::numbered(3);
    ReportPreview preview(rows);
    QStringList warnings;
    preview.setPrompts(
        {[&](const QString &title, const QString &text) { warnings << title + QLatin1Char('|') + text; },
         [&](const QString &, const QString &, const QString &) {
             return dir.filePath(QStringLiteral("no/such/folder/report"));
         },
         {},
         {}});
    preview.saveAsPdf();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].startsWith(QStringLiteral("Save as PDF|Could not write ")))
        << warnings[0].toStdString();
    EXPECT_TRUE(warnings[0].contains(QStringLiteral("report.pdf"))) << "the missing suffix is added";
}

TEST(ReportPreview, PrintsOnThePrinterTheWindowChoseWithTheWindowsProgress)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("printed.pdf"));
    const VectorRows rows = VectorRows::numbered(100);
    ReportPreview preview(rows);
    int offered = 0;
    QWidget *over = nullptr;
    bool accept = false;
    bool goOn = true;
    QStringList labels;
    int warnings = 0;
    PreviewPrompts prompts;
    prompts.warn = [&](const QString &, const QString &) {
        ++warnings;
    };
    prompts.choosePrinter = [&](QPrinter &printer, int pageCount, QWidget *dialogOver) {
        offered = pageCount;
        over = dialogOver;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return accept;
    };
    prompts.progress = [&](const QString &label, QWidget *) {
        labels << label;
        return WorkProgress([&](int64_t, int64_t) { return goOn; });
    };
    preview.setPrompts(prompts);

    preview.print(); // Cancel in the print dialog
    EXPECT_EQ(offered, preview.pageCount());
    EXPECT_EQ(over, &preview);
    EXPECT_TRUE(labels.isEmpty());

    accept = true;
    goOn = false; // Cancel in the progress window: no failure is reported
    preview.print();
    EXPECT_EQ(labels, QStringList{QStringLiteral("Printing the report...")});
    EXPECT_EQ(warnings, 0);

    goOn = true;
    preview.print();
    EXPECT_GT(QFileInfo(pdf).size(), 0);
    EXPECT_EQ(warnings, 0);
}

TEST(ReportPreview, ShowReportPreviewReturnsWhenClosed)
{
    const VectorRows rows = VectorRows::numbered(10);
    int pagesSeen = -1;
    QTimer::singleShot(0, qApp, [&] {
        auto *preview = qobject_cast<ReportPreview *>(QApplication::activeModalWidget());
        if (!preview)
            return;
        pagesSeen = preview->pageCount();
        preview->close();
    });
    showReportPreview(rows, {}, nullptr);
    EXPECT_EQ(pagesSeen, 1) << "the preview was open and modal";
}
