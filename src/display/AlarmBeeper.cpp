#include "display/AlarmBeeper.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QtEndian>

#include <cmath>

#ifdef METERLINK_HAVE_SOUND
#include <QSoundEffect>
#include <QUrl>
#endif

namespace {

// A 0.15 s, 1.8 kHz tone with soft edges as 16-bit mono PCM in a WAV container.
QByteArray alarmToneWav()
{
    const int rate = 22050;
    const int samples = rate * 15 / 100;
    const double frequency = 1800.0;
    const int fade = rate / 200; // 5 ms
    QByteArray pcm(samples * 2, '\0');
    for (int i = 0; i < samples; ++i) {
        double envelope = 1.0;
        if (i < fade)
            envelope = double(i) / fade;
        else if (i > samples - fade)
            envelope = double(samples - i) / fade;
        const double s = 0.5 * envelope * std::sin(2.0 * M_PI * frequency * i / rate);
        qToLittleEndian<qint16>(qint16(std::lround(s * 32767.0)), pcm.data() + 2 * i);
    }
    QByteArray wav;
    auto put32 = [&wav](quint32 v) {
        char b[4];
        qToLittleEndian<quint32>(v, b);
        wav.append(b, 4);
    };
    auto put16 = [&wav](quint16 v) {
        char b[2];
        qToLittleEndian<quint16>(v, b);
        wav.append(b, 2);
    };
    wav.append("RIFF", 4);
    put32(quint32(36 + pcm.size()));
    wav.append("WAVEfmt ", 8);
    put32(16);
    put16(1); // PCM
    put16(1); // mono
    put32(quint32(rate));
    put32(quint32(rate * 2));
    put16(2);
    put16(16);
    wav.append("data", 4);
    put32(quint32(pcm.size()));
    wav.append(pcm);
    return wav;
}

bool headless()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

} // namespace

AlarmBeeper::AlarmBeeper(QObject *parent) : QObject(parent)
{
#ifdef METERLINK_HAVE_SOUND
    m_toneEnabled = !headless() && qEnvironmentVariableIsEmpty("METERLINK_NO_SOUND");
    if (m_toneEnabled)
        prepareTone();
#endif
}

AlarmBeeper::~AlarmBeeper()
{
    if (!m_tonePath.isEmpty())
        QFile::remove(m_tonePath);
}

void AlarmBeeper::prepareTone()
{
#ifdef METERLINK_HAVE_SOUND
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    const QString path =
        QDir(dir).filePath(QStringLiteral("meterlink-alarm-%1.wav").arg(QApplication::applicationPid()));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(alarmToneWav()) < 0) {
        m_toneEnabled = false;
        return;
    }
    file.close();
    m_tonePath = path;
    m_effect = new QSoundEffect(this);
    m_effect->setSource(QUrl::fromLocalFile(path));
    m_effect->setVolume(0.6f);
    // The file is only needed until the effect has read it.
    connect(m_effect, &QSoundEffect::statusChanged, this, [this] {
        if (m_effect->status() == QSoundEffect::Ready || m_effect->status() == QSoundEffect::Error) {
            QFile::remove(m_tonePath);
            m_tonePath.clear();
        }
    });
#endif
}

void AlarmBeeper::beep()
{
    ++m_beepCount;
    QApplication::beep();
#ifdef METERLINK_HAVE_SOUND
    if (m_effect && m_effect->status() != QSoundEffect::Error) {
        m_effect->stop();
        m_effect->play();
    }
#endif
}
