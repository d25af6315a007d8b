#include "report/ReportPreview.h"

#include "report/ReportPageView.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QScreen>
#include <QSpinBox>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

namespace {

// The zoom steps offered in the list and walked by zoom in / zoom out, in per cent.
constexpr int ZoomSteps[] = {25, 50, 75, 100, 125, 150, 200, 300, 400};

QString fitWidthText()
{
    return ReportPreview::tr("Fit width");
}

QString wholePageText()
{
    return ReportPreview::tr("Whole page");
}

} // namespace

ReportPreview::ReportPreview(const TableRows &rows, QWidget *parent) : QDialog(parent), m_report(rows)
{
    setWindowTitle(tr("Print Preview"));
    m_view = new ReportPageView(m_report, this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    addToolBar();
    layout->addWidget(m_view, 1);

    connect(m_view, &ReportPageView::currentPageChanged, this, &ReportPreview::showCurrentPage);
    connect(m_view, &ReportPageView::zoomChanged, this, &ReportPreview::showZoom);
    showCurrentPage(m_view->currentPage());
    showZoom(m_view->zoom());

    // Room for a page at full size, as far as the screen allows.
    const int paperWidth = static_cast<int>(DataReport::PageWidthMm * logicalDpiX() / 25.4);
    QSize size(paperWidth + 2 * ReportPageView::PageGap + 40, paperWidth * 4 / 3);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    resize(size);
}

void ReportPreview::addToolBar()
{
    auto *bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonFollowStyle);
    layout()->addWidget(bar);

    const bool hasPages = m_report.pageCount() > 0;
    m_printAction = bar->addAction(QIcon::fromTheme(QStringLiteral("document-print")), tr("Print..."));
    m_printAction->setShortcut(QKeySequence::Print);
    m_printAction->setEnabled(hasPages);
    connect(m_printAction, &QAction::triggered, this, qOverload<>(&ReportPreview::print));
    m_savePdfAction =
        bar->addAction(QIcon::fromTheme(QStringLiteral("document-save-as")), tr("Save as PDF..."));
    m_savePdfAction->setEnabled(hasPages);
    connect(m_savePdfAction, &QAction::triggered, this, qOverload<>(&ReportPreview::saveAsPdf));
    bar->addSeparator();

    m_firstAction = bar->addAction(QIcon::fromTheme(QStringLiteral("go-first")), tr("First page"));
    connect(m_firstAction, &QAction::triggered, this, [this] { showPage(1); });
    m_previousAction = bar->addAction(QIcon::fromTheme(QStringLiteral("go-previous")), tr("Previous page"));
    connect(m_previousAction, &QAction::triggered, this, [this] { showPage(currentPage() - 1); });
    m_pageBox = new QSpinBox(bar);
    m_pageBox->setRange(hasPages ? 1 : 0, std::max(m_report.pageCount(), 0));
    m_pageBox->setKeyboardTracking(false);
    m_pageBox->setEnabled(hasPages);
    bar->addWidget(m_pageBox);
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int page) {
        if (page != currentPage())
            showPage(page);
    });
    m_pageTotal = new QLabel(tr(" of %1 ").arg(m_report.pageCount()), bar);
    bar->addWidget(m_pageTotal);
    m_nextAction = bar->addAction(QIcon::fromTheme(QStringLiteral("go-next")), tr("Next page"));
    connect(m_nextAction, &QAction::triggered, this, [this] { showPage(currentPage() + 1); });
    m_lastAction = bar->addAction(QIcon::fromTheme(QStringLiteral("go-last")), tr("Last page"));
    connect(m_lastAction, &QAction::triggered, this, [this] { showPage(pageCount()); });
    bar->addSeparator();

    QAction *zoomOut = bar->addAction(QIcon::fromTheme(QStringLiteral("zoom-out")), tr("Zoom out"));
    zoomOut->setShortcut(QKeySequence::ZoomOut);
    connect(zoomOut, &QAction::triggered, this, [this] { zoomBy(-1); });
    m_zoomBox = new QComboBox(bar);
    m_zoomBox->setEditable(true);
    m_zoomBox->setInsertPolicy(QComboBox::NoInsert);
    m_zoomBox->addItem(fitWidthText());
    m_zoomBox->addItem(wholePageText());
    for (int percent : ZoomSteps)
        m_zoomBox->addItem(QStringLiteral("%1%").arg(percent));
    m_zoomBox->setMinimumContentsLength(10);
    bar->addWidget(m_zoomBox);
    connect(m_zoomBox, &QComboBox::textActivated, this, &ReportPreview::applyZoomText);
    connect(m_zoomBox->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { applyZoomText(m_zoomBox->lineEdit()->text()); });
    QAction *zoomIn = bar->addAction(QIcon::fromTheme(QStringLiteral("zoom-in")), tr("Zoom in"));
    zoomIn->setShortcut(QKeySequence::ZoomIn);
    connect(zoomIn, &QAction::triggered, this, [this] { zoomBy(1); });
    bar->addSeparator();

    QAction *close = bar->addAction(QIcon::fromTheme(QStringLiteral("window-close")), tr("Close"));
    connect(close, &QAction::triggered, this, &QDialog::reject);
}

int ReportPreview::pageCount() const
{
    return m_report.pageCount();
}

