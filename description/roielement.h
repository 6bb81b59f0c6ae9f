#ifndef ROIELEMENT_H
#define ROIELEMENT_H

#include "description/displayelement.h"

/// One or more regions of interest of the sensor.
class RoiElement : public DisplayElement
{
public:
    DisplayElementType type() const override { return DisplayElementType::ROI; }
    DisplayElement *clone() const override { return new RoiElement(*this); }
    bool equals(const DisplayElement &other) const override
    {
        if (!commonEquals(other))
            return false;
        const auto &o = static_cast<const RoiElement &>(other);
        return start == o.start && end == o.end && screenWidth == o.screenWidth
            && screenHeight == o.screenHeight && x == o.x && y == o.y && width == o.width
            && height == o.height && count == o.count && index == o.index
            && getCommand == o.getCommand && setCommand == o.setCommand;
    }

    /// Id of the command sent before several region values are written; may be empty.
    QString start;
    /// Id of the command sent after them; may be empty.
    QString end;
    /// Script expressions yielding the screen size as integers.
    QString screenWidth;
    QString screenHeight;
    /// Camera value names of the region position and size.
    QString x;
    QString y;
    QString width;
    QString height;
    /// Script expression yielding the number of regions ("1" for a single region).
    QString count;
    /// Camera value name selecting the current region; empty for a single region.
    QString index;
    /// Id of the command that reads a region.
    QString getCommand;
    /// Id of the command that writes a region.
    QString setCommand;
};

#endif // ROIELEMENT_H
