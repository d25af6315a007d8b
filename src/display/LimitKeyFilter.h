#pragma once

#include <QObject>

// Keeps characters a limit box does not accept (see limitKeyAccepted) out of it: typed keys that
// would insert text (with AltGr, Alt or Meta too), input-method commits and dropped text. Editing and
// navigation keys (Delete included), Tab and shortcuts such as Ctrl+V pass, so pasted text is not
// filtered.
class LimitKeyFilter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
