#include "display/LimitKeyFilter.h"

#include "display/MinMax.h"

#include <QKeyEvent>

bool LimitKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const QString text = key->text();
    // Delete arrives with the DEL control character as its text on X11 and Wayland, yet it is an
    // editing key like the arrows, not a typed character.
    if (text.isEmpty() || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
        key->key() == Qt::Key_Delete)
        return false;
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return false;
    const char32_t c = text.toUcs4().value(0);
    return !limitKeyAccepted(c);
}
