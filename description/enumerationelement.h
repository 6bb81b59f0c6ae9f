#ifndef ENUMERATIONELEMENT_H
#define ENUMERATIONELEMENT_H

#include "description/displayelement.h"

#include <QList>

/// One choice of an enumeration element.
struct EnumerationItem
{
    /// Number sent to the camera for this item.
    qint32 value = 0;
    QString name;
    QString description;
    Visibility visibility = Visibility::Beginner;
    /// Script expression; false hides the item.
    QString isAvailable;

    bool operator==(const EnumerationItem &other) const
    {
        return value == other.value && name == other.name && description == other.description
            && visibility == other.visibility && isAvailable == other.isAvailable;
    }
    bool operator!=(const EnumerationItem &other) const { return !(*this == other); }
};

/// A setting chosen from a list of named numbers.
class EnumerationElement : public DisplayElement
{
public:
    DisplayElementType type() const override { return DisplayElementType::Enumeration; }
    DisplayElement *clone() const override { return new EnumerationElement(*this); }
    bool equals(const DisplayElement &other) const override
    {
        if (!commonEquals(other))
            return false;
        const auto &o = static_cast<const EnumerationElement &>(other);
        return items == o.items && reference == o.reference;
    }

    QList<EnumerationItem> items;
    /// Camera value name.
    QString reference;
};

#endif // ENUMERATIONELEMENT_H
