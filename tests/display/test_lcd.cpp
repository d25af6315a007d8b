#include "display/CaptionPanel.h"
#include "display/GaugeView.h"
#include "display/LcdFont.h"
#include "display/LcdLabel.h"
#include "display/LcdPanel.h"
#include "display/MinMaxPanel.h"
#include "display/Pictures.h"
#include "display/ReadoutLabel.h"

#include <QAccessible>
#include <QApplication>
#include <QBackingStore>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Pixels darker than the background: the ink a text left.
int inkPixels(const QImage &image, const QRect &area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    return n;
}

QImage renderText(const QString &text, int pixelHeight, QSize size = QSize(60, 120), bool bold = false)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    LcdFont::paint(painter, QRectF(QPointF(0, 0), QSizeF(size)), text, pixelHeight, bold, Qt::black,
                   Qt::AlignLeft | Qt::AlignTop);
    return image;
}

QImage grabImage(QWidget &w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(LcdFont, SegmentDigitsAreDistinctAndTheLIsOnTheLeft)
{
    QVector<QImage> digits;
    for (QChar c : QStringLiteral("0123456789@-")) {
        const QImage img = renderText(QString(c), 100);
        EXPECT_GT(inkPixels(img, img.rect()), 100) << char(c.unicode());
        for (const QImage &other : digits)
            EXPECT_NE(img, other) << char(c.unicode());
        digits << img;
    }
    // The segments of 8 hold every other digit's.
    const QImage eight = renderText(QStringLiteral("8"), 100);
    const QImage one = renderText(QStringLiteral("1"), 100);
    EXPECT_GT(inkPixels(eight, eight.rect()), 2 * inkPixels(one, one.rect()));

    // "@" is the letter L: ink in the left column and along the bottom, none at the top right.
    const QImage l = renderText(QStringLiteral("@"), 100);
    const int top = int(LcdFont::baseline(100) - LcdFont::capHeight(100));
    const int base = int(LcdFont::baseline(100));
    EXPECT_GT(inkPixels(l, QRect(4, top + 10, 6, 20)), 40);
    EXPECT_GT(inkPixels(l, QRect(10, base - 5, 15, 4)), 30);
    EXPECT_EQ(inkPixels(l, QRect(26, top + 10, 10, 20)), 0);
}

TEST(LcdFont, PortDigitsDrawAsOneToFour)
{
    const std::pair<QString, QString> pairs[] = {{QStringLiteral("/"), QStringLiteral("1")},
                                                 {QStringLiteral(","), QStringLiteral("2")},
                                                 {QStringLiteral("<"), QStringLiteral("3")},
                                                 {QStringLiteral(">"), QStringLiteral("4")}};
    for (const auto &[glyph, digit] : pairs)
        EXPECT_EQ(renderText(glyph, 19, QSize(20, 24)), renderText(digit, 19, QSize(20, 24)))
            << glyph.toStdString();
}

TEST(LcdFont, EverySymbolLeavesInkAtEverySizeTheLayoutUses)
{
    const QString symbols = QStringLiteral("+*#?)&\"!$(-");
    for (QChar c : symbols) {
        EXPECT_TRUE(LcdFont::isSymbol(c)) << char(c.unicode());
        for (int h : {12, 14, 19, 24, 29, 32, 35, 100}) {
            const QImage img = renderText(QString(c), h, QSize(h + 4, h + 8));
            EXPECT_GT(inkPixels(img, img.rect()), std::max(2, h / 5)) << char(c.unicode()) << " at " << h;
        }
    }
    for (const char *caption : {"AUTO", "RS", "AC", "DC", "RPM", "T", "RMS", "k", "M", "m", "n", "Hz", "V",
                                "A", "F", "%", "MIN: ", "MAX: ", "COM /"}) {
        const QString text = QString::fromLatin1(caption);
        EXPECT_GT(LcdFont::textWidth(text, 19), 4.0) << caption;
        const QImage img = renderText(text, 19, QSize(90, 24));
        EXPECT_GT(inkPixels(img, img.rect()), 8) << caption;
    }
    EXPECT_FALSE(LcdFont::isSymbol(QLatin1Char('A')));
}

TEST(LcdFont, WideTextIsNarrowedIntoItsBox)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    LcdFont::paint(painter, QRectF(0, 0, 20, 30), QStringLiteral("8888"), 24, false, Qt::black,
                   Qt::AlignLeft);
    painter.end();
    EXPECT_GT(inkPixels(image, QRect(0, 0, 21, 30)), 20);
    EXPECT_EQ(inkPixels(image, QRect(22, 0, 18, 30)), 0);
}

