#include "engine/elementvalue.h"

#include "description/boolelement.h"
#include "description/commandelement.h"
#include "description/doubleelement.h"
#include "description/enumerationelement.h"
#include "description/integerelement.h"
#include "description/stringelement.h"
#include "engine/cameradatabase.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QString decorated(const QString &prefix, const QString &text, const QString &suffix)
{
    QString result;
    if (!prefix.isEmpty())
        result = prefix + QLatin1Char(' ');
    result += text;
    if (!suffix.isEmpty())
        result += QLatin1Char(' ') + suffix;
    return result;
}

// A value never read (or whose read failed) is shown as nothing rather than as 0.
bool isUnset(const QVariant &value)
{
    return !value.isValid() || value.isNull();
}

// Whether the camera integer raw is shown as shown: in the tree (6 significant digits), in a
// spin box with 3 decimals, or unrounded.
bool showsAs(const DoubleElement *element, double raw, double shown)
{
    const double value = ElementValue::shownDouble(element, raw);
    return value == shown || QString::number(value, 'g', 6).toDouble() == shown
        || QString::number(value, 'f', 3).toDouble() == shown;
}

} // namespace

QString ElementValue::reference(const DisplayElement *element)
{
    if (!element)
        return QString();
    switch (element->type()) {
    case DisplayElementType::Bool:
        return static_cast<const BoolElement *>(element)->reference;
    case DisplayElementType::Integer:
        return static_cast<const IntegerElement *>(element)->reference;
    case DisplayElementType::Double:
        return static_cast<const DoubleElement *>(element)->reference;
    case DisplayElementType::String:
        return static_cast<const StringElement *>(element)->reference;
    case DisplayElementType::Enumeration:
        return static_cast<const EnumerationElement *>(element)->reference;
    case DisplayElementType::Command:
    case DisplayElementType::List:
    case DisplayElementType::ROI:
        break;
    }
    return QString();
}

QString ElementValue::displayText(const DisplayElement *element, const QVariant &value)
{
    if (!element)
        return QString();
    switch (element->type()) {
    case DisplayElementType::Command:
        return QStringLiteral("<Command>");
    case DisplayElementType::Bool:
        return QString();
    case DisplayElementType::Integer: {
        if (isUnset(value))
            return QString();
        const auto *e = static_cast<const IntegerElement *>(element);
        return decorated(e->prefix, QString::number(value.toLongLong()), e->suffix);
    }
    case DisplayElementType::Double: {
        if (isUnset(value))
            return QString();
        const auto *e = static_cast<const DoubleElement *>(element);
        return decorated(
            e->prefix, QString::number(shownDouble(e, value.toDouble()), 'g', 6), e->suffix);
    }
    case DisplayElementType::String:
        return value.toString();
    case DisplayElementType::Enumeration: {
        if (isUnset(value))
            return QString();
        const auto *e = static_cast<const EnumerationElement *>(element);
        const int number = value.toInt();
        for (const EnumerationItem &item : e->items) {
            if (item.value == number)
                return item.name;
        }
        return QStringLiteral("No value selected");
    }
    case DisplayElementType::List:
        return QStringLiteral("<list>");
    case DisplayElementType::ROI:
        return QStringLiteral("<ROI>");
    }
    return QString();
}

bool ElementValue::countsAsTrue(const QVariant &value)
{
    return value.toBool();
}

Qt::CheckState ElementValue::checkState(const QVariant &value)
{
    return countsAsTrue(value) ? Qt::Checked : Qt::Unchecked;
}

Qt::CheckState ElementValue::checkState(const DisplayElement *element, const QVariant &value)
{
    if (element && element->type() == DisplayElementType::Bool) {
        const QString &trueValue = static_cast<const BoolElement *>(element)->trueValue;
        if (!trueValue.isEmpty())
            return value.toString() == trueValue ? Qt::Checked : Qt::Unchecked;
    }
    return checkState(value);
}

QVariant ElementValue::editorValue(const DisplayElement *element, const QVariant &value)
{
    if (!element)
        return QVariant();
    switch (element->type()) {
    case DisplayElementType::Command:
        return static_cast<const CommandElement *>(element)->buttonText;
    case DisplayElementType::Bool:
        return value.toString() == static_cast<const BoolElement *>(element)->trueValue;
    case DisplayElementType::Integer:
        return value;
    case DisplayElementType::Double:
        return value.toDouble();
    case DisplayElementType::String:
        return value.toString();
    case DisplayElementType::Enumeration:
        return value.toInt();
    case DisplayElementType::List:
        return QStringLiteral("<list>");
    case DisplayElementType::ROI:
        return QStringLiteral("<ROI>");
    }
    return QVariant();
}

double ElementValue::shownDouble(const DoubleElement *element, double raw)
{
    return raw * element->convertMultiply + element->convertAdd;
}

