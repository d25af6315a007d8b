#include "display/LimitKeyFilter.h"

#include "display/MinMax.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>

namespace {

// Whether the key carries a character (as opposed to a command such as Ctrl+V, whose text is a
// control character, or an editing key).
bool typesCharacter(const QKeyEvent &key)
{
    const QString text = key.text();
    if (text.isEmpty())
        return false;
    const QChar c = text.at(0);
    return c.isPrint() || c.category() == QChar::Other_Format || c.category() == QChar::Other_PrivateUse ||
           c.isHighSurrogate();
}

// Plain Ctrl and Ctrl+Shift make the line edit's commands (Ctrl+V, Ctrl+Shift+Z ...), whatever text
// the key carries: they must reach it, and it never inserts their text.
bool isCommand(const QKeyEvent &key)
{
    return key.modifiers() == Qt::ControlModifier ||
           key.modifiers() == (Qt::ControlModifier | Qt::ShiftModifier);
}

// Any other character typed with Ctrl, Alt, Super or Meta held was meant as a command (a menu's
// letter, a desktop shortcut that missed), never as text, though the line edit would insert it.
// AltGr reaches us either as a level of its own (no modifier) or, on some systems, as Ctrl+Alt.
bool commandHeld(const QKeyEvent &key)
{
    return key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
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
        if (!typesCharacter(*key) || isCommand(*key))
            return false;
        return commandHeld(*key) || acceptedOnly(key->text()) != key->text();
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