TEST(LcdLabel, PaintsItsTextTransparentlyAndAutoSizes)
{
    QWidget parent;
    parent.resize(120, 60);
    parent.setAutoFillBackground(true);
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, Qt::white);
    parent.setPalette(pal);
    LcdLabel label(QStringLiteral("k*"), 24, false, &parent);
    label.setGeometry(10, 10, 9, 30);
    label.setAutoSize(true);
    label.setText(QStringLiteral("kHz"));
    EXPECT_GT(label.width(), 30) << "grew to its text";
    const QImage image = grabImage(parent);
    EXPECT_GT(inkPixels(image, label.geometry()), 30);
    // Outside the ink the parent's white shows through.
    EXPECT_EQ(image.pixel(label.x() + label.width() - 1, label.y() + 1) & 0xFFFFFF, 0xFFFFFFu);
    label.setText(QString());
    EXPECT_EQ(inkPixels(grabImage(parent), label.geometry()), 0);
}

TEST(LcdLabel, ATextComingBackLooksAndMeasuresAsWhenFirstSet)
{
    // More texts than a label keeps laid out, twice round, and other fonts in between.
    QStringList texts;
    for (int i = 0; i < 20; ++i)
        texts << QString::number(i * 7);
    LcdLabel label(QString(), 24, false);
    label.resize(60, 30);
    for (int round = 0; round < 2; ++round) {
        for (const QString &text : texts) {
            label.setText(text);
            label.setBold(round == 1);
            label.setBold(false);
            LcdLabel fresh(text, 24, false);
            fresh.resize(60, 30);
            EXPECT_EQ(label.sizeHint(), fresh.sizeHint()) << qPrintable(text);
            EXPECT_EQ(grabImage(label), grabImage(fresh)) << qPrintable(text);
        }
    }
}

class LcdPanelTest : public ::testing::Test
{
protected:
    LcdPanel panel;
};

TEST_F(LcdPanelTest, EveryElementIsAChildAtItsPlace)
{
    EXPECT_EQ(panel.objectName(), QStringLiteral("Panel1"));
    EXPECT_EQ(panel.size(), QSize(283, 129));
    EXPECT_EQ(panel.palette().color(QPalette::Window), QColor(0x91, 0xBC, 0xFD));
    for (int i = 0; i < kLcdElementCount; ++i) {
        const auto e = static_cast<LcdElement>(i);
        QWidget *w = panel.element(e);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget(), &panel);
        EXPECT_EQ(w->objectName(), QString::fromLatin1(lcdElementName(e)));
        EXPECT_EQ(panel.findChild<QWidget *>(QString::fromLatin1(lcdElementName(e))), w);
    }
    struct Place
    {
        LcdElement e;
        QRect rect;
        QString caption;
        int pixelHeight;
    };
    const Place places[] = {
        {LcdElement::LcdFH, QRect(5, 20, 26, 112), QStringLiteral("-"), 100},
        {LcdElement::LcdDd, QRect(184, 20, 38, 112), QStringLiteral("9"), 100},
        {LcdElement::LCDHold, QRect(160, -2, 19, 39), QStringLiteral("\""), 35},
        {LcdElement::LCDTRMS, QRect(241, 16, 30, 14), QStringLiteral("RMS"), 12},
        {LcdElement::LCDFm, QRect(248, 31, 25, 36), QStringLiteral("&"), 32},
        {LcdElement::LCDu, QRect(240, 75, 16, 36), QStringLiteral("+"), 32},
        {LcdElement::LcdV, QRect(256, 83, 16, 27), QStringLiteral("V"), 24},
        {LcdElement::LcdP2, QRect(127, 105, 7, 8), QString(), 0},
        {LcdElement::LCD232C, QRect(98, 15, 34, 16), QStringLiteral("232C"), 0},
    };
    for (const Place &p : places) {
        EXPECT_EQ(panel.element(p.e)->geometry(), p.rect) << lcdElementName(p.e);
        EXPECT_EQ(panel.caption(p.e), p.caption) << lcdElementName(p.e);
        if (p.pixelHeight > 0) {
            EXPECT_EQ(panel.label(p.e)->pixelHeight(), p.pixelHeight) << lcdElementName(p.e);
        }
    }
    EXPECT_TRUE(panel.label(LcdElement::LcdAuto)->bold());
    EXPECT_FALSE(panel.label(LcdElement::LCDk)->bold());
    EXPECT_EQ(panel.label(LcdElement::LCD232C), nullptr);
    EXPECT_EQ(qobject_cast<QLabel *>(panel.element(LcdElement::LcdACDC))->text(), QStringLiteral("AC+DC"));
}

