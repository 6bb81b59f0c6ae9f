#ifndef ELEMENTTEXT_H
#define ELEMENTTEXT_H

#include "description/displayelement.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVariant>

/// Display elements and their values as text, for clients without a window (mfxctl): elements
/// found by the names the tree shows, values shown as the tree shows them and read back with
/// the checks of the value editors.
class ElementText
{
public:
    /// The element's group path and name, as the tree nests them ("Image/LUT/LUT enable").
    static QString path(const DisplayElement *element);
    /// The element that the tree can show (any level but Hidden) with that name or path; null,
    /// with the reason in error, when there is none or more than one.
    static DisplayElement *find(
        const QList<DisplayElement *> &elements, const QString &name, QString *error);

    /// The cached value as the tree shows it; a Bool as "true" or "false", a write-only value
    /// (never read) as nothing.
    static QString shownText(const DisplayElement *element, const QVariant &value);
    /// A region as "x,y,width,height".
    static QString regionText(const QRect &region);

    /// The edited value that text gives a Bool, Integer, Double, String, Enumeration or Command
    /// element: numbers with or without the element's prefix and suffix and within its limits,
    /// enumeration items by name or number, booleans as true/false, 1/0, on/off or yes/no, one
    /// line of Latin-1 text within the length limits. False with the reason in error.
    static bool parse(
        const DisplayElement *element, const QString &text, QVariant *edited, QString *error);
    /// List entries: whole numbers separated by blanks, commas or semicolons.
    static bool parseList(const QString &text, QStringList *entries);
    /// Regions "x,y,width,height" separated by blanks, none negative and each within the int
    /// range, as the camera database writes them.
    static bool parseRegions(const QString &text, QList<QRect> *regions);
};

#endif // ELEMENTTEXT_H
