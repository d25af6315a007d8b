#include "logger/LoggedReading.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString text(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

QByteArray readingJson(const LoggedReading &reading)
{
    QJsonObject o;
    o.insert(QStringLiteral("time"),
             reading.time.toOffsetFromUtc(reading.time.offsetFromUtc()).toString(Qt::ISODateWithMs));
    o.insert(QStringLiteral("no"), qint64(reading.no));
    o.insert(QStringLiteral("value"), text(reading.value));
    o.insert(QStringLiteral("unit"), text(reading.unit));
    o.insert(QStringLiteral("dcac"), text(reading.dcac));
    o.insert(QStringLiteral("auto"), text(reading.autoText));
    o.insert(QStringLiteral("nval"), reading.nval);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