TEST_F(LcdPanelTest, StartsWithTheSignAnd3999)
{
    for (int i = 0; i < kLcdElementCount; ++i) {
        const auto e = static_cast<LcdElement>(i);
        const bool shown = e == LcdElement::LcdFH || e == LcdElement::LcdDa || e == LcdElement::LcdDb ||
                           e == LcdElement::LcdDc || e == LcdElement::LcdDd;
        EXPECT_EQ(!panel.element(e)->isHidden(), shown) << lcdElementName(e);
    }
    EXPECT_EQ(panel.caption(LcdElement::LcdDa), QStringLiteral("3"));
    EXPECT_EQ(panel.caption(LcdElement::LcdDd), QStringLiteral("9"));
}

TEST_F(LcdPanelTest, ApplyShowsExactlyTheStateAndItsCaptions)
{
    LcdPanelState state;
    state.setVisible(LcdElement::LcdAuto, true);
    state.setVisible(LcdElement::LcdDa, true);
    state.setVisible(LcdElement::LcdDb, true);
    state.setVisible(LcdElement::LcdDc, true);
    state.setVisible(LcdElement::LcdDd, true);
    state.setVisible(LcdElement::LcdP1, true);
    state.setVisible(LcdElement::LcdV, true);
    state.setVisible(LcdElement::LCDHold, true);
    state.digits = {"0", "0", "@", ""};
    panel.apply(state);
    for (int i = 0; i < kLcdElementCount; ++i) {
        const auto e = static_cast<LcdElement>(i);
        EXPECT_EQ(!panel.element(e)->isHidden(), state.isVisible(e)) << lcdElementName(e);
    }
    EXPECT_EQ(panel.caption(LcdElement::LcdDc), QStringLiteral("@"));
    EXPECT_EQ(panel.caption(LcdElement::LcdDd), QString());

    // The next frame without hold hides it again; the empty digit keeps its place.
    state.setVisible(LcdElement::LCDHold, false);
    panel.apply(state);
    EXPECT_TRUE(panel.element(LcdElement::LCDHold)->isHidden());
    EXPECT_EQ(panel.element(LcdElement::LcdDd)->geometry(), QRect(184, 20, 38, 112));
}

TEST_F(LcdPanelTest, RendersDigitsPointsAndSymbolsOnTheGlass)
{
    LcdPanelState state = LcdPanelState::startState();
    state.setVisible(LcdElement::LcdP2, true);
    state.setVisible(LcdElement::LCDohm, true);
    state.digits = {"1", "2", "3", "4"};
    panel.apply(state);
    const QImage image = grabImage(panel);
    EXPECT_EQ(image.pixel(150, 5) & 0xFFFFFF, 0x91BCFDu) << "glass colour in an empty corner";
    for (LcdElement e : {LcdElement::LcdFH, LcdElement::LcdDa, LcdElement::LcdDb, LcdElement::LcdDc,
                         LcdElement::LcdDd, LcdElement::LCDohm})
        EXPECT_GT(inkPixels(image, panel.element(e)->geometry().intersected(panel.rect())), 30)
            << lcdElementName(e);
    EXPECT_EQ(qGray(image.pixel(130, 109)), 0) << "point after digit 2";
    EXPECT_GT(qGray(image.pixel(80, 109)), 128) << "point after digit 1 is off";

    // Hidden elements leave only faint ghosts, no ink.
    panel.apply(LcdPanelState());
    EXPECT_EQ(inkPixels(grabImage(panel), panel.rect().adjusted(2, 2, -2, -2)), 0);
}

