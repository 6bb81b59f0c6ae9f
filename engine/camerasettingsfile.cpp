#include "engine/camerasettingsfile.h"

#include "description/listelement.h"
#include "description/roielement.h"
#include "engine/cameradatabase.h"
#include "engine/elementvalue.h"

#include <QBuffer>
#include <QDataStream>
#include <QDebug>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <limits>

namespace {

const QString kRoot = QStringLiteral("CameraDescriptionSave");
const QString kItem = QStringLiteral("item");
const QString kValueType = QStringLiteral("item");
const QString kListType = QStringLiteral("list");
const QString kRoiType = QStringLiteral("roi");

QByteArray decodeBlock(const QString &text, bool *ok)
{
    // Line breaks and indentation (a file tidied up by hand) are no damage.
    const auto result
        = QByteArray::fromBase64Encoding(text.toLatin1().simplified().replace(' ', QByteArray()),
            QByteArray::AbortOnBase64DecodingErrors);
    *ok = bool(result);
    return *result;
}

// The length in front of a string comes from the file: it is checked against what is left
// before anything is allocated for it.
bool readString(QDataStream &stream, QString *out)
{
    QIODevice *device = stream.device();
    const qint64 start = device->pos();
    quint32 bytes = 0;
    stream >> bytes;
    if (stream.status() != QDataStream::Ok)
        return false;
    if (bytes != 0xffffffffu && bytes > quint64(device->bytesAvailable()))
        return false;
    device->seek(start);
    stream >> *out;
    return stream.status() == QDataStream::Ok;
}

// QRect keeps start + size - 1 as its far edge and gives the size back as edge - start + 1;
// both must stay within int.
bool fitsRect(qint32 start, qint32 size)
{
    const qint64 edge = qint64(start) + size - 1;
    return size != std::numeric_limits<qint32>::min() && edge >= std::numeric_limits<qint32>::min()
        && edge <= std::numeric_limits<qint32>::max();
}

} // namespace

CameraSettingsFile::ItemKind CameraSettingsFile::Item::kind() const
{
    if (type.isEmpty())
        return ItemKind::Empty;
    if (type == kValueType)
        return ItemKind::Value;
    if (type == kListType)
        return ItemKind::List;
    if (type == kRoiType)
        return ItemKind::Roi;
    return ItemKind::Unknown;
}

CameraSettingsFile::CameraSettingsFile(const QString &model, const QString &type, const QString &id)
    : mModel(model)
    , mType(type)
    , mId(id)
{ }

void CameraSettingsFile::addItem(const Item &item)
{
    mIndex.insert(item.id, mItems.size());
    mItems.append(item);
}

CameraSettingsFile::Item CameraSettingsFile::item(const QString &id) const
{
    const auto found = mIndex.constFind(id);
    return found == mIndex.constEnd() ? Item() : mItems.at(*found);
}

QByteArray CameraSettingsFile::toXml() const
{
    QByteArray out;
    QXmlStreamWriter writer(&out);
    writer.writeStartDocument();
    writer.writeStartElement(kRoot);
    writer.writeAttribute(QStringLiteral("model"), mModel);
    writer.writeAttribute(QStringLiteral("type"), mType);
    writer.writeAttribute(QStringLiteral("id"), mId);
    for (const Item &item : mItems) {
        writer.writeStartElement(kItem);
        writer.writeAttribute(QStringLiteral("id"), item.id);
        if (!item.type.isEmpty()) {
            writer.writeAttribute(QStringLiteral("type"), item.type);
            // A raw CR in element text reads back as a line feed; a character reference keeps it.
            const QStringList parts = item.text.split(QLatin1Char('\r'));
            for (int i = 0; i < parts.size(); ++i) {
                if (i > 0)
                    writer.writeEntityReference(QStringLiteral("#13"));
                writer.writeCharacters(parts.at(i));
            }
        }
        writer.writeEndElement();
    }
    writer.writeEndDocument();
    return out;
}