bool ElementValue::rawFromShown(const DoubleElement *element, double shown, int *raw)
{
    if (element->convertMultiply == 0.0) {
        qDebug().noquote() << QStringLiteral("Double element %1: ConvertMultiply is 0, value %2 "
                                             "not written")
                                  .arg(element->name)
                                  .arg(shown);
        return false;
    }
    const double quotient = (shown - element->convertAdd) / element->convertMultiply;
    double exact = std::trunc(quotient);
    // A value typed back as it was shown (rounded for display) divides back to just beside
    // the camera integer it came from: 0.3 / 0.1 is 2.999... The nearest integer wins when it
    // is shown as exactly this value; anything else lies between two steps and is truncated.
    if (std::isfinite(quotient)) {
        const double nearest = std::round(quotient);
        if (nearest != exact && showsAs(element, nearest, shown))
            exact = nearest;
    }
    if (!std::isfinite(exact) || exact < double(std::numeric_limits<int>::min())
        || exact > double(std::numeric_limits<int>::max())) {
        qDebug().noquote() << QStringLiteral("Double element %1: value %2 gives no camera integer "
                                             "(%3), not written")
                                  .arg(element->name)
                                  .arg(shown)
                                  .arg(exact);
        return false;
    }
    if (raw)
        *raw = int(exact);
    return true;
}

QVariant ElementValue::cameraValue(const DisplayElement *element, const QVariant &edited)
{
    if (!element)
        return QVariant();
    switch (element->type()) {
    case DisplayElementType::Bool: {
        const auto *e = static_cast<const BoolElement *>(element);
        return countsAsTrue(edited) ? e->trueValue : e->falseValue;
    }
    case DisplayElementType::Double: {
        const auto *e = static_cast<const DoubleElement *>(element);
        bool ok = false;
        const double shown = edited.toDouble(&ok);
        if (!ok) {
            qDebug().noquote() << QStringLiteral("Double element %1: %2 is not a number, not "
                                                 "written")
                                      .arg(e->name, edited.toString());
            return QVariant();
        }
        int raw = 0;
        if (!rawFromShown(e, shown, &raw))
            return QVariant();
        return raw;
    }
    case DisplayElementType::Integer:
    case DisplayElementType::Enumeration: {
        // The request would send a text that is no integer as 0 (a damaged settings file).
        bool ok = false;
        edited.toInt(&ok);
        if (!ok) {
            qDebug().noquote() << QStringLiteral("Element %1: %2 is not an integer, not written")
                                      .arg(element->name, edited.toString());
            return QVariant();
        }
        return edited;
    }
    case DisplayElementType::String: {
        // On the line a carriage return ends the command (the rest would run as a command of
        // its own), and characters outside Latin-1 would arrive as "?".
        const QString text = edited.toString();
        const bool sendable = std::all_of(text.cbegin(), text.cend(),
            [](QChar c) { return c != QLatin1Char('\r') && c.unicode() <= 0xff; });
        if (!sendable) {
            qDebug().noquote() << QStringLiteral(
                "String element %1: %2 cannot be sent, not written")
                                      .arg(element->name, text);
            return QVariant();
        }
        return edited;
    }
    case DisplayElementType::Command:
    case DisplayElementType::List:
    case DisplayElementType::ROI:
        break;
    }
    return QVariant();
}

bool ElementValue::write(
    CameraDatabase *database, const DisplayElement *element, const QVariant &edited)
{
    if (!database || !element)
        return false;
    if (element->type() == DisplayElementType::Command) {
        database->doSetValue(static_cast<const CommandElement *>(element)->reference);
        return true;
    }
    const QVariant value = cameraValue(element, edited);
    if (!value.isValid())
        return false;
    database->setValue(reference(element), value);
    return true;
}

QVariant ElementValue::savedValue(const DisplayElement *element, const QVariant &value)
{
    // A value that could not be read is saved as nothing rather than as a made-up default.
    if (!element || element->accessMode == AccessMode::WO || isUnset(value))
        return QVariant();
    switch (element->type()) {
    case DisplayElementType::Bool:
        return value.toString() == static_cast<const BoolElement *>(element)->trueValue;
    case DisplayElementType::Integer:
        return value;
    case DisplayElementType::Double: {
        const auto *e = static_cast<const DoubleElement *>(element);
        const double raw = value.toDouble();
        qDebug().noquote() << QStringLiteral("Double value read: %1 ConvertMultiply: %2 "
                                             "ConvertAdd: %3")
                                  .arg(raw)
                                  .arg(e->convertMultiply)
                                  .arg(e->convertAdd);
        return shownDouble(e, raw);
    }
    case DisplayElementType::String:
        return value.toString();
    case DisplayElementType::Enumeration:
        return value.toInt();
    case DisplayElementType::Command:
    case DisplayElementType::List:
    case DisplayElementType::ROI:
        break;
    }
    return QVariant();
}

QVariant ElementValue::readForSaving(CameraDatabase *database, const DisplayElement *element)
{
    if (!database || !element || element->accessMode == AccessMode::WO)
        return QVariant();
    const QString id = reference(element);
    if (id.isEmpty())
        return QVariant();
    return savedValue(element, database->getValueWait(id));
}