TEST_F(LcdPanelTest, AFrameRepaintsOnlyTheDigitsThatChanged)
{
    // Where the panel and its elements are asked to paint, in the panel's coordinates.
    struct PaintRecorder : QObject
    {
        LcdPanel *panel = nullptr;
        QRegion painted;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            auto *w = qobject_cast<QWidget *>(watched);
            if (event->type() == QEvent::Paint && w && (w == panel || w->parentWidget() == panel))
                painted += static_cast<QPaintEvent *>(event)->region().translated(w->mapTo(panel, QPoint()));
            return false;
        }
    } recorder;
    recorder.panel = &panel;
    LcdPanelState state = LcdPanelState::startState();
    state.setVisible(LcdElement::LcdV, true);
    state.digits = {"1", "2", "3", "4"};
    panel.apply(state);
    panel.show();
    QCoreApplication::processEvents();
    qApp->installEventFilter(&recorder);

    panel.apply(state);
    QCoreApplication::processEvents();
    EXPECT_TRUE(recorder.painted.isEmpty()) << "the same frame again";

    state.digits[2] = "8";
    panel.apply(state);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&recorder);
    EXPECT_FALSE(recorder.painted.isEmpty());
    EXPECT_TRUE(panel.element(LcdElement::LcdDc)->geometry().contains(recorder.painted.boundingRect()))
        << "one new digit";
    // The digit's box reaches up behind the symbol above it; its glyph does not.
    EXPECT_FALSE(recorder.painted.intersects(panel.element(LcdElement::LCDBF)->geometry()));
}

TEST(LcdPanel, FramesPaintTheDigitsAloneAndShowWhatAFreshPaintShows)
{
    // Digits, the sign and an annunciator over a digit's box change; after each frame the window
    // shows what painting the panel afresh shows, and the panel itself paints only where a hidden
    // element uncovers it or a shown one sticks out of the digits' boxes.
    struct Step
    {
        std::array<std::string, 4> digits;
        bool minus;
        bool hold; // partly over digit 3's box
        bool panelPainted;
    };
    const Step steps[] = {
        {{"1", "2", "3", "4"}, false, false, false}, {{"1", "2", "3", "5"}, false, false, false},
        {{"9", "0", "3", "5"}, true, false, false},  {{"9", "0", "3", "5"}, true, true, true},
        {{"9", "0", "8", "5"}, true, true, false},   {{"", "L", "0", ""}, false, false, true},
    };
    QWidget window;
    window.resize(300, 140);
    auto *panel = new LcdPanel(&window);
    panel->move(5, 5);
    struct PanelPaints : QObject
    {
        int count = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            count += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } paints;
    LcdPanelState state = LcdPanelState::startState();
    const auto show = [&](const Step &step) {
        state.digits = step.digits;
        state.setVisible(LcdElement::LcdFH, step.minus);
        state.setVisible(LcdElement::LCDHold, step.hold);
        panel->apply(state);
        QTest::qWait(30);
    };
    bool ghosts = true;
    // The panel in the same state painted by one that never painted before.
    const auto fresh = [&] {
        LcdPanel other;
        other.setGhostSegments(ghosts);
        other.setPalette(panel->palette());
        other.resize(panel->size());
        other.apply(state);
        return grabImage(other);
    };
    const auto shown = [&] {
        const auto *store = static_cast<const QImage *>(window.backingStore()->paintDevice());
        return store->copy(panel->geometry()).convertToFormat(QImage::Format_RGB32);
    };
    show(steps[0]);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(30);
    panel->installEventFilter(&paints);
    for (const Step &step : steps) {
        const std::string digits = step.digits[0] + step.digits[1] + step.digits[2] + step.digits[3];
        SCOPED_TRACE(digits + (step.minus ? " minus" : "") + (step.hold ? " hold" : ""));
        paints.count = 0;
        show(step);
        EXPECT_EQ(paints.count > 0, step.panelPainted);
        EXPECT_EQ(shown(), fresh());
    }
    // The glass itself changes: the digits' kept pictures must not outlive it.
    const std::function<void()> glassChanges[] = {
        [&] {
            ghosts = false;
            panel->setGhostSegments(false);
        },
        [&] {
            QPalette pal = panel->palette();
            pal.setColor(QPalette::Window, Qt::yellow);
            panel->setPalette(pal);
        },
        [&] { panel->resize(283, 120); },
    };
    for (const auto &change : glassChanges) {
        change();
        show(steps[1]);
        EXPECT_EQ(shown(), fresh());
        show(steps[0]);
    }
}

