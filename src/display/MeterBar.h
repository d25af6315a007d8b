#pragma once

#include <QProgressBar>

// The bar under the LCD: a progress bar in every respect (range, value, when a new value repaints),
// whose look is copied from pictures of the style's own drawing. The meter moves it among a few dozen
// positions several times a second, and drawing the style's gradients each time costs more than the
// rest of the frame's small widgets together.
class MeterBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit MeterBar(QWidget *parent = nullptr);

    // How many times the style drew the bar, and how many times a kept picture stood in for it.
    int drawnCount() const;
    int copiedCount() const;

private:
    class PictureStyle;
    PictureStyle *m_style = nullptr;
};
