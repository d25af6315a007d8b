#pragma once

#include <QList>

#include "store/WorkProgress.h"

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QDialog;
class QPrinter;
class QWidget;

// A file name the window asks the user for.
struct FileRequest
{
    enum class Kind
    {
        Open,
        Save,
    };
    Kind kind = Kind::Open;
    QString caption;
    QString folder;
    QStringList filters;   // "DB File(*.db)", the first one selected
    QString defaultSuffix; // added to a typed name that has none
};

// Every message box and file dialog of the window, in one place, so that tests and benchmarks can
// answer them instead of a person: with a hook set nothing modal opens.
class WindowPrompts
{
public:
    using MessageHook = std::function<void(QMessageBox::Icon, const QString &)>;
    // The answers a question offers.
    enum class Choice
    {
        Save, // "Save…": the ordinary save dialog follows
        Discard,
        Cancel,
        Later,
    };
    using ChoiceHook = std::function<Choice(const QString &text, const QList<Choice> &offered)>;
    // Returns the chosen file's path, or an empty text for Cancel.
    using FileHook = std::function<QString(const FileRequest &)>;
    // Gets every progress report of long work with its label; returning false cancels the work.
    using ProgressHook = std::function<bool(const QString &label, int64_t done, int64_t total)>;
    // Sets the printer up instead of the print dialog; false for Cancel.
    using PrinterHook = std::function<bool(QPrinter &printer, int pageCount)>;

    // Long work shows nothing for this long, then a progress dialog with Cancel.
    static constexpr int kProgressDelayMs = 500;
    // How often the window's events are handled while long work runs.
    static constexpr int kEventIntervalMs = 20;

    explicit WindowPrompts(QWidget *parent) : m_parent(parent) {}

    void setMessageHook(MessageHook hook) { m_messageHook = std::move(hook); }
    void setFileHook(FileHook hook) { m_fileHook = std::move(hook); }
    void setChoiceHook(ChoiceHook hook) { m_choiceHook = std::move(hook); }
    void setProgressHook(ProgressHook hook) { m_progressHook = std::move(hook); }
    void setPrinterHook(PrinterHook hook) { m_printerHook = std::move(hook); }

    // The program is ending (a signal): from now on nothing is asked or shown. Questions get their
    // escape answer, file dialogs none, messages go to the standard error, and long work is cancelled
    // at its next report, so every flow unwinds at once.
    void setEnding() { *m_ending = true; }
    bool isEnding() const { return *m_ending; }

    void error(const QString &text) const { show(QMessageBox::Critical, QString(), text); }
    void information(const QString &text) const { show(QMessageBox::Information, QString(), text); }
    // A warning under its own title (the application's name when empty).
    void warning(const QString &title, const QString &text) const { show(QMessageBox::Warning, title, text); }

    QString fileName(const FileRequest &request) const;
    // Asks a question with the offered answers; closing the box answers Cancel (or Later).
    Choice choose(const QString &text, const QList<Choice> &offered) const;
    // The print dialog over `over` (the window when null), pages 1..pageCount and the page in view
    // offered; false for Cancel.
    bool choosePrinter(QPrinter &printer, int pageCount, QWidget *over = nullptr) const;
    // Runs a dialog of the window's own (the report's preview) until it is closed; nothing shows
    // while the program is ending.
    void showDialog(QDialog &dialog) const;

    // The progress to hand to long work (WorkProgress.h) that runs on the window's thread. While
    // the work runs the window's events are handled every kEventIntervalMs, so it keeps repainting
    // and its timers keep running; after kProgressDelayMs a window-modal progress dialog under
    // label shows, with Cancel. User input goes nowhere else meanwhile: before the dialog shows it
    // waits, after that the dialog holds the window. The dialog goes when the last copy of the
    // progress does.
    // Its dialog is modal to `over` when given (a dialog of the window's own), else to the window.
    WorkProgress progress(const QString &label, QWidget *over = nullptr) const;

private:
    void show(QMessageBox::Icon icon, const QString &title, const QString &text) const;

    QWidget *m_parent = nullptr;
    MessageHook m_messageHook;
    FileHook m_fileHook;
    ChoiceHook m_choiceHook;
    ProgressHook m_progressHook;
    PrinterHook m_printerHook;
    std::shared_ptr<bool> m_ending = std::make_shared<bool>(false);
};