TEST(ReadoutLabel, PaintsMeasuresAndReadsAsALabel)
{
    QWidget parent;
    parent.resize(120, 30);
    parent.setAutoFillBackground(true);
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, colourFromBgr(13747365));
    parent.setPalette(pal);
    ReadoutLabel readout(QString(), &parent);
    QLabel label(&parent);
    for (QWidget *w : {static_cast<QWidget *>(&readout), static_cast<QWidget *>(&label)}) {
        w->setFont(arialFont(14, false, true));
        w->setGeometry(4, 6, 70, 18);
    }
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    for (const char *text : {"4001", "-4001", "-3.999", "0.L", "-.0L", "11.11", "", "1234567"}) {
        readout.setText(QLatin1String(text));
        label.setText(QLatin1String(text));
        EXPECT_EQ(readout.sizeHint().width(), label.sizeHint().width()) << text;
        label.hide();
        const QImage painted = grabImage(parent);
        label.show();
        readout.hide();
        EXPECT_EQ(painted, grabImage(parent)) << text;
        readout.show();
        EXPECT_EQ(QAccessible::queryAccessibleInterface(&readout)->text(QAccessible::Name),
                  QLatin1String(text));
    }
}

TEST(MinMaxPanel, LayoutTextsAndExtremes)
{
    MinMaxPanel panel;
    EXPECT_EQ(panel.objectName(), QStringLiteral("Panel3"));
    EXPECT_EQ(panel.size(), QSize(283, 56));
    EXPECT_EQ(panel.palette().color(QPalette::Window), QColor(0xA5, 0xC4, 0xD1));
    EXPECT_EQ(panel.Label11->text(), QStringLiteral("MIN: "));
    EXPECT_EQ(panel.Label12->geometry(), QRect(8, 29, 37, 14));
    EXPECT_EQ(panel.MinText->text(), QStringLiteral("4001"));
    EXPECT_EQ(panel.MaxText->text(), QStringLiteral("-4001"));
    EXPECT_TRUE(panel.MinText->font().italic());
    EXPECT_EQ(panel.MinText->font().pixelSize(), 14);
    EXPECT_EQ(panel.MaxTextU->text(), QStringLiteral("*"));
    EXPECT_EQ(panel.SetMaxB->text(), QStringLiteral("SetMax:"));
    EXPECT_EQ(panel.SetMinB->text(), QStringLiteral("SetMin: "));
    EXPECT_FALSE(panel.SetMaxB->isChecked());
    EXPECT_EQ(panel.Setmax->text(), QStringLiteral("4000"));
    EXPECT_EQ(panel.SetMin->geometry(), QRect(208, 26, 65, 21));
    EXPECT_EQ(panel.findChild<QLineEdit *>(QStringLiteral("Setmax")), panel.Setmax);

    panel.applyRange(6000);
    EXPECT_EQ(panel.Setmax->text(), QStringLiteral("6000"));
    EXPECT_EQ(panel.SetMin->text(), QStringLiteral("-6000"));
    EXPECT_EQ(panel.MinText->text(), QStringLiteral("6001"));
    EXPECT_EQ(panel.MaxText->text(), QStringLiteral("-6001"));

    panel.showExtremes(QStringLiteral("-3.999"), QStringLiteral("39.99"), QStringLiteral("mV"));
    EXPECT_EQ(panel.MinText->text(), QStringLiteral("-3.999"));
    EXPECT_EQ(panel.MaxTextU->text(), QStringLiteral("mV"));
    EXPECT_GE(panel.MinText->width(), panel.MinText->sizeHint().width());
    EXPECT_GE(panel.MinTextU->x(), panel.MinText->x() + panel.MinText->width());
    EXPECT_GT(panel.MaxTextU->width(), 9) << "unit label grew to its text";
}

