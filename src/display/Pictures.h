#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QSize>

class QLabel;
class QWidget;

// A colour given as a 24-bit value in blue-green-red order (0xFF0000 is blue).
QColor colourFromBgr(unsigned value);

// Arial at a pixel height, or its metric twin Liberation Sans where Arial is not installed.
QFont arialFont(int pixelHeight, bool bold, bool italic);

// The link indicator, 25 x 24: a small computer beside a meter, both screens green while frames
// arrive and black when they do not.
QPixmap linkPicture(bool framesArriving);

// The stretched picture that lies behind the gauge panel and shows at its right and bottom edges: a
// dark brushed-metal bezel.
QPixmap gaugeBackdrop(const QSize &size);

// The hidden "OL !!" alarm panel (black Arial 35 px bold on yellow) at its place in the gauge panel;
// objectName "oltext".
QLabel *makeOverloadPanel(QWidget *gaugePanel);
