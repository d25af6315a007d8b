#include "display/MinMaxPanel.h"

#include "decode/ModelProfile.h"
#include "display/LcdLabel.h"
#include "display/LimitKeyFilter.h"
#include "display/Pictures.h"
#include "display/ReadoutLabel.h"

#include <QCheckBox>
#include <QLineEdit>

#include <algorithm>

namespace {

ReadoutLabel *readingLabel(const QString &text, QWidget *parent)
{
    auto *label = new ReadoutLabel(text, parent);
    label->setFont(arialFont(14, false, true));
    return label;
}

// Grows a label to its text; never narrower than its layout width. A reading's extremes come back to
// the same few texts, and measuring one lays it out: the widths are kept by text.
void fitWidth(ReadoutLabel *label, int layoutWidth, QHash<QString, int> &widths)
{
    auto known = widths.find(label->text());
    if (known == widths.end()) {
        if (widths.size() > 1024)
            widths.clear();
        known = widths.insert(label->text(), label->sizeHint().width());
    }
    label->resize(std::max(layoutWidth, *known), label->height());
}

} // namespace

MinMaxPanel::MinMaxPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("Panel3"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colourFromBgr(13747365));
    setPalette(pal);
    resize(283, 56);

    Label11 = new LcdLabel(QStringLiteral("MIN: "), 12, true, this);
    Label11->setObjectName(QStringLiteral("Label11"));
    Label11->setGeometry(8, 9, 33, 14);
    Label12 = new LcdLabel(QStringLiteral("MAX: "), 12, true, this);
    Label12->setObjectName(QStringLiteral("Label12"));
    Label12->setGeometry(8, 29, 37, 14);

    MinText = readingLabel(QString(), this);
    MinText->setObjectName(QStringLiteral("MinText"));
    MinText->setGeometry(48, 9, 32, 16);
    MaxText = readingLabel(QString(), this);
    MaxText->setObjectName(QStringLiteral("MaxText"));
    MaxText->setGeometry(48, 29, 37, 16);

    MinTextU = new LcdLabel(QStringLiteral("*"), 14, false, this);
    MinTextU->setObjectName(QStringLiteral("MinTextU"));
    MinTextU->setGeometry(96, 9, 9, 16);
    MinTextU->setAutoSize(true);
    MaxTextU = new LcdLabel(QStringLiteral("*"), 14, false, this);
    MaxTextU->setObjectName(QStringLiteral("MaxTextU"));
    MaxTextU->setGeometry(96, 29, 9, 16);
    MaxTextU->setAutoSize(true);

    SetMaxB = new QCheckBox(QStringLiteral("SetMax:"), this);
    SetMaxB->setObjectName(QStringLiteral("SetMaxB"));
    SetMaxB->setGeometry(140, 6, 68, 17);
    SetMinB = new QCheckBox(QStringLiteral("SetMin: "), this);
    SetMinB->setObjectName(QStringLiteral("SetMinB"));
    SetMinB->setGeometry(140, 29, 65, 17);

    m_keyFilter = new LimitKeyFilter(this);
    Setmax = new QLineEdit(this);
    Setmax->setObjectName(QStringLiteral("Setmax"));
    Setmax->setGeometry(208, 3, 65, 21);
    Setmax->installEventFilter(m_keyFilter);
    SetMin = new QLineEdit(this);
    SetMin->setObjectName(QStringLiteral("SetMin"));
    SetMin->setGeometry(208, 26, 65, 21);
    SetMin->installEventFilter(m_keyFilter);

    applyRange(kDefaultFullScale);
}

void MinMaxPanel::showExtremes(const QString &minText, const QString &maxText, const QString &unit)
{
    // Most frames change neither extreme: measuring the texts again would be the frame's dearest step.
    if (m_shownValid && minText == m_shownMin && maxText == m_shownMax && unit == m_shownUnit)
        return;
    // A new extreme changes one of the two: the other keeps its text and width.
    if (!m_shownValid || minText != m_shownMin) {
        MinText->setText(minText);
        fitWidth(MinText, 32, m_textWidths);
    }
    if (!m_shownValid || maxText != m_shownMax) {
        MaxText->setText(maxText);
        fitWidth(MaxText, 37, m_textWidths);
    }
    m_shownValid = true;
    m_shownMin = minText;
    m_shownMax = maxText;
    m_shownUnit = unit;
    // The unit follows the longer reading so the two never overlap.
    const int unitLeft =
        std::max(96, std::max(MinText->x() + MinText->width(), MaxText->x() + MaxText->width()) + 4);
    MinTextU->move(unitLeft, MinTextU->y());
    MaxTextU->move(unitLeft, MaxTextU->y());
    MinTextU->setText(unit);
    MaxTextU->setText(unit);
}

void MinMaxPanel::applyRange(int fullScale)
{
    Setmax->setText(QString::number(fullScale));
    SetMin->setText(QString::number(-fullScale));
    m_shownValid = false;
    MinText->setText(QString::number(fullScale + 1));
    MaxText->setText(QString::number(-(fullScale + 1)));
}