TEST(LimitKeyFilter, TypedKeysAreFilteredPastedTextIsNot)
{
    MinMaxPanel panel;
    panel.show();
    panel.Setmax->clear();
    QTest::keyClicks(panel.Setmax, QStringLiteral("12a-+b.3 "));
    EXPECT_EQ(panel.Setmax->text(), QStringLiteral("12-+3"));
    QTest::keyClick(panel.Setmax, Qt::Key_Backspace);
    EXPECT_EQ(panel.Setmax->text(), QStringLiteral("12-+"));
    panel.SetMin->clear();
    QTest::keyClicks(panel.SetMin, QStringLiteral("x-7"));
    EXPECT_EQ(panel.SetMin->text(), QStringLiteral("-7"));
    panel.SetMin->insert(QStringLiteral("ab"));
    EXPECT_EQ(panel.SetMin->text(), QStringLiteral("-7ab"));
    // Shortcuts pass the filter, so pasting with Ctrl+V is not filtered either.
    QGuiApplication::clipboard()->setText(QStringLiteral("x9"));
    QTest::keyClick(panel.SetMin, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(panel.SetMin->text(), QStringLiteral("-7abx9"));
}

TEST(LimitKeyFilter, EveryWayOfTypingIsFilteredOnlyShortcutsPass)
{
    MinMaxPanel panel;
    panel.show();
    const struct
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char *text;
        const char *after; // the box held "4000"
    } keys[] = {
        {Qt::Key_unknown, Qt::ControlModifier | Qt::AltModifier, "@", "4000"}, // AltGr+Q on a German keyboard
        {Qt::Key_unknown, Qt::MetaModifier, "x", "4000"},
        {Qt::Key_unknown, Qt::AltModifier, "e", "4000"},
        {Qt::Key_Plus, Qt::ShiftModifier, "+", "4000+"},
        {Qt::Key_7, Qt::KeypadModifier, "7", "40007"},
        {Qt::Key_unknown, Qt::NoModifier, "12a", "4000"}, // a key that types several characters at once
        // A digit typed with a command modifier held is a slip, never text.
        {Qt::Key_5, Qt::MetaModifier, "5", "4000"}, // Super (left or right) arrives as Meta
        {Qt::Key_6, Qt::MetaModifier | Qt::ShiftModifier, "6", "4000"},
        {Qt::Key_7, Qt::ControlModifier, "7", "4000"},
        {Qt::Key_7, Qt::ControlModifier | Qt::KeypadModifier, "7", "4000"},
        {Qt::Key_8, Qt::AltModifier, "8", "4000"},
        {Qt::Key_Minus, Qt::AltModifier | Qt::KeypadModifier, "-", "4000"},
        {Qt::Key_5, Qt::ControlModifier | Qt::AltModifier, "5", "4000"},
        {Qt::Key_9, Qt::GroupSwitchModifier, "9", "40009"}, // AltGr as a level of its own
    };
    for (QLineEdit *box : {panel.Setmax, panel.SetMin}) {
        for (const auto &k : keys) {
            SCOPED_TRACE(std::string(k.text) + " with " + std::to_string(k.modifiers.toInt()));
            box->setText(QStringLiteral("4000"));
            QKeyEvent press(QEvent::KeyPress, k.key, k.modifiers, QLatin1String(k.text));
            QApplication::sendEvent(box, &press);
            EXPECT_EQ(box->text(), QLatin1String(k.after));
        }
    }

    // An input method's commit keeps only what the box accepts.
    panel.Setmax->setText(QStringLiteral("40"));
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("1x2\u00e9"));
    QApplication::sendEvent(panel.Setmax, &commit);
    EXPECT_EQ(panel.Setmax->text(), QStringLiteral("4012"));

    // Select all (Ctrl+A) is a shortcut and passes.
    QTest::keyClick(panel.Setmax, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(panel.Setmax->selectedText(), QStringLiteral("4012"));
}