CameraSettingsFile CameraSettingsFile::fromXml(const QByteArray &data)
{
    CameraSettingsFile file;
    QXmlStreamReader reader(data);
    while (reader.readNextStartElement()) {
        if (reader.name() != kRoot) {
            reader.skipCurrentElement();
            continue;
        }
        const QXmlStreamAttributes root = reader.attributes();
        file.mModel = root.value(QStringLiteral("model")).toString();
        file.mType = root.value(QStringLiteral("type")).toString();
        file.mId = root.value(QStringLiteral("id")).toString();
        while (reader.readNextStartElement()) {
            if (reader.name() != kItem) {
                reader.skipCurrentElement();
                continue;
            }
            Item item;
            item.id = reader.attributes().value(QStringLiteral("id")).toString();
            item.type = reader.attributes().value(QStringLiteral("type")).toString();
            item.text = reader.readElementText(QXmlStreamReader::SkipChildElements);
            // An item cut short by an error would apply half a value.
            if (!reader.hasError())
                file.addItem(item);
        }
    }
    return file;
}

bool CameraSettingsFile::load(const QString &fileName, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *this = CameraSettingsFile();
        if (error)
            *error = file.errorString();
        return false;
    }
    *this = fromXml(file.readAll());
    return true;
}

bool CameraSettingsFile::save(const QString &fileName, QString *error) const
{
    // Unbuffered, so that a short write (a full disk) is seen here: a buffer flushed only on
    // commit would lose the error and put a truncated file in place of the old one.
    QSaveFile file(fileName);
    const QByteArray bytes = toXml();
    qint64 written = 0;
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        for (qint64 n = 0; written < bytes.size(); written += n) {
            n = file.write(bytes.constData() + written, bytes.size() - written);
            if (n <= 0)
                break;
        }
    }
    const bool saved = written == bytes.size() && file.commit();
    if (!saved && error)
        *error = file.errorString();
    return saved;
}

CameraSettingsFile::Validity CameraSettingsFile::check(
    const QString &model, const QString &type) const
{
    if (mModel.isEmpty() || mItems.isEmpty())
        return Validity::Invalid;
    if (mModel != model)
        return Validity::OtherModel;
    if (mType != type)
        return Validity::OtherType;
    return Validity::Valid;
}

QString CameraSettingsFile::problem(Validity validity) const
{
    switch (validity) {
    case Validity::Valid:
        break;
    case Validity::Invalid:
        return QStringLiteral("This seems to be an invalid/corrupt save file, please try another "
                              "file");
    case Validity::OtherModel:
        return QStringLiteral("The save file is for another camera model: ") + mModel;
    case Validity::OtherType:
        return QStringLiteral("The save file is for another camera type: ") + mType;
    }
    return QString();
}

bool CameraSettingsFile::isSaveable(const DisplayElement *element)
{
    return element && element->persistent && element->accessMode == AccessMode::RW
        && element->type() != DisplayElementType::Command;
}

CameraSettingsFile::Item CameraSettingsFile::read(
    CameraDatabase *database, const DisplayElement *element)
{
    Item item;
    if (!element)
        return item;
    item.id = element->name;
    if (!database)
        return item;
    switch (element->type()) {
    case DisplayElementType::List: {
        const auto *list = static_cast<const ListElement *>(element);
        QStringList entries;
        // Half a table saved would later be written back as if it were the whole one.
        if (database->loadList(
                entries, database->evaluateInt(list->count), list->get, list->index)) {
            item.type = kListType;
            item.text = listBlock(entries);
        }
        break;
    }
    case DisplayElementType::ROI: {
        const auto *roi = static_cast<const RoiElement *>(element);
        const int count = database->evaluateInt(roi->count);
        QList<QRect> regions;
        database->loadRoi(
            regions, count, roi->index, roi->x, roi->y, roi->width, roi->height, roi->getCommand);
        item.type = kRoiType;
        item.text = roiBlock(count, regions);
        break;
    }
    default: {
        const QVariant value = ElementValue::readForSaving(database, element);
        if (!value.isNull()) {
            item.type = kValueType;
            item.text = value.toString();
        }
        break;
    }
    }
    return item;
}

