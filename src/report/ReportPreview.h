#pragma once

#include "report/DataReport.h"
#include "store/WorkProgress.h"

#include <QDialog>
#include <functional>

class QAction;
class QComboBox;
class QLabel;
class QPrinter;
class QSpinBox;
class ReportPageView;

// What the preview asks of the window that opens it: messages, file names, the printer and the
// progress of long work go through the window, which shows them like its own (and lets tests answer
// them); the dialogs show over `over`, the preview. Unset, a message is dropped, no file or printer
// is chosen, and long work runs without a progress window.
struct PreviewPrompts
{
    std::function<void(const QString &title, const QString &text)> warn;
    std::function<QString(const QString &caption, const QString &suggestedPath, const QString &filter)>
        saveFileName;
    // Sets the printer up, pages 1..pageCount offered; false for Cancel.
    std::function<bool(QPrinter &printer, int pageCount, QWidget *over)> choosePrinter;
    std::function<WorkProgress(const QString &label, QWidget *over)> progress;
};

// The print preview of the report `DataReport1`: pages the reading table as it will print, with
// paging, zoom, printing on a chosen printer and saving as PDF. Pages are drawn as they come into
// view, so even a very long table opens at once.
class ReportPreview : public QDialog
{
    Q_OBJECT

public:
    explicit ReportPreview(const TableRows &rows, QWidget *parent = nullptr);

    void setPrompts(PreviewPrompts prompts) { m_prompts = std::move(prompts); }

    int pageCount() const;
    // 1-based number of the page in view; 0 when the table is empty.
    int currentPage() const;
    void showPage(int page);
    double zoom() const;
    void setZoom(double zoom);

    ReportPageView *pageView() const { return m_view; }
    QAction *printAction() const { return m_printAction; }
    QAction *savePdfAction() const { return m_savePdfAction; }

    // Prints on an already set-up printer the range chosen on it (all pages, a page range or the
    // page in view). Returns false when nothing was printed in full.
    bool printTo(QPrinter &printer);
    // Writes the whole report as a PDF file; false when the file could not be written.
    bool saveAsPdf(const QString &fileName);

    // Asks for a printer, then prints; asks for a file name, then saves.
    void print();
    void saveAsPdf();

private:
    void addToolBar();
    void zoomBy(int steps);
    void applyZoomText(const QString &text);
    void showZoom(double zoom);
    void showCurrentPage(int page);
    bool printChosenRange(QPrinter &printer, bool *cancelled);
    bool writePdf(const QString &fileName, bool *cancelled);
    // Runs a long print or save job with the window's progress, which may cancel it.
    bool runJob(const QString &label, const std::function<bool(const DataReport::Progress &)> &job,
                bool *cancelled);

    void warn(const QString &title, const QString &text) const;

    DataReport m_report;
    PreviewPrompts m_prompts;
    ReportPageView *m_view = nullptr;
    QAction *m_printAction = nullptr;
    QAction *m_savePdfAction = nullptr;
    QAction *m_firstAction = nullptr;
    QAction *m_previousAction = nullptr;
    QAction *m_nextAction = nullptr;
    QAction *m_lastAction = nullptr;
    QSpinBox *m_pageBox = nullptr;
    QLabel *m_pageTotal = nullptr;
    QComboBox *m_zoomBox = nullptr;
};

// Opens the modal print preview of the reading table's rows and returns when it is closed.
void showReportPreview(const TableRows &rows, PreviewPrompts prompts, QWidget *parent = nullptr);
