#include "display/SpokenReading.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QHash>
#include <QWidget>

namespace {

// What each widget says, by widget. Kept here rather than in dynamic properties: a reading changes
// every frame, and each property change is an event sent through the application.
struct Spoken
{
    QString text;
    bool alone = false; // the widget's children are left out of the accessible tree
};

QHash<const QWidget *, Spoken> &spokenTexts()
{
    static QHash<const QWidget *, Spoken> texts;
    return texts;
}

bool spokenAlone(const QWidget *widget)
{
    const auto found = spokenTexts().constFind(widget);
    return found != spokenTexts().cend() && found->alone;
}

// The widget's accessible interface with the spoken text as its name and value.
class SpokenAccessible : public QAccessibleWidget
{
public:
    explicit SpokenAccessible(QWidget *widget) : QAccessibleWidget(widget, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name || t == QAccessible::Value)
            return SpokenReading::said(widget());
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return alone() ? 0 : QAccessibleWidget::childCount(); }
    QAccessibleInterface *child(int index) const override
    {
        return alone() ? nullptr : QAccessibleWidget::child(index);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return alone() ? -1 : QAccessibleWidget::indexOfChild(child);
    }

private:
    bool alone() const { return spokenAlone(widget()); }
};

QAccessibleInterface *spokenAccessible(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (widget && spokenTexts().contains(widget))
        return new SpokenAccessible(widget);
    return nullptr;
}

struct UnitWord
{
    const char *symbol;
    const char *words;
};

// Longest symbols first, so that "RPM" is not read as a prefix and "Hz" before "H".
constexpr UnitWord kUnits[] = {
    {"RPM", "RPM"},
    {"Hz", "hertz"},
    {"V", "volt"},
    {"A", "ampere"},
    {"*", "ohm"},
    {"F", "farad"},
    {"#", "degrees Celsius"},
    {"?", "degrees Fahrenheit"},
    {"%", "percent"},
};
constexpr UnitWord kPrefixes[] = {
    {"n", "nano"}, {"u", "micro"}, {"m", "milli"}, {"k", "kilo"}, {"M", "mega"},
};
// Function signs that go with a unit or stand alone.
constexpr UnitWord kFunctions[] = {{"&", "continuity"}, {")", "diode"}};

bool startsWith(const std::string &text, size_t at, const char *prefix)
{
    return text.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

} // namespace

QString spokenValue(const std::string &value)
{
    if (value.find('L') != std::string::npos)
        return QStringLiteral("overload");
    return QString::fromStdString(value);
}

QString spokenUnit(const std::string &unit)
{
    QStringList words;
    QString function;
    QString word;
    for (size_t at = 0; at < unit.size();) {
        bool matched = false;
        for (const UnitWord &f : kFunctions) {
            if (startsWith(unit, at, f.symbol)) {
                function = QLatin1String(f.words);
                at += std::char_traits<char>::length(f.symbol);
                matched = true;
                break;
            }
        }
        for (const UnitWord &u : kUnits) {
            if (matched || !startsWith(unit, at, u.symbol))
                continue;
            // "kilo" + "ohm" is said "kilohm", as "megohm".
            const QString base = QLatin1String(u.words);
            if (base == QLatin1String("ohm") &&
                (word.endsWith(QLatin1String("kilo")) || word.endsWith(QLatin1String("mega"))))
                word.chop(1);
            else if (base == QLatin1String("RPM") && !word.isEmpty())
                word += QLatin1Char(' ');
            words << word + base;
            word.clear();
            at += std::char_traits<char>::length(u.symbol);
            matched = true;
        }
        for (const UnitWord &p : kPrefixes) {
            if (matched || !startsWith(unit, at, p.symbol))
                continue;
            word += QLatin1String(p.words);
            ++at;
            matched = true;
        }
        if (!matched) {
            word += QLatin1Char(unit[at]);
            ++at;
        }
    }
    if (!word.isEmpty())
        words << word;
    if (!function.isEmpty())
        words << function;
    return words.join(QLatin1Char(' '));
}

namespace {

QString wordsAfterValue(const Reading &reading)
{
    QString after;
    for (const QString &part : {spokenUnit(reading.unit), QString::fromStdString(reading.dcac),
                                reading.autoText == "AUTO" ? QStringLiteral("AUTO") : QString()}) {
        if (!part.isEmpty())
            after += QLatin1Char(' ') + part;
    }
    return after;
}

QString joinWords(const QString &value, const QString &after)
{
    return value.isEmpty() ? after.mid(1) : value + after;
}

} // namespace

QString spokenReading(const Reading &reading)
{
    return joinWords(spokenValue(reading.value), wordsAfterValue(reading));
}

bool ReadingWords::update(const Reading &reading)
{
    const bool sameAfter =
        m_valid && reading.unit == m_unit && reading.dcac == m_dcac && reading.autoText == m_autoText;
    if (sameAfter && reading.value == m_value)
        return false;
    if (!sameAfter) {
        m_after = wordsAfterValue(reading);
        m_unit = reading.unit;
        m_dcac = reading.dcac;
        m_autoText = reading.autoText;
    }
    m_value = reading.value;
    const bool wasValid = m_valid;
    m_valid = true;
    QString words = joinWords(spokenValue(reading.value), m_after);
    if (wasValid && words == m_words)
        return false;
    m_words = std::move(words);
    return true;
}

SpokenReading::SpokenReading(QObject *parent) : QObject(parent)
{
    // The factory installed last is asked first: after the application object's, so that ours also
    // answers for plain labels.
    static const bool installed = [] {
        QAccessible::installFactory(spokenAccessible);
        return true;
    }();
    Q_UNUSED(installed);
    m_gate.setSingleShot(true);
    m_gate.setInterval(kAnnounceIntervalMs);
    connect(&m_gate, &QTimer::timeout, this, &SpokenReading::announce);
}

void SpokenReading::say(QWidget *widget, const QString &text, Children children)
{
    QHash<const QWidget *, Spoken> &texts = spokenTexts();
    const bool alone = children == Children::Hidden;
    auto found = texts.find(widget);
    if (found != texts.end()) {
        found->alone = alone;
        if (found->text == text)
            return;
        found->text = text;
    } else {
        texts.insert(widget, Spoken{text, alone});
        connect(widget, &QObject::destroyed, QCoreApplication::instance(),
                [widget] { spokenTexts().remove(widget); });
        // A screen reader running while the window was built has its interface already: replaced by
        // ours at the next question.
        QAccessibleInterface *existing = QAccessible::queryAccessibleInterface(widget);
        if (existing && !dynamic_cast<SpokenAccessible *>(existing))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(existing));
    }
    if (!m_pending.contains(widget))
        m_pending << widget;
    // The first change is told at once; the ones after it wait for the gate to open again.
    if (!m_gate.isActive())
        announce();
}

QString SpokenReading::said(const QWidget *widget)
{
    return spokenTexts().value(widget).text;
}

bool SpokenReading::speaks(const QWidget *widget)
{
    return spokenTexts().contains(widget);
}

void SpokenReading::announce()
{
    if (m_pending.isEmpty())
        return;
    for (const QPointer<QWidget> &widget : std::as_const(m_pending)) {
        if (!widget)
            continue;
        QAccessibleEvent event(widget.data(), QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
        emit announced(widget.data());
    }
    m_pending.clear();
    m_gate.start();
}
