#include "engine/elementtext.h"

#include "description/doubleelement.h"
#include "description/enumerationelement.h"
#include "description/integerelement.h"
#include "description/stringelement.h"
#include "engine/elementvalue.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QString stripped(QString text, const QString &prefix, const QString &suffix)
{
    text = text.trimmed();
    if (!prefix.isEmpty() && text.startsWith(prefix))
        text = text.mid(prefix.size()).trimmed();
    if (!suffix.isEmpty() && text.endsWith(suffix))
        text = text.left(text.size() - suffix.size()).trimmed();
    return text;
}

// Limits of 0 to 0 mean that the description gives none.
bool hasLimits(double minimum, double maximum)
{
    return minimum <= maximum && !(minimum == 0 && maximum == 0);
}

// Limits of 0 and 0, or reversed ones, mean the description sets none.
template<typename Value, typename Limit>
bool withinLimits(const QString &name, const QString &text, Value value, Limit minimum,
    Limit maximum, QString *error)
{
    if (!hasLimits(minimum, maximum) || (value >= minimum && value <= maximum))
        return true;
    *error
        = QStringLiteral("%1 takes %2 to %3, not %4").arg(name).arg(minimum).arg(maximum).arg(text);
    return false;
}

} // namespace

QString ElementText::regionText(const QRect &region)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(region.x())
        .arg(region.y())
        .arg(region.width())
        .arg(region.height());
}

QString ElementText::shownText(const DisplayElement *element, const QVariant &value)
{
    const DisplayElementType kind = element->type();
    // A write-only value is never read; the tree shows what the user entered, here nothing.
    if (element->accessMode == AccessMode::WO && kind != DisplayElementType::Command)
        return QString();
    if (kind != DisplayElementType::Bool)
        return ElementValue::displayText(element, value);
    if (!value.isValid() || value.isNull())
        return QString();
    return ElementValue::checkState(value) == Qt::Checked ? QStringLiteral("true")
                                                          : QStringLiteral("false");
}

DisplayElement *ElementText::find(
    const QList<DisplayElement *> &elements, const QString &name, QString *error)
{
    QList<DisplayElement *> found;
    for (DisplayElement *element : elements) {
        if (element->visibility != Visibility::Hidden
            && (element->name == name || path(element) == name))
            found.append(element);
    }
    if (found.size() == 1)
        return found.first();
    if (found.isEmpty()) {
        *error = QStringLiteral("Unknown element %1").arg(name);
    } else {
        QStringList paths;
        for (const DisplayElement *element : qAsConst(found))
            paths.append(path(element));
        *error = QStringLiteral("%1 is ambiguous; give its group path: %2")
                     .arg(name, paths.join(QStringLiteral(", ")));
    }
    return nullptr;
}

QString ElementText::path(const DisplayElement *element)
{
    QStringList parts = element->group.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts.append(element->name);
    return parts.join(QLatin1Char('/'));
}

bool ElementText::parse(
    const DisplayElement *element, const QString &text, QVariant *edited, QString *error)
{
    const QString name = element->name;
    switch (element->type()) {
    case DisplayElementType::Command:
        // Pressing the button: whatever follows the "=" does not matter.
        *edited = QVariant();
        return true;
    case DisplayElementType::Bool: {
        const QString word = text.trimmed().toLower();
        if (QStringList { "true", "1", "on", "yes" }.contains(word)) {
            *edited = true;
            return true;
        }
        if (QStringList { "false", "0", "off", "no" }.contains(word)) {
            *edited = false;
            return true;
        }
        *error = QStringLiteral("%1 takes true or false, not %2").arg(name, text);
        return false;
    }
    case DisplayElementType::Integer: {
        const auto *e = static_cast<const IntegerElement *>(element);
        bool ok = false;
        const qlonglong value = stripped(text, e->prefix, e->suffix).toLongLong(&ok);
        if (!ok) {
            *error = QStringLiteral("%1 takes a whole number, not %2").arg(name, text);
            return false;
        }
        if (!withinLimits(name, text, value, e->minimumValue, e->maximumValue, error))
            return false;
        *edited = int(value);
        return true;
    }
    case DisplayElementType::Double: {
        const auto *e = static_cast<const DoubleElement *>(element);
        bool ok = false;
        const double value = stripped(text, e->prefix, e->suffix).toDouble(&ok);
        if (!ok || !std::isfinite(value)) {
            *error = QStringLiteral("%1 takes a number, not %2").arg(name, text);
            return false;
        }
        if (!withinLimits(name, text, value, e->minimumValue, e->maximumValue, error))
            return false;
        if (!ElementValue::cameraValue(element, value).isValid()) {
            *error = QStringLiteral("%1: %2 gives no camera value").arg(name, text);
            return false;
        }
        *edited = value;
        return true;
    }
    case DisplayElementType::String: {
        const auto *e = static_cast<const StringElement *>(element);
        // The text travels inside one line of the camera protocol.
        for (const QChar c : text) {
            if (c.unicode() < 0x20 || c.unicode() > 0xff) {
                *error = QStringLiteral("%1 takes one line of Latin-1 text").arg(name);
                return false;
            }
        }
        if (text.size() < e->minimumLength
            || (e->maximumLength > 0 && text.size() > e->maximumLength)) {
            *error = QStringLiteral("%1 takes %2 to %3 characters")
                         .arg(name)
                         .arg(e->minimumLength)
                         .arg(e->maximumLength);
            return false;
        }
        *edited = text;
        return true;
    }
    case DisplayElementType::Enumeration: {
        const auto *e = static_cast<const EnumerationElement *>(element);
        bool isNumber = false;
        const int number = text.trimmed().toInt(&isNumber);
        for (const EnumerationItem &item : e->items) {
            if (item.name.compare(text.trimmed(), Qt::CaseInsensitive) == 0
                || (isNumber && item.value == number)) {
                *edited = item.value;
                return true;
            }
        }
        QStringList names;
        for (const EnumerationItem &item : e->items)
            names.append(item.name);
        *error = QStringLiteral("%1 takes one of: %2").arg(name, names.join(QStringLiteral(", ")));
        return false;
    }
    case DisplayElementType::List:
    case DisplayElementType::ROI:
        break;
    }
    *error = QStringLiteral("%1 is not a single value").arg(name);
    return false;
}

bool ElementText::parseList(const QString &text, QStringList *entries)
{
    const QStringList words
        = text.split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
    for (const QString &word : words) {
        bool ok = false;
        word.toInt(&ok, 10);
        if (!ok)
            return false;
    }
    *entries = words;
    return true;
}

bool ElementText::parseRegions(const QString &text, QList<QRect> *regions)
{
    QList<QRect> parsed;
    const QStringList words
        = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    for (const QString &word : words) {
        const QStringList numbers = word.split(QLatin1Char(','));
        QList<int> values;
        for (const QString &number : numbers) {
            bool ok = false;
            values.append(number.toInt(&ok));
            if (!ok)
                return false;
        }
        // As the camera database writes regions: nothing negative, no edge beyond the int range.
        const qint64 limit = std::numeric_limits<int>::max();
        if (values.size() != 4
            || std::any_of(values.cbegin(), values.cend(), [](int v) { return v < 0; })
            || qint64(values.at(0)) + values.at(2) > limit
            || qint64(values.at(1)) + values.at(3) > limit)
            return false;
        parsed.append(QRect(values.at(0), values.at(1), values.at(2), values.at(3)));
    }
    *regions = parsed;
    return true;
}
