#pragma once

#include <QObject>
#include <QString>

#include <array>

class QLabel;
class QStatusBar;

// The window's status line. Each message has an owner, and only its owner takes it back: a good
// frame clears a frame's complaint but not the one about a box the user still has to correct. While
// several owners have something to say, the latest one shows, and clearing it brings back the one
// before. The port's news goes over everything as the status bar's own message, as it always did.
class StatusLine : public QObject
{
    Q_OBJECT

public:
    enum class Owner
    {
        Frame,    // the last frame did not convert
        Interval, // RecordSITime does not convert
        PageSize, // Maxrecord does not convert
        Recovery, // unsaved readings cannot be copied to the recovery file
        Count,
    };

    StatusLine(QStatusBar *bar, QLabel *label, QObject *parent = nullptr);

    void show(Owner owner, const QString &text);
    void clear(Owner owner);
    bool holds(Owner owner) const { return !m_texts[index(owner)].isEmpty(); }
    // What the line shows of the owners' messages.
    QString text() const;

    // The port's news: shown until replaced or cleared, or for `timeoutMs` when given.
    void showPortNews(const QString &text, int timeoutMs = 0);
    void clearPortNews();

private:
    static size_t index(Owner owner) { return static_cast<size_t>(owner); }
    void refresh();

    QStatusBar *m_bar = nullptr;
    QLabel *m_label = nullptr;
    std::array<QString, static_cast<size_t>(Owner::Count)> m_texts;
    // Order in which the owners last spoke; a higher number is more recent.
    std::array<quint64, static_cast<size_t>(Owner::Count)> m_spokeAt{};
    quint64 m_clock = 0;
};
