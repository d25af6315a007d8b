#pragma once

#include <QObject>

// Keeps characters a limit box does not accept (see limitKeyAccepted) out of it: typed keys,
// input-method commits and dropped text; and every character typed with Ctrl, Alt, Super or Meta
// held. Editing and navigation keys (Delete included), Tab and shortcuts such as Ctrl+V pass, so
// pasted text is not filtered. The interval box takes it too, under its own validator.
class LimitKeyFilter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
