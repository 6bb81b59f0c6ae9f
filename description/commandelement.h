#ifndef COMMANDELEMENT_H
#define COMMANDELEMENT_H

#include "description/displayelement.h"

/// A button that sends one command, typically one with CachedUpdate set.
class CommandElement : public DisplayElement
{
public:
    DisplayElementType type() const override { return DisplayElementType::Command; }
    DisplayElement *clone() const override { return new CommandElement(*this); }
    bool equals(const DisplayElement &other) const override
    {
        if (!commonEquals(other))
            return false;
        const auto &o = static_cast<const CommandElement &>(other);
        return buttonText == o.buttonText && reference == o.reference;
    }

    /// Label of the button.
    QString buttonText;
    /// Id of the command sent when the button is pressed.
    QString reference;
};

#endif // COMMANDELEMENT_H
