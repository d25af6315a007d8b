#include "display/ReadoutLabel.h"

#include "display/SpokenReading.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QStyle>

namespace {

// A QLabel's flags for plain left-to-right text at the top left.
constexpr Qt::Alignment kAlignment = Qt::AlignLeft | Qt::AlignTop;
constexpr int kTextFlags = Qt::TextExpandTabs;

// Read as a label reads: its text is its name, unless the widget was given words to say.
class ReadoutAccessible : public QAccessibleWidget
{
public:
    explicit ReadoutAccessible(ReadoutLabel *label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const ReadoutLabel *>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *readoutAccessible(const QString &, QObject *object)
{
    auto *label = qobject_cast<ReadoutLabel *>(object);
    // A spoken widget answers with its spoken words (SpokenReading's own factory).
    if (!label || SpokenReading::speaks(label))
        return nullptr;
    return new ReadoutAccessible(label);
}

} // namespace

ReadoutLabel::ReadoutLabel(const QString &text, QWidget *parent) : QWidget(parent), m_text(text)
{
    static const bool installed = [] {
        QAccessible::installFactory(readoutAccessible);
        return true;
    }();
    Q_UNUSED(installed);
    setAutoFillBackground(true);
}

void ReadoutLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    update();
}

QSize ReadoutLabel::sizeHint() const
{
    const QRect box = fontMetrics().boundingRect(0, 0, 2000, 2000, int(kAlignment) | kTextFlags, m_text);
    return box.size().expandedTo(minimumSize());
}

void ReadoutLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int flags = int(kAlignment) | kTextFlags | Qt::TextForceLeftToRight;
    style()->drawItemText(&painter, contentsRect(), flags, palette(), isEnabled(), m_text, foregroundRole());
}
