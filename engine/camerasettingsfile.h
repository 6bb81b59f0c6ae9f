#ifndef CAMERASETTINGSFILE_H
#define CAMERASETTINGSFILE_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

class CameraDatabase;
class DisplayElement;

/// A camera settings file (".cdt"): the persistent values, lists and regions of one camera with
/// the model and type they were saved from. Reads, writes and checks the format, and does the
/// work per display element (reading its item from the camera, applying an item to it), so that
/// the parameter tree and window-free tools walk their elements and share every rule.
class CameraSettingsFile
{
public:
    /// How an item's text is to be read, from its type attribute.
    enum class ItemKind {
        Empty, ///< no type: the value could not be read when saving
        Value, ///< "item": a value as text
        List, ///< "list": Base64 block with a count and that many strings
        Roi, ///< "roi": Base64 block with a count value, a number of regions and the regions
        Unknown ///< any other type
    };

    /// One saved display element.
    struct Item
    {
        QString id; ///< the element's Name
        QString type; ///< the type attribute as written ("item", "list", "roi" or empty)
        QString text;

        ItemKind kind() const;
        bool operator==(const Item &other) const
        {
            return id == other.id && type == other.type && text == other.text;
        }
        bool operator!=(const Item &other) const { return !(*this == other); }
    };

    /// Whether a file fits the connected camera.
    enum class Validity { Valid, Invalid, OtherModel, OtherType };

    /// What applying one item did.
    enum class Outcome {
        Applied,
        Skipped, ///< the item's type does not fit the element's kind
        Damaged ///< the item's text could not be read (or converted); nothing was sent
    };

    CameraSettingsFile() = default;
    CameraSettingsFile(const QString &model, const QString &type, const QString &id);

    QString model() const { return mModel; }
    QString type() const { return mType; }
    QString id() const { return mId; }

    /// Items in file order; the same id may occur more than once.
    QList<Item> items() const { return mItems; }
    void addItem(const Item &item);
    bool contains(const QString &id) const { return mIndex.contains(id); }
    /// The last item with id (a later item replaces an earlier one); an empty item when none.
    Item item(const QString &id) const;

    /// The file's bytes: UTF-8 XML without indentation or line breaks.
    QByteArray toXml() const;
    /// Reads a file's bytes. Tolerant: unknown elements are skipped, and at the first XML error
    /// the items completed before it are kept.
    static CameraSettingsFile fromXml(const QByteArray &data);
    /// Reads fileName; false (and an empty file) when it cannot be read.
    bool load(const QString &fileName, QString *error = nullptr);
    /// Replaces fileName atomically; on failure the previous file stays as it was and error
    /// tells why.
    bool save(const QString &fileName, QString *error = nullptr) const;

    /// Valid when the file has a model and at least one item and both fit the camera.
    Validity check(const QString &model, const QString &type) const;
    /// The user's explanation of a validity other than Valid; empty for Valid.
    QString problem(Validity validity) const;

    /// Persistent, read-write and not a command: belongs in a settings file when available.
    static bool isSaveable(const DisplayElement *element);
    /// Reads the element's current state from the camera (values with a blocking get when not
    /// cached, lists and regions entry by entry). A value that cannot be read, or a list read
    /// that the user cancelled, gives an item without type.
    static Item read(CameraDatabase *database, const DisplayElement *element);
    /// Writes item to the camera through element: a value through the element's conversions,
    /// a list or regions through the transfers. A damaged block sends nothing.
    static Outcome apply(CameraDatabase *database, const DisplayElement *element, const Item &item);

    /// Base64 text of a list block.
    static QString listBlock(const QStringList &entries);
    /// Reads a list block; false at the first read error (entries then untouched).
    static bool readListBlock(const QString &text, QStringList *entries);
    /// Base64 text of a region block; sizes are written as width and height.
    static QString roiBlock(int count, const QList<QRect> &regions);
    /// Reads a region block; false at the first read error, for a region whose edges lie
    /// beyond the int range, and when the count value asks for more regions than the block
    /// holds (count and regions then untouched).
    static bool readRoiBlock(const QString &text, int *count, QList<QRect> *regions);

private:
    QString mModel;
    QString mType;
    QString mId;
    QList<Item> mItems;
    // Position of the last item per id.
    QHash<QString, int> mIndex;
};

#endif // CAMERASETTINGSFILE_H
