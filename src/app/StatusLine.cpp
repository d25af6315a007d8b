#include "app/StatusLine.h"

#include <QLabel>
#include <QStatusBar>

StatusLine::StatusLine(QStatusBar *bar, QLabel *label, QObject *parent)
    : QObject(parent), m_bar(bar), m_label(label)
{}

void StatusLine::show(Owner owner, const QString &text)
{
    m_texts[index(owner)] = text;
    m_spokeAt[index(owner)] = ++m_clock;
    refresh();
}

void StatusLine::clear(Owner owner)
{
    if (m_texts[index(owner)].isEmpty())
        return;
    m_texts[index(owner)].clear();
    refresh();
}

QString StatusLine::text() const
{
    return m_label->text();
}

void StatusLine::showPortNews(const QString &text, int timeoutMs)
{
    m_bar->showMessage(text, timeoutMs);
}

void StatusLine::clearPortNews()
{
    m_bar->clearMessage();
}

void StatusLine::refresh()
{
    size_t latest = m_texts.size();
    for (size_t i = 0; i < m_texts.size(); ++i) {
        if (!m_texts[i].isEmpty() && (latest == m_texts.size() || m_spokeAt[i] > m_spokeAt[latest]))
            latest = i;
    }
    const QString shown = latest == m_texts.size() ? QString() : m_texts[latest];
    // A label repaints on every setText, even with the same text.
    if (m_label->text() != shown)
        m_label->setText(shown);
}
