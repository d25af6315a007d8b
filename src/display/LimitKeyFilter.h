#pragma once

#include <QObject>

// Discards typed characters a limit box does not accept (see limitKeyAccepted) before the box sees
// them. Editing and navigation keys (Delete included), Tab and shortcuts such as Ctrl+V pass, so pasted
// text is not filtered.
class LimitKeyFilter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
