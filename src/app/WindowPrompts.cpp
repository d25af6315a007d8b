#include "app/WindowPrompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>

#include <cstdio>
#include <memory>

namespace {

// One piece of long work as the window shows it.
class WorkProgressState
{
public:
    WorkProgressState(QWidget *parent, const QString &label) : m_parent(parent), m_label(label)
    {
        m_started.start();
        m_events.start();
    }
    ~WorkProgressState() { delete m_dialog; }
    WorkProgressState(const WorkProgressState &) = delete;
    WorkProgressState &operator=(const WorkProgressState &) = delete;

    bool report(int64_t done, int64_t total)
    {
        if (m_events.elapsed() < WindowPrompts::kEventIntervalMs)
            return !m_cancelled;
        m_events.restart();
        if (!m_dialog && m_started.elapsed() >= WindowPrompts::kProgressDelayMs) {
            m_dialog =
                new QProgressDialog(m_label, QObject::tr("Cancel"), 0, int(ProgressMeter::kScale), m_parent);
            m_dialog->setWindowModality(Qt::WindowModal);
            m_dialog->setMinimumDuration(0);
            m_dialog->setAutoClose(false);
            m_dialog->setAutoReset(false);
            m_dialog->show();
        }
        if (m_dialog) {
            // The dialog's own setValue handles events only once it has been shown.
            m_dialog->setValue(int(total > 0 ? done * ProgressMeter::kScale / total : 0));
            QCoreApplication::processEvents();
            m_cancelled = m_dialog->wasCanceled();
        } else {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
        return !m_cancelled;
    }

private:
    QPointer<QWidget> m_parent;
    QString m_label;
    QElapsedTimer m_started;
    QElapsedTimer m_events;
    QProgressDialog *m_dialog = nullptr;
    bool m_cancelled = false;
};

// Icons and types by name only. The usual provider reads a file's first bytes to tell its type, and
// opening and closing a file from this process drops every lock the process holds on it: the
// database engine's lock on the working table and on the recovery file would go whenever a file
// dialog showed their folder.
class NameOnlyIconProvider : public QAbstractFileIconProvider
{
public:
    QIcon icon(IconType type) const override { return m_icons.icon(type); }
    QIcon icon(const QFileInfo &info) const override
    {
        return m_icons.icon(info.isDir() ? QAbstractFileIconProvider::Folder
                                         : QAbstractFileIconProvider::File);
    }
    QString type(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QApplication::translate("WindowPrompts", "Folder");
        return info.suffix().isEmpty()
                   ? QApplication::translate("WindowPrompts", "File")
                   : QApplication::translate("WindowPrompts", "%1 File").arg(info.suffix().toUpper());
    }

private:
    QFileIconProvider m_icons;
};

} // namespace

void WindowPrompts::show(QMessageBox::Icon icon, const QString &title, const QString &text) const
{
    if (isEnding()) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    if (m_messageHook) {
        m_messageHook(icon, text);
        return;
    }
    const QString caption = title.isEmpty() ? QApplication::applicationName() : title;
    switch (icon) {
    case QMessageBox::Critical:
        QMessageBox::critical(m_parent, caption, text);
        break;
    case QMessageBox::Warning:
        QMessageBox::warning(m_parent, caption, text);
        break;
    default:
        QMessageBox::information(m_parent, caption, text);
        break;
    }
}

QString WindowPrompts::fileName(const FileRequest &request) const
{
    if (isEnding())
        return QString();
    if (m_fileHook)
        return m_fileHook(request);
    NameOnlyIconProvider icons;
    QFileDialog dialog(m_parent, request.caption, request.folder);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(request.kind == FileRequest::Kind::Save ? QFileDialog::AcceptSave
                                                                 : QFileDialog::AcceptOpen);
    if (request.kind == FileRequest::Kind::Open)
        dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(request.filters);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || isEnding() || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

WindowPrompts::Choice WindowPrompts::choose(const QString &text, const QList<Choice> &offered) const
{
    if (isEnding())
        return offered.contains(Choice::Later) ? Choice::Later : Choice::Cancel;
    if (m_choiceHook)
        return m_choiceHook(text, offered);
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text, QMessageBox::NoButton,
                    m_parent);
    QList<std::pair<QAbstractButton *, Choice>> buttons;
    Choice escape = Choice::Cancel;
    for (Choice c : offered) {
        switch (c) {
        case Choice::Save:
            buttons.append(
                {box.addButton(QApplication::translate("WindowPrompts", "Save…"), QMessageBox::AcceptRole),
                 c});
            break;
        case Choice::Discard:
            buttons.append({box.addButton(QMessageBox::Discard), c});
            break;
        case Choice::Cancel:
            buttons.append({box.addButton(QMessageBox::Cancel), c});
            break;
        case Choice::Later:
            buttons.append(
                {box.addButton(QApplication::translate("WindowPrompts", "Later"), QMessageBox::RejectRole),
                 c});
            escape = Choice::Later;
            break;
        }
    }
    if (!buttons.isEmpty())
        box.setDefaultButton(qobject_cast<QPushButton *>(buttons.constFirst().first));
    box.exec();
    if (isEnding())
        return escape;
    for (const auto &[button, choice] : buttons) {
        if (box.clickedButton() == button)
            return choice;
    }
    return escape;
}

bool WindowPrompts::choosePrinter(QPrinter &printer, int pageCount, QWidget *over) const
{
    if (isEnding())
        return false;
    if (m_printerHook)
        return m_printerHook(printer, pageCount);
    QPrintDialog dialog(&printer, over ? over : m_parent);
    dialog.setMinMax(1, pageCount);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage);
    return dialog.exec() == QDialog::Accepted && !isEnding();
}

void WindowPrompts::showDialog(QDialog &dialog) const
{
    if (!isEnding())
        dialog.exec();
}

WorkProgress WindowPrompts::progress(const QString &label, QWidget *over) const
{
    if (m_progressHook) {
        return [hook = m_progressHook, label, ending = m_ending](int64_t done, int64_t total) {
            return !*ending && hook(label, done, total);
        };
    }
    auto state = std::make_shared<WorkProgressState>(over ? over : m_parent, label);
    return [state, ending = m_ending](int64_t done, int64_t total) {
        return !*ending && state->report(done, total) && !*ending;
    };
}
