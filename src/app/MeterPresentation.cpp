#include "app/MeterPresentation.h"

#include "app/StatusLine.h"
#include "app/WindowPrompts.h"
#include "chart/TrendChart.h"
#include "display/AlarmBeeper.h"
#include "display/GaugeView.h"
#include "display/LcdLabel.h"
#include "display/LcdPanel.h"
#include "display/MinMaxPanel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

namespace {

QString toQString(const std::string &s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

} // namespace

MeterPresentation::MeterPresentation(const MeterControls &ui, StatusLine &status, WindowPrompts &prompts,
                                     QObject *parent)
    : QObject(parent), m_ui(ui), m_status(status), m_prompts(prompts), m_beeper(new AlarmBeeper(this)),
      m_spoken(new SpokenReading(this))
{}

void MeterPresentation::configure(const ModelSelectors &selectors, const ModelProfile &profile)
{
    const bool otherClass = profile.rangeClass == "6" || profile.rangeClass == "34";
    m_presenter = FramePresenter(rangeConstantsFor(otherClass ? profile.rangeClass : "4"));
    m_limits.upper = range().UpperLimit;
    m_limits.lower = range().LowerLimit;
    if (otherClass) {
        // The boxes' new texts must not reload the limits: those stay just outside the range.
        const QSignalBlocker blockMax(m_ui.Panel3->Setmax);
        const QSignalBlocker blockMin(m_ui.Panel3->SetMin);
        m_ui.Panel3->applyRange(range().FullScale);
    }
    m_decoder = std::make_unique<MeterDecoder>(profile.family, DecodeContext{selectors, range()});

    m_ui.Chtshow->setAxisRange(-range().FullScale, range().FullScale);
    KDsetup();
    m_ui.KD->KDrun(range().GaugeZero);
    speakReading(QStringLiteral("no reading"));
    m_readingWords.reset();
    speakExtremes(m_ui.Panel3->MinText->text().toStdString(), m_ui.Panel3->MaxText->text().toStdString(),
                  std::string());
}

void MeterPresentation::receive(const char *data, qint32 size)
{
    if (!m_decoder || size <= 0)
        return;
    m_decoder->receive(reinterpret_cast<const uint8_t *>(data), size_t(size),
                       [this](const FrameOutcome &outcome) { present(outcome); });
}

void MeterPresentation::present(const FrameOutcome &outcome)
{
    if (!outcome.ok) {
        // Frame data never opens a modal box: at several frames a second that would be a flood.
        m_status.show(StatusLine::Owner::Frame, QString::fromLatin1(outcome.error.c_str()));
        // Even a frame whose digits do not convert shows that the meter is talking.
        emit frameReceived(false, m_reading);
        return;
    }
    m_status.clear(StatusLine::Owner::Frame);

    m_limits.maxEnabled = m_ui.Panel3->SetMaxB->isChecked();
    m_limits.minEnabled = m_ui.Panel3->SetMinB->isChecked();
    const Presentation p = m_presenter.present(outcome, m_limits);

    m_ui.Panel1->apply(p.panel);
    m_reading = p.reading;
    if (p.axisMax) {
        KDsetup();
        m_ui.Chtshow->setAxisRange(-*p.axisMax, *p.axisMax);
    }
    if (p.alarm)
        m_beeper->beep();
    m_ui.oltext->setVisible(p.alarm);
    if (p.newTrend) {
        m_ui.Chtshow->ShowSeries(m_ui.Chtshow->BtFill->isChecked() ? 0 : 1);
        m_ui.Chtshow->BtNewClick();
    }
    m_ui.Panel3->showExtremes(toQString(p.minText), toQString(p.maxText), toQString(p.unit));
    m_ui.KD->KDrun(p.gaugeInput);
    // A reading mostly repeats or changes its value only: its words are made only when they change.
    if (m_readingWords.update(p.reading))
        speakReading(m_readingWords.words());
    speakExtremes(p.minText, p.maxText, p.unit);
    emit frameReceived(true, m_reading);
    m_ui.Chtshow->addPoint(p.chartValue);
    // A step the bar can show makes it ask to be painted at once; the window paints it with the
    // rest of the frame.
    m_ui.PBar2->setValue(p.barPosition);
}

void MeterPresentation::speakReading(const QString &reading)
{
    m_spoken->say(m_ui.Panel1, reading, SpokenReading::Children::Hidden);
    m_spoken->say(m_ui.KD, QStringLiteral("Gauge: ") + reading);
}

void MeterPresentation::speakExtremes(const std::string &minText, const std::string &maxText,
                                      const std::string &unit)
{
    // The extremes change seldom and their unit more seldom still: words are made only for what
    // changed (a widget told the words it already says does nothing).
    const std::optional<SpokenExtremes> last = m_spokenExtremes;
    if (last && minText == last->minText && maxText == last->maxText && unit == last->unit)
        return;
    const bool sameUnit = last && unit == last->unit;
    const QString unitWords = sameUnit ? last->unitWords : spokenUnit(unit);
    m_spokenExtremes = SpokenExtremes{minText, maxText, unit, unitWords};
    const auto extreme = [&](const char *caption, const std::string &value) {
        QString text = QLatin1String(caption) + QLatin1Char(' ');
        if (value.empty())
            return text + QStringLiteral("none");
        text += spokenValue(value);
        return unitWords.isEmpty() ? text : text + QLatin1Char(' ') + unitWords;
    };
    if (!sameUnit || minText != last->minText)
        m_spoken->say(m_ui.Panel3->MinText, extreme("MIN", minText));
    if (!sameUnit || maxText != last->maxText)
        m_spoken->say(m_ui.Panel3->MaxText, extreme("MAX", maxText));
    if (!sameUnit) {
        m_spoken->say(m_ui.Panel3->MinTextU, unitWords);
        m_spoken->say(m_ui.Panel3->MaxTextU, unitWords);
    }
}

bool MeterPresentation::readLimit(QLineEdit *box, float *limit)
{
    const LimitText text = parseLimitText(box->text().toStdString());
    if (!text.ok) {
        m_prompts.error(QString::fromStdString(text.error));
        return false;
    }
    *limit = text.value;
    return true;
}

void MeterPresentation::upperLimitEdited()
{
    if (readLimit(m_ui.Panel3->Setmax, &m_limits.upper))
        KDsetup();
}

void MeterPresentation::lowerLimitEdited()
{
    if (readLimit(m_ui.Panel3->SetMin, &m_limits.lower))
        KDsetup();
}

void MeterPresentation::KDsetup()
{
    GaugeInputs in;
    in.HzMode = hzMode();
    in.RangeClass = range().RangeClass;
    in.GaugeSpan = range().GaugeSpan;
    in.GaugeZero = range().GaugeZero;
    in.FullScale = range().FullScale;
    in.UpperLimit = m_limits.upper;
    in.LowerLimit = m_limits.lower;
    in.maxEnabled = m_ui.Panel3->SetMaxB->isChecked();
    in.minEnabled = m_ui.Panel3->SetMinB->isChecked();
    m_ui.KD->setInputs(in);
    m_ui.KD->KDsetup(1);
}