TEST(LimitKeyFilter, DeleteKeyStillDeletes)
{
    // The desktop delivers Delete with the DEL control character as its text; it is an editing key,
    // not a typed character, so the box must still see it.
    MinMaxPanel panel;
    panel.show();
    panel.Setmax->setText(QStringLiteral("4000"));
    panel.Setmax->setCursorPosition(0);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QApplication::sendEvent(panel.Setmax, &press);
    EXPECT_EQ(panel.Setmax->text(), QStringLiteral("000"));
}

TEST(Pictures, LinkPicturesDifferOnlyInTheirScreens)
{
    const QImage on = linkPicture(true).toImage();
    const QImage off = linkPicture(false).toImage();
    EXPECT_EQ(on.size(), QSize(25, 24));
    EXPECT_EQ(off.size(), QSize(25, 24));
    int greens = 0;
    int differing = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 25; ++x) {
            const QColor c = on.pixelColor(x, y);
            greens += (c.green() > 180 && c.red() < 100) ? 1 : 0;
            if (on.pixel(x, y) != off.pixel(x, y)) {
                ++differing;
                EXPECT_LT(qGray(off.pixel(x, y)), 30) << x << "," << y << " dark when no frames arrive";
            }
        }
    }
    EXPECT_GT(greens, 60);
    EXPECT_EQ(differing, greens);
    EXPECT_EQ(gaugeBackdrop(QSize(316, 132)).size(), QSize(316, 132));
    EXPECT_EQ(colourFromBgr(16744448), QColor(0, 128, 255));
}

TEST(CaptionPanel, ClicksOnlyWhileEnabled)
{
    CaptionPanel port(QStringLiteral("COM /"), CaptionPanel::Face::Lcd, 19, QFrame::Sunken);
    port.resize(84, 26);
    port.show();
    QSignalSpy spy(&port, &CaptionPanel::clicked);
    QTest::mouseClick(&port, Qt::LeftButton);
    EXPECT_EQ(spy.count(), 1);
    port.setEnabled(false);
    QTest::mouseClick(&port, Qt::LeftButton);
    EXPECT_EQ(spy.count(), 1);
    const QImage image = grabImage(port);
    int yellowish = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            yellowish += QColor(image.pixel(x, y)).blue() < 150 ? 1 : 0;
    EXPECT_GT(yellowish, 20) << "caption drawn over the blue";
}

