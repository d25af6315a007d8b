#pragma once

#include <QString>
#include <QWidget>

// One line of text at the top left, painted and measured as a QLabel with the same font, palette and
// alignment paints and measures it, on its own ground (the palette's window colour). A label is made
// for texts that change every few frames: being opaque, the panel under it is not painted again for
// each new text; and a new text asks for no layout, no size hint and no accessibility event.
class ReadoutLabel : public QWidget
{
    Q_OBJECT

public:
    explicit ReadoutLabel(const QString &text = QString(), QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);

    // What a QLabel of this font asks for the text: measured on each call.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
};
