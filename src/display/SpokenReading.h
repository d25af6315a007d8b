#pragma once

#include "decode/LcdState.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QWidget;

// A reading in words a screen reader can say: "3.300 kilohm DC AUTO", "overload megohm AC".
// The unit's symbols ("*" ohm, "#" degrees Celsius ...) and prefixes are spelled out; a manual range
// says nothing of its range.
QString spokenReading(const Reading &reading);
// "k*" -> "kilohm"; an empty unit gives an empty text.
QString spokenUnit(const std::string &unit);
// "-3.999" stays as it is; the overload display ("0.L", "-.0L") is "overload".
QString spokenValue(const std::string &value);

// The words of a stream of readings (spokenReading's). The unit's and the mode's words change with
// the function only: they are worked out again only then, and a repeated reading costs a comparison.
class ReadingWords
{
public:
    // Takes the next reading; true when its words differ from the last reading's.
    bool update(const Reading &reading);
    const QString &words() const { return m_words; }
    // The next reading's words count as new whatever they are.
    void reset() { m_valid = false; }

private:
    bool m_valid = false;
    std::string m_value, m_unit, m_dcac, m_autoText;
    QString m_after; // the words after the value, each with a space before it
    QString m_words;
};

// The accessible text of the widgets that show a reading (the LCD, the gauge, the MIN/MAX readouts):
// a screen reader that asks always gets the current frame's, while the change is announced no more
// than once a second, as a meter sends several frames a second.
class SpokenReading : public QObject
{
    Q_OBJECT

public:
    static constexpr int kAnnounceIntervalMs = 1000;

    enum class Children
    {
        Kept,   // the widget's children stay in the accessible tree (controls, alarms)
        Hidden, // drawn parts that would be read one by one (the LCD's digits and annunciators)
    };

    explicit SpokenReading(QObject *parent = nullptr);

    // Sets what `widget` says from now on.
    void say(QWidget *widget, const QString &text, Children children = Children::Kept);
    static QString said(const QWidget *widget);
    // Whether the widget was given words to say.
    static bool speaks(const QWidget *widget);

signals:
    // Screen readers were told that the widget's text changed.
    void announced(QWidget *widget);

private:
    void announce();

    QTimer m_gate;
    QList<QPointer<QWidget>> m_pending;
};
