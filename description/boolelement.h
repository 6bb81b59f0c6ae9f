#ifndef BOOLELEMENT_H
#define BOOLELEMENT_H

#include "description/displayelement.h"

/// An on/off setting.
class BoolElement : public DisplayElement
{
public:
    DisplayElementType type() const override { return DisplayElementType::Bool; }
    DisplayElement *clone() const override { return new BoolElement(*this); }
    bool equals(const DisplayElement &other) const override
    {
        if (!commonEquals(other))
            return false;
        const auto &o = static_cast<const BoolElement &>(other);
        return reference == o.reference && trueValue == o.trueValue && falseValue == o.falseValue;
    }

    /// Camera value name.
    QString reference;
    /// Text sent to the camera for true.
    QString trueValue;
    /// Text sent to the camera for false.
    QString falseValue;
};

#endif // BOOLELEMENT_H
