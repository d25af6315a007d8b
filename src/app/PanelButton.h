#pragma once

#include <QFrame>
#include <QString>

// A bevelled panel that acts as a button: the port panels, "Connect", "Disconnect" and "Exit".
// The port panels draw their caption in the LCD symbol font; the others in a plain font.
class PanelButton : public QFrame
{
    Q_OBJECT

public:
    enum class Bevel
    {
        Raised,
        Lowered
    };

    PanelButton(const QString &objectName, const QString &caption, QWidget *parent);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    void setBevel(Bevel bevel);
    // Caption in the LCD symbol font at this pixel height (0: use the widget's font).
    void setLcdPixelHeight(int pixelHeight);
    void setColors(const QColor &background, const QColor &text);

    // Simulates a user's click (tests, keyboard activation).
    void click();

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_caption;
    Bevel m_bevel = Bevel::Raised;
    int m_lcdPixelHeight = 0;
    QColor m_background;
    QColor m_text;
    bool m_pressed = false;
};
