#pragma once

#include "decode/MeterDecoder.h"
#include "decode/ModelProfile.h"
#include "display/FramePresenter.h"
#include "display/SpokenReading.h"

#include <QObject>

#include <memory>
#include <optional>
#include <string>

class AlarmBeeper;
class GaugeView;
class LcdPanel;
class MinMaxPanel;
class QLabel;
class QLineEdit;
class QProgressBar;
class StatusLine;
class TrendChart;
class WindowPrompts;

// The controls that show the meter, with the layout's names.
struct MeterControls
{
    LcdPanel *Panel1 = nullptr;
    QProgressBar *PBar2 = nullptr;
    MinMaxPanel *Panel3 = nullptr; // MIN/MAX and the limits
    GaugeView *KD = nullptr;
    QLabel *oltext = nullptr;
    TrendChart *Chtshow = nullptr;
};

// The meter as the window shows it: the decoder bound for the model, the presentation sequence with
// the limits, and the gauge. Each decoded frame goes to the LCD, the alarm, MIN/MAX, the gauge, then
// to whoever listens to frameReceived (the link indicator, the recorder), the chart and the bar, in
// that order.
class MeterPresentation : public QObject
{
    Q_OBJECT

public:
    MeterPresentation(const MeterControls &ui, StatusLine &status, WindowPrompts &prompts,
                      QObject *parent = nullptr);

    // Binds the decoder for the profile and derives the range, the limits, the chart's axis and the
    // gauge, with its needle at zero.
    void configure(const ModelSelectors &selectors, const ModelProfile &profile);
    // A receive handler's bytes.
    void receive(const char *data, qint32 size);

    // A limit box changed (SetmaxExit, SetMinExit): the limit takes its number, or the box's text is
    // refused with the conversion message and the limit stays.
    void upperLimitEdited();
    void lowerLimitEdited();
    // Draws the gauge's scale for the range, the limits and the frequency mode.
    void KDsetup();

    const RangeConstants &range() const { return m_presenter.range(); }
    bool hzMode() const { return m_decoder ? m_decoder->hzMode() : false; }
    const AlarmLimits &limits() const { return m_limits; }
    const MinMaxTracker &minMax() const { return m_presenter.minMax(); }
    const Reading &reading() const { return m_reading; }
    DecoderFamily family() const { return m_decoder ? m_decoder->family() : DecoderFamily::None; }

signals:
    // Once for every complete frame: decoded, with the reading the window now shows; or not (its
    // digits did not convert), with the last reading shown. Listeners act at once, before the chart
    // and the bar take the frame, so that the bar's paint shows what they changed too.
    void frameReceived(bool decoded, const Reading &reading);

private:
    void present(const FrameOutcome &outcome);
    // The accessible text of the LCD and the gauge.
    void speakReading(const QString &reading);
    // The accessible text of the MIN/MAX readouts.
    void speakExtremes(const std::string &minText, const std::string &maxText, const std::string &unit);
    bool readLimit(QLineEdit *box, float *limit);

    const MeterControls m_ui;
    StatusLine &m_status;
    WindowPrompts &m_prompts;
    AlarmBeeper *m_beeper = nullptr;
    SpokenReading *m_spoken = nullptr;
    std::unique_ptr<MeterDecoder> m_decoder;
    FramePresenter m_presenter;
    AlarmLimits m_limits;
    Reading m_reading;
    struct SpokenExtremes
    {
        std::string minText, maxText, unit;
        QString unitWords;
    };
    std::optional<SpokenExtremes> m_spokenExtremes; // what the MIN/MAX readouts last said
    ReadingWords m_readingWords;                    // what the LCD and the gauge say
};