CameraSettingsFile::Outcome CameraSettingsFile::apply(
    CameraDatabase *database, const DisplayElement *element, const Item &item)
{
    if (!database || !element)
        return Outcome::Skipped;
    const ItemKind kind = item.kind();
    if (kind == ItemKind::Value && !ElementValue::reference(element).isEmpty())
        return ElementValue::write(database, element, item.text) ? Outcome::Applied
                                                                 : Outcome::Damaged;
    if (kind == ItemKind::List && element->type() == DisplayElementType::List) {
        QStringList entries;
        if (!readListBlock(item.text, &entries)) {
            qDebug().noquote() << QStringLiteral("Settings file: list of %1 is damaged, skipped")
                                      .arg(element->name);
            return Outcome::Damaged;
        }
        const auto *list = static_cast<const ListElement *>(element);
        database->saveList(entries, list->index, list->start, list->end, list->set);
        return Outcome::Applied;
    }
    if (kind == ItemKind::Roi && element->type() == DisplayElementType::ROI) {
        int count = 0;
        QList<QRect> regions;
        if (!readRoiBlock(item.text, &count, &regions)) {
            qDebug().noquote() << QStringLiteral("Settings file: regions of %1 are damaged, "
                                                 "skipped")
                                      .arg(element->name);
            return Outcome::Damaged;
        }
        const auto *roi = static_cast<const RoiElement *>(element);
        database->saveRoi(regions, count, roi->x, roi->y, roi->width, roi->height, roi->start,
            roi->end, roi->setCommand);
        return Outcome::Applied;
    }
    return Outcome::Skipped;
}

QString CameraSettingsFile::listBlock(const QStringList &entries)
{
    QByteArray block;
    QDataStream stream(&block, QIODevice::WriteOnly);
    stream << qint32(entries.size());
    for (const QString &entry : entries)
        stream << entry;
    return QString::fromLatin1(block.toBase64());
}

bool CameraSettingsFile::readListBlock(const QString &text, QStringList *entries)
{
    bool ok = false;
    QByteArray block = decodeBlock(text, &ok);
    if (!ok)
        return false;
    QBuffer buffer(&block);
    buffer.open(QIODevice::ReadOnly);
    QDataStream stream(&buffer);
    qint32 count = 0;
    stream >> count;
    if (stream.status() != QDataStream::Ok || count < 0)
        return false;
    // Grows with what is actually read, never by the count the file claims.
    QStringList read;
    for (qint32 i = 0; i < count; ++i) {
        QString entry;
        if (!readString(stream, &entry))
            return false;
        read.append(entry);
    }
    *entries = read;
    return true;
}

QString CameraSettingsFile::roiBlock(int count, const QList<QRect> &regions)
{
    QByteArray block;
    QDataStream stream(&block, QIODevice::WriteOnly);
    stream << qint32(count) << qint32(regions.size());
    for (const QRect &r : regions)
        stream << qint32(r.x()) << qint32(r.y()) << qint32(r.width()) << qint32(r.height());
    return QString::fromLatin1(block.toBase64());
}

bool CameraSettingsFile::readRoiBlock(const QString &text, int *count, QList<QRect> *regions)
{
    bool ok = false;
    const QByteArray block = decodeBlock(text, &ok);
    if (!ok)
        return false;
    QDataStream stream(block);
    qint32 countValue = 0;
    qint32 number = 0;
    stream >> countValue >> number;
    // The count value is how many regions are written to the camera; one above what the block
    // holds would loop over camera exchanges by a number that only the file vouches for.
    if (stream.status() != QDataStream::Ok || number < 0 || countValue > number)
        return false;
    QList<QRect> read;
    for (qint32 i = 0; i < number; ++i) {
        qint32 x = 0, y = 0, width = 0, height = 0;
        stream >> x >> y >> width >> height;
        if (stream.status() != QDataStream::Ok || !fitsRect(x, width) || !fitsRect(y, height))
            return false;
        read.append(QRect(x, y, width, height));
    }
    *count = countValue;
    *regions = read;
    return true;
}
