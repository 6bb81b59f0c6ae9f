#ifndef DISPLAYELEMENT_H
#define DISPLAYELEMENT_H

#include <QMetaType>
#include <QString>
#include <QStringList>

/// Lowest user level that sees an element or enumeration item.
enum class Visibility { Beginner = 0, Expert = 1, Guru = 2, Developer = 3, Hidden = 4 };

/// Whether the user may read, change or only write a setting.
enum class AccessMode { RO = 0, RW = 1, WO = 2 };

/// The eight kinds of display element; an element's kind never changes.
enum class DisplayElementType {
    Command = 0,
    Bool = 1,
    Integer = 2,
    Double = 3,
    String = 4,
    Enumeration = 5,
    List = 6,
    ROI = 7
};

Q_DECLARE_METATYPE(Visibility)
Q_DECLARE_METATYPE(AccessMode)
Q_DECLARE_METATYPE(DisplayElementType)

/// Common part of every setting shown to the user; one subclass per kind.
///
/// Elements belong to their CameraDescriptionFile, which hands them out by pointer and keeps
/// every element it ever held alive until the file object itself is destroyed.
class DisplayElement
{
public:
    virtual ~DisplayElement() = default;

    virtual DisplayElementType type() const = 0;
    /// A new element of the same kind holding the same fields; the caller owns it.
    virtual DisplayElement *clone() const = 0;
    /// True when other has the same kind and every field is equal.
    virtual bool equals(const DisplayElement &other) const = 0;

    /// Copies the fields shared by all kinds; the kind of this element stays.
    void copyCommonFrom(const DisplayElement &other)
    {
        name = other.name;
        description = other.description;
        toolTip = other.toolTip;
        group = other.group;
        visibility = other.visibility;
        accessMode = other.accessMode;
        cacheable = other.cacheable;
        invalidatedBy = other.invalidatedBy;
        isAvailable = other.isAvailable;
        persistent = other.persistent;
    }

    QString name;
    QString description;
    QString toolTip;
    /// Group path; "/" separates sub-groups.
    QString group;
    Visibility visibility = Visibility::Beginner;
    AccessMode accessMode = AccessMode::RW;
    bool cacheable = true;
    /// Commands or camera values whose change makes this element read itself again.
    QStringList invalidatedBy;
    /// Script expression; false hides the element.
    QString isAvailable;
    /// Included when the camera settings are saved to a file.
    bool persistent = true;

protected:
    DisplayElement() = default;
    DisplayElement(const DisplayElement &) = default;
    DisplayElement &operator=(const DisplayElement &) = default;

    bool commonEquals(const DisplayElement &other) const
    {
        return type() == other.type() && name == other.name && description == other.description
            && toolTip == other.toolTip && group == other.group && visibility == other.visibility
            && accessMode == other.accessMode && cacheable == other.cacheable
            && invalidatedBy == other.invalidatedBy && isAvailable == other.isAvailable
            && persistent == other.persistent;
    }
};

#endif // DISPLAYELEMENT_H