int ReportPreview::currentPage() const
{
    return m_view->currentPage() + 1;
}

void ReportPreview::showPage(int page)
{
    m_view->showPage(page - 1);
}

double ReportPreview::zoom() const
{
    return m_view->zoom();
}

void ReportPreview::setZoom(double zoom)
{
    m_view->setZoom(zoom);
}

void ReportPreview::zoomBy(int steps)
{
    const double percent = m_view->zoom() * 100.0;
    if (steps > 0) {
        for (int step : ZoomSteps)
            if (step > percent + 0.5) {
                setZoom(step / 100.0);
                return;
            }
        setZoom(ReportPageView::MaxZoom);
    } else {
        for (auto it = std::rbegin(ZoomSteps); it != std::rend(ZoomSteps); ++it)
            if (*it < percent - 0.5) {
                setZoom(*it / 100.0);
                return;
            }
        setZoom(ReportPageView::MinZoom);
    }
}

void ReportPreview::applyZoomText(const QString &text)
{
    if (text == fitWidthText()) {
        m_view->fitWidth();
    } else if (text == wholePageText()) {
        m_view->fitPage();
    } else {
        QString number = text.trimmed();
        if (number.endsWith(QLatin1Char('%')))
            number.chop(1);
        bool ok = false;
        const double percent = number.trimmed().toDouble(&ok);
        if (ok && percent > 0)
            setZoom(percent / 100.0);
    }
    // Whatever was chosen or typed, the box then shows the zoom in effect.
    showZoom(m_view->zoom());
}

void ReportPreview::showZoom(double zoom)
{
    m_zoomBox->setEditText(QStringLiteral("%1%").arg(std::lround(zoom * 100.0)));
}

void ReportPreview::showCurrentPage(int page)
{
    const int shown = page + 1;
    const bool hasPages = pageCount() > 0;
    if (hasPages && m_pageBox->value() != shown) {
        const QSignalBlocker blocker(m_pageBox);
        m_pageBox->setValue(shown);
    }
    m_firstAction->setEnabled(hasPages && shown > 1);
    m_previousAction->setEnabled(hasPages && shown > 1);
    m_nextAction->setEnabled(hasPages && shown < pageCount());
    m_lastAction->setEnabled(hasPages && shown < pageCount());
}

bool ReportPreview::runJob(const QString &label, const std::function<bool(const DataReport::Progress &)> &job,
                           bool *cancelled)
{
    const WorkProgress progress = m_prompts.progress ? m_prompts.progress(label, this) : WorkProgress();
    bool stopped = false;
    const bool done = job([&](int pagesDone, int total) {
        if (progress && !stopped)
            stopped = !progress(pagesDone, total);
        return !stopped;
    });
    if (cancelled)
        *cancelled = stopped;
    return done;
}

bool ReportPreview::printTo(QPrinter &printer)
{
    return printChosenRange(printer, nullptr);
}

bool ReportPreview::saveAsPdf(const QString &fileName)
{
    return writePdf(fileName, nullptr);
}

bool ReportPreview::printChosenRange(QPrinter &printer, bool *cancelled)
{
    int from = 0;
    int to = pageCount() - 1;
    switch (printer.printRange()) {
    case QPrinter::PageRange:
        from = printer.fromPage() - 1;
        to = printer.toPage() - 1;
        break;
    case QPrinter::CurrentPage:
        from = to = currentPage() - 1;
        break;
    case QPrinter::AllPages:
    case QPrinter::Selection:
        break;
    }
    return runJob(
        tr("Printing the report..."),
        [&](const DataReport::Progress &progress) { return m_report.print(printer, from, to, progress); },
        cancelled);
}

bool ReportPreview::writePdf(const QString &fileName, bool *cancelled)
{
    return runJob(
        tr("Saving the report..."),
        [&](const DataReport::Progress &progress) { return m_report.writePdf(fileName, progress); },
        cancelled);
}

void ReportPreview::print()
{
    if (pageCount() == 0)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(DataReport::title());
    if (!m_prompts.choosePrinter || !m_prompts.choosePrinter(printer, pageCount(), this))
        return;

    bool cancelled = false;
    if (!printChosenRange(printer, &cancelled) && !cancelled)
        warn(tr("Print"), tr("The report could not be printed on %1.").arg(printer.printerName()));
}

void ReportPreview::saveAsPdf()
{
    if (pageCount() == 0)
        return;
    QString fileName =
        m_prompts.saveFileName
            ? m_prompts.saveFileName(tr("Save as PDF"), QDir::home().filePath(QStringLiteral("report.pdf")),
                                     tr("PDF files (*.pdf)"))
            : QString();
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".pdf");

    bool cancelled = false;
    if (!writePdf(fileName, &cancelled) && !cancelled)
        warn(tr("Save as PDF"), tr("Could not write %1: check the folder exists and may be written to.")
                                    .arg(QDir::toNativeSeparators(fileName)));
}

void ReportPreview::warn(const QString &title, const QString &text) const
{
    if (m_prompts.warn)
        m_prompts.warn(title, text);
}

void showReportPreview(const TableRows &rows, PreviewPrompts prompts, QWidget *parent)
{
    ReportPreview preview(rows, parent);
    preview.setPrompts(std::move(prompts));
    preview.exec();
}
