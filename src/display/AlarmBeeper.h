#pragma once

#include <QObject>
#include <QString>

class QSoundEffect;

// The limit alarm's beep, one per alarming frame. The desktop bell alone is often silent on Linux,
// so a short generated tone is played through the sound server as well. Never blocks: the tone is
// prepared once and played asynchronously; a later beep restarts it. Without a display or a sound
// device only the count goes up.
class AlarmBeeper : public QObject
{
    Q_OBJECT

public:
    explicit AlarmBeeper(QObject *parent = nullptr);
    ~AlarmBeeper() override;

    void beep();

    // Beeps asked for since creation.
    int beepCount() const { return m_beepCount; }
    // Whether the tone is played besides the desktop bell (false on headless platforms, when the
    // environment variable METERLINK_NO_SOUND is set, or in a build without sound support).
    bool toneEnabled() const { return m_toneEnabled; }

private:
    void prepareTone();

    QString m_tonePath; // the generated tone, removed once loaded or at the latest with the beeper
    int m_beepCount = 0;
    bool m_toneEnabled = false;
    QSoundEffect *m_effect = nullptr;
};
