#pragma once

#include "display/ReadoutLabel.h"

#include <QCheckBox>
#include <QFrame>
#include <QHash>
#include <QLineEdit>

class LcdLabel;
class LimitKeyFilter;

// The panel under the LCD with the lowest and highest readings and the two limit boxes. The controls
// are public so the window can wire SetmaxExit, SetMinExit and the check boxes to its handlers.
class MinMaxPanel : public QFrame
{
    Q_OBJECT

public:
    explicit MinMaxPanel(QWidget *parent = nullptr);

    // Shows the extremes' texts and the unit (in the LCD symbol font); the labels widen to their text.
    void showExtremes(const QString &minText, const QString &maxText, const QString &unit);
    // The start texts of a display range: limit boxes at +-fullScale, extremes at -+(fullScale + 1).
    void applyRange(int fullScale);

    LcdLabel *Label11 = nullptr;
    LcdLabel *Label12 = nullptr;
    ReadoutLabel *MinText = nullptr;
    ReadoutLabel *MaxText = nullptr;
    LcdLabel *MinTextU = nullptr;
    LcdLabel *MaxTextU = nullptr;
    QCheckBox *SetMaxB = nullptr;
    QCheckBox *SetMinB = nullptr;
    QLineEdit *Setmax = nullptr;
    QLineEdit *SetMin = nullptr;

private:
    LimitKeyFilter *m_keyFilter = nullptr;
    // What showExtremes last laid out, so that a frame that changes none of it costs nothing.
    bool m_shownValid = false;
    QString m_shownMin;
    QString m_shownMax;
    QString m_shownUnit;
    QHash<QString, int> m_textWidths; // the reading labels' widths by text (both share one font)
};
