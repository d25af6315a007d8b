#include "display/Pictures.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

QColor colourFromBgr(unsigned value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

QFont arialFont(int pixelHeight, bool bold, bool italic)
{
    QFont font;
    font.setFamilies(
        {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

QPixmap linkPicture(bool framesArriving)
{
    QPixmap pixmap(25, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const QColor screen = framesArriving ? QColor(40, 220, 60) : QColor(10, 10, 10);
    const QColor casing(200, 200, 196);
    const QColor outline(60, 60, 64);

    // The computer: monitor on a foot, keyboard below.
    p.setPen(outline);
    p.setBrush(casing);
    p.drawRect(0, 2, 14, 11);
    p.fillRect(2, 4, 11, 8, screen);
    p.fillRect(6, 14, 3, 2, outline);
    p.drawRect(2, 16, 11, 3);
    p.setPen(QColor(120, 120, 120));
    p.drawLine(4, 18, 11, 18);

    // The meter: a yellow handheld with a display window and a dial.
    p.setPen(outline);
    p.setBrush(QColor(250, 200, 40));
    p.drawRoundedRect(QRectF(16.5, 4.5, 8, 19), 1.5, 1.5);
    p.fillRect(18, 6, 6, 5, screen);
    p.setBrush(QColor(70, 70, 70));
    p.drawEllipse(QRectF(18.5, 13.5, 4, 4));
    p.fillRect(18, 20, 2, 2, Qt::red);
    p.fillRect(22, 20, 2, 2, Qt::black);

    // The cable between them.
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.drawLine(14, 8, 16, 8);
    return pixmap;
}

QPixmap gaugeBackdrop(const QSize &size)
{
    QPixmap pixmap(size.expandedTo(QSize(1, 1)));
    QPainter p(&pixmap);
    QLinearGradient metal(0, 0, 0, pixmap.height());
    metal.setColorAt(0.0, QColor(150, 156, 164));
    metal.setColorAt(0.45, QColor(96, 102, 110));
    metal.setColorAt(1.0, QColor(40, 44, 50));
    p.fillRect(pixmap.rect(), metal);
    // Brushing: faint horizontal streaks, the same on every run.
    QRandomGenerator streaks(20260);
    for (int y = 0; y < pixmap.height(); ++y) {
        const int shade = int(streaks.bounded(24)) - 12;
        p.setPen(shade >= 0 ? QColor(255, 255, 255, shade) : QColor(0, 0, 0, -shade));
        p.drawLine(0, y, pixmap.width(), y);
    }
    p.setPen(QColor(30, 32, 36));
    p.setBrush(Qt::NoBrush);
    p.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    p.setPen(QColor(200, 204, 210, 120));
    p.drawLine(1, 1, pixmap.width() - 2, 1);
    return pixmap;
}

QLabel *makeOverloadPanel(QWidget *gaugePanel)
{
    auto *panel = new QLabel(QStringLiteral("OL !!"), gaugePanel);
    panel->setObjectName(QStringLiteral("oltext"));
    panel->setGeometry(109, 72, 113, 49);
    panel->setAlignment(Qt::AlignCenter);
    panel->setFont(arialFont(35, true, false));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, Qt::yellow);
    pal.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(pal);
    panel->hide();
    return panel;
}
