#include "app/WindowPrompts.h"

#include <QApplication>
#include <QFileDialog>

void WindowPrompts::show(QMessageBox::Icon icon, const QString &title, const QString &text) const
{
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
    if (m_fileHook)
        return m_fileHook(request);
    QFileDialog dialog(m_parent, request.caption, request.folder);
    dialog.setAcceptMode(request.kind == FileRequest::Kind::Save ? QFileDialog::AcceptSave
                                                                 : QFileDialog::AcceptOpen);
    if (request.kind == FileRequest::Kind::Open)
        dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(request.filters);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
