#ifndef ELEMENTVALUE_H
#define ELEMENTVALUE_H

#include <QString>
#include <QVariant>
#include <Qt>

class CameraDatabase;
class DisplayElement;
class DoubleElement;

/// Conversions between a cached camera value and what a display element shows, hands to its
/// editor, writes back and saves. Shared by the parameter tree, the settings files and the tests
/// so that every place converts the same way.
class ElementValue
{
public:
    /// The camera value name an element shows (Bool, Integer, Double, String, Enumeration);
    /// empty for Command, List and ROI elements.
    static QString reference(const DisplayElement *element);

    /// Text of the value column for the cached value; empty while the value was never read.
    static QString displayText(const DisplayElement *element, const QVariant &value);
    /// Whether a value counts as true: a non-zero number, a text other than "", "0", "false".
    static bool countsAsTrue(const QVariant &value);
    /// Check state for a value by countsAsTrue alone (a Bool element without TrueValue).
    static Qt::CheckState checkState(const QVariant &value);
    /// Check state of a Bool element for the cached value: with a TrueValue, checked exactly
    /// when the value's text equals it (so "OFF" or 2 is unchecked); without one, countsAsTrue.
    static Qt::CheckState checkState(const DisplayElement *element, const QVariant &value);
    /// Value handed to an editor for the cached value.
    static QVariant editorValue(const DisplayElement *element, const QVariant &value);

    /// Camera value for a value coming from an editor or a settings file. Invalid when nothing
    /// may be written: Command, List and ROI elements, Double values that cannot be converted
    /// (ConvertMultiply 0, not a number, outside the int range), Integer or Enumeration values
    /// that are no int, and texts with a carriage return or characters outside Latin-1; these
    /// also write a debug line.
    static QVariant cameraValue(const DisplayElement *element, const QVariant &edited);
    /// Writes an edited value back: setValue of the reference with the camera value, or, for a
    /// Command element, the set of the command named by its Reference. False when nothing was
    /// written.
    static bool write(
        CameraDatabase *database, const DisplayElement *element, const QVariant &edited);

    /// Value saved to a settings file for the cached value: Bool a bool, Integer the value,
    /// Double the converted double, String the text, Enumeration the integer; empty for
    /// write-only elements and for Command, List and ROI.
    static QVariant savedValue(const DisplayElement *element, const QVariant &value);
    /// Synchronous read for saving: reads the reference (blocking get when missing or stale)
    /// and converts it as savedValue.
    static QVariant readForSaving(CameraDatabase *database, const DisplayElement *element);

    /// Shown value of a Double element: raw * ConvertMultiply + ConvertAdd.
    static double shownDouble(const DoubleElement *element, double raw);
    /// Camera integer for a shown Double value: (shown - ConvertAdd) / ConvertMultiply, truncated
    /// toward zero; but a value typed back as it was shown (the tree's 6 significant digits, a
    /// spin box's 3 decimals, or unrounded) gives the camera integer it was shown for. False
    /// (and raw untouched) when ConvertMultiply is 0 or the result is not a finite number within
    /// the int range.
    static bool rawFromShown(const DoubleElement *element, double shown, int *raw);
};

#endif // ELEMENTVALUE_H
