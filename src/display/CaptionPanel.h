#pragma once

#include <QFrame>
#include <QString>

// A clickable blue panel with a bold italic yellow caption: the port panels ("COM /" in the LCD
// symbol font, height 19, lowered bevel) and the Connect, Disconnect and Exit buttons (Arial,
// raised bevel). Emits clicked when the mouse is released over it while it is enabled, or on Space
// or Enter while it has the focus, which it shows by a dotted frame; a disabled panel shows its
// caption dimmed.
class CaptionPanel : public QFrame
{
    Q_OBJECT

public:
    enum class Face
    {
        Lcd,
        Arial
    };

    CaptionPanel(const QString &caption, Face face, int pixelHeight, QFrame::Shadow bevel,
                 QWidget *parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    // A click from the keyboard or a test: emits clicked while enabled.
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
    Face m_face = Face::Arial;
    int m_pixelHeight = 19;
    bool m_pressed = false;
};
