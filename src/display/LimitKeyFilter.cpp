#include "display/LimitKeyFilter.h"

#include "display/MinMax.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>

namespace {

// Whether the line edit would insert the key's text, decided as it decides: plain Ctrl and
// Ctrl+Shift make commands (Ctrl+V, Ctrl+Shift+Z ...), while Ctrl+Alt (AltGr on many keyboards),
// Alt and Meta type their character.
bool insertsText(const QKeyEvent &key)
{
    const QString text = key.text();
    if (text.isEmpty())
        return false;
    const QChar c = text.at(0);
    if (c.category() == QChar::Other_Format)
        return true;
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier);
    if (modifiers == Qt::ControlModifier || modifiers == (Qt::ControlModifier | Qt::ShiftModifier))
        return false;
    return c.isPrint() || c.category() == QChar::Other_PrivateUse || c.isHighSurrogate();
}

QString acceptedOnly(const QString &text)
{
    QString kept;
    for (char32_t c : text.toUcs4()) {
        if (limitKeyAccepted(c))
            kept += QString::fromUcs4(&c, 1);
    }
    return kept;
}

} // namespace

bool LimitKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        return insertsText(*key) && acceptedOnly(key->text()) != key->text();
    }
    case QEvent::InputMethod: {
        // An input method commits text without a key press: it passes the same sieve.
        auto *input = static_cast<QInputMethodEvent *>(event);
        const QString kept = acceptedOnly(input->commitString());
        if (kept == input->commitString())
            return false;
        QInputMethodEvent filtered(input->preeditString(), input->attributes());
        filtered.setCommitString(kept, input->replacementStart(), input->replacementLength());
        QCoreApplication::sendEvent(watched, &filtered);
        return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QMimeData *data = drop->mimeData();
        if (!data || !data->hasText() || acceptedOnly(data->text()) == data->text())
            return false;
        drop->ignore();
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
