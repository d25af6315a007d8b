#include "display/GroundPictures.h"
#include "display/RegionBlit.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

// A ground with a gradient and a translucent stripe, so that blending shows in every pixel.
QImage ground(QImage::Format format, int shade)
{
    QImage image(64, 48, format);
    image.fill(QColor(shade, 200, 255 - shade));
    QPainter painter(&image);
    painter.fillRect(10, 0, 12, 48, QColor(0, 0, 0, 90));
    return image;
}

struct Drawing
{
    const char *name;
    QColor colour;
    bool smooth;
};

void draw(QPainter &painter, const Drawing &d)
{
    painter.setRenderHint(QPainter::Antialiasing, d.smooth);
    painter.setPen(Qt::NoPen);
    painter.setBrush(d.colour);
    painter.drawEllipse(QRectF(8.3, 6.7, 30.5, 25.2));
    painter.drawEllipse(QRectF(20.1, 12.4, 20.0, 20.0)); // overlapping: blended twice
}

// What drawing straight onto the image gives.
QImage drawn(QImage image, const Drawing &d)
{
    QPainter painter(&image);
    draw(painter, d);
    return image;
}

const QRect kArea(4, 4, 44, 32);

} // namespace

TEST(GroundPictures, CopiesGiveWhatDrawingGivesOnEveryGroundAndFormat)
{
    const Drawing drawings[] = {
        {"black smooth", Qt::black, true},
        {"translucent smooth", QColor(20, 90, 200, 120), true},
        {"red sharp", Qt::red, false},
    };
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        // Every look on two grounds in turn, all kept together: each is drawn once per ground and
        // copied afterwards, never in place of another.
        GroundPictures pictures(8);
        for (int round = 0; round < 3; ++round) {
            for (const Drawing &d : drawings) {
                for (int shade : {40, 160}) {
                    QImage image = ground(format, shade);
                    {
                        QPainter painter(&image);
                        pictures.paint(painter, kArea, QByteArray(d.name), [&] { draw(painter, d); });
                    }
                    ASSERT_EQ(image, drawn(ground(format, shade), d))
                        << d.name << " format " << format << " round " << round << " shade " << shade;
                }
            }
        }
        EXPECT_EQ(pictures.drawnCount(), 6);
        EXPECT_EQ(pictures.copiedCount(), 12);
    }
}

TEST(GroundPictures, AClippedPaintLeavesThePixelsOutsideTheClipAlone)
{
    GroundPictures pictures(8);
    const Drawing d{"black", Qt::black, true};
    const QRegion clip = QRegion(0, 0, 30, 48) + QRegion(40, 20, 24, 10);
    // Drawn unclipped first, so the clipped paints that follow are copies.
    for (bool clipped : {false, true, true}) {
        QImage image = ground(QImage::Format_ARGB32_Premultiplied, 70);
        QImage expected = image.copy(); // each with its own paint engine
        if (clipped) {
            image.paintEngine()->setSystemClip(clip);
            expected.paintEngine()->setSystemClip(clip);
        }
        {
            QPainter painter(&image);
            pictures.paint(painter, kArea, QByteArray(d.name), [&] { draw(painter, d); });
        }
        {
            QPainter painter(&expected);
            draw(painter, d);
        }
        EXPECT_EQ(image, expected) << "clipped " << clipped;
    }
    EXPECT_EQ(pictures.drawnCount(), 1);
}

TEST(RegionBlit, CopiesRowsOnlyWhereDrawingWouldNotBlend)
{
    QImage translucent(40, 30, QImage::Format_ARGB32_Premultiplied);
    translucent.fill(QColor(255, 0, 0, 100));
    const QImage opaque = ground(QImage::Format_RGB32, 120).copy(0, 0, 40, 30);
    const QRegion region = QRegion(2, 3, 10, 20) + QRegion(20, 5, 30, 8);
    const struct
    {
        const char *name;
        const QImage &picture;
        QImage::Format target;
    } rows[] = {
        {"opaque on opaque", opaque, QImage::Format_RGB32},
        {"opaque on alpha", opaque, QImage::Format_ARGB32_Premultiplied},
        {"translucent on alpha", translucent, QImage::Format_ARGB32_Premultiplied},
    };
    for (const auto &row : rows) {
        QImage blitted = ground(row.target, 30);
        QImage expected = blitted;
        {
            QPainter painter(&blitted);
            blitRegion(painter, region, row.picture, QPoint(5, 4));
        }
        {
            QPainter painter(&expected);
            painter.setClipRegion(region);
            painter.drawImage(QPoint(5, 4), row.picture);
        }
        EXPECT_EQ(blitted, expected) << row.name;
    }
}
