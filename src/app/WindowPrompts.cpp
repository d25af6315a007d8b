#include "app/WindowPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QPushButton>

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

WindowPrompts::Choice WindowPrompts::choose(const QString &text, const QList<Choice> &offered) const
{
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
    for (const auto &[button, choice] : buttons) {
        if (box.clickedButton() == button)
            return choice;
    }
    return escape;
}
