#ifndef INTEGERELEMENT_H
#define INTEGERELEMENT_H

#include "description/displayelement.h"

/// A whole-number setting with limits and a step.
class IntegerElement : public DisplayElement
{
public:
    DisplayElementType type() const override { return DisplayElementType::Integer; }
    DisplayElement *clone() const override { return new IntegerElement(*this); }
    bool equals(const DisplayElement &other) const override
    {
        if (!commonEquals(other))
            return false;
        const auto &o = static_cast<const IntegerElement &>(other);
        return minimumValue == o.minimumValue && maximumValue == o.maximumValue
            && increment == o.increment && prefix == o.prefix && suffix == o.suffix
            && reference == o.reference;
    }

    qint32 minimumValue = 0;
    qint32 maximumValue = 0;
    /// Step of the spin box.
    qint32 increment = 1;
    /// Shown before the value.
    QString prefix;
    /// Shown after the value.
    QString suffix;
    /// Camera value name.
    QString reference;
};

#endif // INTEGERELEMENT_H
