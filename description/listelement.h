#ifndef LISTELEMENT_H
#define LISTELEMENT_H

#include "description/displayelement.h"

/// A list of numbers held by the camera, such as a lookup table.
class ListElement : public DisplayElement
{
public:
    DisplayElementType type() const override { return DisplayElementType::List; }
    DisplayElement *clone() const override { return new ListElement(*this); }
    bool equals(const DisplayElement &other) const override
    {
        if (!commonEquals(other))
            return false;
        const auto &o = static_cast<const ListElement &>(other);
        return start == o.start && end == o.end && count == o.count && get == o.get && set == o.set
            && index == o.index;
    }

    /// Id of the command sent before a list is written.
    QString start;
    /// Id of the command sent after a list is written.
    QString end;
    /// Camera value name or constant giving the number of entries.
    QString count;
    /// Camera value name through which one entry is read.
    QString get;
    /// Camera value name through which the list is written.
    QString set;
    /// Camera value name that receives the index of the entry to read.
    QString index;
};

#endif // LISTELEMENT_H