TEST(Screens, SavedWhenAsked)
{
    const QString dir = qEnvironmentVariable("METERLINK_SCREENSHOTS");
    if (dir.isEmpty())
        GTEST_SKIP() << "set METERLINK_SCREENSHOTS to a folder to save the pictures";
    auto save = [&dir](QWidget &w, const char *name) {
        const QPixmap pixmap = w.grab();
        pixmap.save(QDir(dir).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
        pixmap.scaled(pixmap.size() * 3)
            .save(QDir(dir).filePath(QString::fromLatin1(name) + QStringLiteral("-x3.png")));
    };
    LcdPanel lcd;
    LcdPanelState state = LcdPanelState::startState();
    for (LcdElement e : {LcdElement::LcdAuto, LcdElement::LcdAC, LcdElement::LcdP1, LcdElement::LCDHold,
                         LcdElement::LCDBATT, LcdElement::LCDRec, LcdElement::LCDk, LcdElement::LCDohm,
                         LcdElement::LCDTRMST, LcdElement::LCDTRMS, LcdElement::LCDBF})
        state.setVisible(e, true);
    state.digits = {"3", "9", "9", "9"};
    lcd.apply(state);
    save(lcd, "display-lcd");

    LcdPanel symbols;
    LcdPanelState all;
    all.visible.set();
    all.digits = {"8", "8", "@", "0"};
    symbols.apply(all);
    save(symbols, "display-lcd-all");

    MinMaxPanel minMax;
    minMax.showExtremes(QStringLiteral("-1.234"), QStringLiteral("3.999"), QStringLiteral("k*"));
    save(minMax, "display-minmax");

    // The gauge as the window lays it out: the backdrop KD2 behind, offset by (4, 8).
    QWidget area;
    area.resize(326, 148);
    auto *backdrop = new QLabel(&area);
    backdrop->setGeometry(4, 8, 316, 132);
    backdrop->setScaledContents(true);
    backdrop->setPixmap(gaugeBackdrop(QSize(316, 132)));
    auto *gauge = new GaugeView(&area);
    gauge->move(0, 0);
    GaugeInputs in;
    in.UpperLimit = 2000.0f;
    in.maxEnabled = true;
    gauge->setInputs(in);
    gauge->KDsetup(1);
    gauge->KDrun(520);
    auto *link = new QLabel(gauge);
    link->setPixmap(linkPicture(true));
    link->setGeometry(5, 5, 25, 24);
    save(area, "display-gauge");
    makeOverloadPanel(gauge)->show();
    save(area, "display-gauge-alarm");

    GaugeView hz;
    GaugeInputs hzIn;
    hzIn.HzMode = true;
    hz.setInputs(hzIn);
    hz.KDsetup(1);
    hz.KDrun(300);
    save(hz, "display-gauge-hz");

    LcdLabel sheet(QStringLiteral("+*#?)&\"!$( 0123456789-@ AUTO kHz mV"), 48, false);
    sheet.setAutoSize(true);
    sheet.resize(sheet.sizeHint().width(), 56);
    sheet.setAutoFillBackground(true);
    save(sheet, "display-glyphs");

    QWidget buttons;
    buttons.resize(4 * 88 + 3 * 110, 30);
    int x = 2;
    for (const char *caption : {"COM /", "COM ,", "COM <", "COM >"}) {
        auto *port = new CaptionPanel(QString::fromLatin1(caption), CaptionPanel::Face::Lcd, 19,
                                      QFrame::Sunken, &buttons);
        port->setGeometry(x, 2, 84, 26);
        x += 88;
    }
    for (const char *caption : {"Connect", "Disconnect", "Exit"}) {
        auto *button = new CaptionPanel(QString::fromLatin1(caption), CaptionPanel::Face::Arial,
                                        caption[0] == 'D' ? 16 : 19, QFrame::Raised, &buttons);
        button->setGeometry(x, 2, 105, 26);
        x += 110;
    }
    save(buttons, "display-port");
}

TEST_F(LcdPanelTest, EachFrameShowsExactlyItsElementsWhateverCameBefore)
{
    using E = LcdElement;
    const struct
    {
        std::vector<LcdElement> shown;
        std::array<std::string, 4> digits;
    } frames[] = {
        {{E::LcdDa, E::LcdDb, E::LcdDc, E::LcdDd, E::LcdAuto, E::LcdDc1, E::LcdV}, {"1", "2", "3", "4"}},
        {{E::LcdDa, E::LcdDb, E::LcdDc, E::LcdDd, E::LcdAuto, E::LcdDc1, E::LcdV}, {"1", "2", "3", "5"}},
        {{E::LcdFH, E::LcdDa, E::LcdDb, E::LcdP2, E::LcdAC, E::LCDk, E::LCDohm}, {"0", "@", "", ""}},
        {{}, {"", "", "", ""}},
        {{E::LcdDa, E::LcdDb, E::LcdDc, E::LcdDd, E::LcdAuto, E::LcdDc1, E::LcdV}, {"1", "2", "3", "4"}},
        {{E::LCDHz, E::LcdDa, E::LcdP3, E::LcdAuto}, {"9", "9", "9", "9"}},
    };
    for (size_t f = 0; f < std::size(frames); ++f) {
        LcdPanelState state;
        for (LcdElement e : frames[f].shown)
            state.setVisible(e, true);
        state.digits = frames[f].digits;
        panel.apply(state);
        for (int i = 0; i < kLcdElementCount; ++i) {
            const auto e = static_cast<LcdElement>(i);
            EXPECT_EQ(!panel.element(e)->isHidden(), state.isVisible(e))
                << "frame " << f << " " << lcdElementName(e);
        }
        for (size_t d = 0; d < 4; ++d)
            EXPECT_EQ(panel.caption(std::array{E::LcdDa, E::LcdDb, E::LcdDc, E::LcdDd}[d]),
                      QString::fromStdString(frames[f].digits[d]))
                << "frame " << f << " digit " << d;
    }
}
