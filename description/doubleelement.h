#ifndef DOUBLEELEMENT_H
#define DOUBLEELEMENT_H

#include "description/displayelement.h"

/// A real-number setting shown through a linear conversion of the camera value.
class DoubleElement : public DisplayElement
{
public:
    DisplayElementType type() const override { return DisplayElementType::Double; }
    DisplayElement *clone() const override { return new DoubleElement(*this); }
    bool equals(const DisplayElement &other) const override
    {
        if (!commonEquals(other))
            return false;
        const auto &o = static_cast<const DoubleElement &>(other);
        return minimumValue == o.minimumValue && maximumValue == o.maximumValue
            && increment == o.increment && prefix == o.prefix && suffix == o.suffix
            && convertMultiply == o.convertMultiply && convertAdd == o.convertAdd
            && reference == o.reference;
    }

    double minimumValue = 0.0;
    double maximumValue = 0.0;
    double increment = 1.0;
    QString prefix;
    QString suffix;
    /// Shown value = camera value * convertMultiply + convertAdd.
    double convertMultiply = 1.0;
    double convertAdd = 0.0;
    /// Camera value name.
    QString reference;
};

#endif // DOUBLEELEMENT_H
