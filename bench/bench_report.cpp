// Opens the report preview over a long reading table and reports how long the first page takes to
// show, how long a jump across the report takes, and the process's peak memory.
//
//   bench_report [rows] [--pdf] [--qt-dialog]
//
// rows defaults to 100000 (2703 pages). --pdf also times saving the whole report as PDF;
// --qt-dialog measures the toolkit's own preview dialog instead, which draws every page before
// it shows the first, for comparison. Peak memory is per process: run each mode on its own.

#include "report/DataReport.h"
#include "report/ReportPageView.h"
#include "report/ReportPreview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

// A table whose rows are made up on request, so the figures are the preview's alone; a table held
// in memory adds its own size (about 45 MB for 100 000 rows of short texts) on top.
class GeneratedRows : public TableRows
{
public:
    explicit GeneratedRows(int64_t count) : m_count(count) {}
    int64_t rowCount() const override { return m_count; }
    QString fieldText(int64_t row, TableColumn column) const override
    {
        switch (column) {
        case TableColumn::No:
            return QString::number(row + 1);
        case TableColumn::Time:
            return QStringLiteral("%1:%2:%3.%4")
                .arg(row / 3600 % 24, 2, 10, QLatin1Char('0'))
                .arg(row / 60 % 60, 2, 10, QLatin1Char('0'))
                .arg(row % 60, 2, 10, QLatin1Char('0'))
                .arg(row * 7 % 1000, 3, 10, QLatin1Char('0'));
        case TableColumn::DCAC:
            return row % 3 ? QStringLiteral("DC") : QStringLiteral("AC");
        case TableColumn::Value:
            return QString::number(-3.999 + double(row % 8000) / 1000.0, 'f', 3);
        case TableColumn::Unit:
            return QStringLiteral("mV");
        case TableColumn::AUTO:
            return QStringLiteral("AUTO");
        case TableColumn::Nval:
            return QString::number(row % 8000 - 3999);
        }
        return {};
    }

private:
    int64_t m_count;
};

long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// Lets the event loop run until `done` holds; returns the milliseconds it took.
template <typename Done> qint64 runUntil(Done done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return timer.elapsed();
}

int measurePreview(const TableRows &rows, bool pdf)
{
    QElapsedTimer timer;
    timer.start();
    ReportPreview preview(rows);
    preview.resize(1000, 900);
    preview.show();
    ReportPageView *view = preview.pageView();
    runUntil([&] { return view->pagesPainted() > 0; });
    const qint64 firstPage = timer.elapsed();
    std::printf("pages: %d\n", preview.pageCount());
    std::printf("time to first page shown: %lld ms\n", static_cast<long long>(firstPage));

    // Jumps the reader makes: to the end, to the middle, zoomed in and out.
    const int64_t before = view->pagesPainted();
    timer.restart();
    preview.showPage(preview.pageCount());
    runUntil([&] { return view->pagesPainted() > before; });
    std::printf("jump to the last page: %lld ms\n", static_cast<long long>(timer.elapsed()));
    const int64_t beforeZoom = view->pagesPainted();
    timer.restart();
    preview.showPage(preview.pageCount() / 2);
    preview.setZoom(4.0);
    preview.setZoom(0.25);
    runUntil([&] { return view->pagesPainted() > beforeZoom; });
    std::printf("jump to the middle at 25%%: %lld ms\n", static_cast<long long>(timer.elapsed()));
    std::printf("pages drawn in all: %lld\n", static_cast<long long>(view->pagesPainted()));
    std::printf("peak memory with the preview open: %ld MB\n", peakMegabytes());

    if (pdf) {
        QTemporaryDir dir;
        timer.restart();
        const bool saved = preview.saveAsPdf(dir.filePath(QStringLiteral("report.pdf")));
        std::printf("save as PDF: %s in %lld ms\n", saved ? "written" : "FAILED",
                    static_cast<long long>(timer.elapsed()));
        std::printf("peak memory after saving: %ld MB\n", peakMegabytes());
    }
    preview.close();
    return 0;
}

int measureToolkitDialog(const TableRows &rows)
{
    const DataReport report(rows);
    QElapsedTimer timer;
    timer.start();
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog dialog(&printer);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&](QPrinter *target) { report.print(*target); });
    dialog.resize(1000, 900);
    // The dialog draws the whole report while it is being shown.
    dialog.show();
    QCoreApplication::processEvents();
    std::printf("toolkit preview dialog, time to first page shown: %lld ms\n",
                static_cast<long long>(timer.elapsed()));
    std::printf("peak memory with the toolkit dialog open: %ld MB\n", peakMegabytes());
    dialog.close();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    int64_t rowCount = 100000;
    bool pdf = false;
    bool toolkitDialog = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pdf") == 0)
            pdf = true;
        else if (std::strcmp(argv[i], "--qt-dialog") == 0)
            toolkitDialog = true;
        else
            rowCount = std::strtoll(argv[i], nullptr, 10);
    }
    const GeneratedRows rows(rowCount);
    std::printf("rows: %lld\n", static_cast<long long>(rowCount));
    std::printf("peak memory before the preview: %ld MB\n", peakMegabytes());
    return toolkitDialog ? measureToolkitDialog(rows) : measurePreview(rows, pdf);
}
