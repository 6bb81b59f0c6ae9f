#ifndef STRINGELEMENT_H
#define STRINGELEMENT_H

#include "description/displayelement.h"

/// A text setting with length limits.
class StringElement : public DisplayElement
{
public:
    DisplayElementType type() const override { return DisplayElementType::String; }
    DisplayElement *clone() const override { return new StringElement(*this); }
    bool equals(const DisplayElement &other) const override
    {
        if (!commonEquals(other))
            return false;
        const auto &o = static_cast<const StringElement &>(other);
        return minimumLength == o.minimumLength && maximumLength == o.maximumLength
            && reference == o.reference;
    }

    /// Shorter input is not sent.
    qint32 minimumLength = 0;
    qint32 maximumLength = 0;
    /// Camera value name.
    QString reference;
};

#endif // STRINGELEMENT_H
