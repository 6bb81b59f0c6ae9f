#include "description/descriptionreader.h"

#include "description/boolelement.h"
#include "description/cameradescriptionfile.h"
#include "description/commandelement.h"
#include "description/descriptiontext.h"
#include "description/doubleelement.h"
#include "description/enumerationelement.h"
#include "description/integerelement.h"
#include "description/listelement.h"
#include "description/roielement.h"
#include "description/stringelement.h"

#include <QXmlStreamReader>

#include <memory>

namespace {

// Every structural level below has its own loop over readNextStartElement(), which returns
// false at the closing tag and also at any error, so a broken document unwinds all loops and
// each level keeps what it has collected so far.

QString text(QXmlStreamReader &xml)
{
    return xml.readElementText(QXmlStreamReader::SkipChildElements);
}

qint32 toInt(const QString &value)
{
    bool ok = false;
    const int result = value.toInt(&ok);
    return ok ? result : 0;
}

qint32 toInt(const QStringRef &value)
{
    bool ok = false;
    const int result = value.toInt(&ok);
    return ok ? result : 0;
}

double toDouble(const QString &value)
{
    bool ok = false;
    const double result = value.toDouble(&ok);
    return ok ? result : 0.0;
}

struct Header
{
    qint32 major = 0;
    qint32 minor = 0;
    qint32 subMinor = 0;
    QString modelName;
    QString vendorName;
    QStringList supported;
};

Header readRootAttributes(QXmlStreamReader &xml)
{
    const QXmlStreamAttributes attributes = xml.attributes();
    Header header;
    header.major = toInt(attributes.value(QLatin1String("MajorVersion")));
    header.minor = toInt(attributes.value(QLatin1String("MinorVersion")));
    header.subMinor = toInt(attributes.value(QLatin1String("SubMinorVersion")));
    header.modelName = attributes.value(QLatin1String("ModelName")).toString();
    header.vendorName = attributes.value(QLatin1String("VendorName")).toString();
    header.supported
        = attributes.value(QLatin1String("Supported")).toString().split(QLatin1Char(','));
    return header;
}

CommandParameterType parameterType(const QStringRef &name)
{
    if (name == QLatin1String("Int"))
        return CommandParameterType::Int;
    if (name == QLatin1String("String"))
        return CommandParameterType::String;
    if (name == QLatin1String("Const"))
        return CommandParameterType::Const;
    return CommandParameterType::None;
}

void readParameters(QXmlStreamReader &xml, QList<CommandParameter> &list)
{
    while (xml.readNextStartElement()) {
        const CommandParameterType type = parameterType(xml.name());
        if (type == CommandParameterType::None) {
            xml.skipCurrentElement();
            continue;
        }
        CommandParameter parameter;
        parameter.type = type;
        while (xml.readNextStartElement()) {
            if (type == CommandParameterType::Const && xml.name() == QLatin1String("Value"))
                parameter.value = text(xml).toLatin1();
            else if (type != CommandParameterType::Const && xml.name() == QLatin1String("Id"))
                parameter.id = text(xml);
            else
                xml.skipCurrentElement();
        }
        list.append(parameter);
    }
}

void readCommand(QXmlStreamReader &xml, QList<Command> &commands)
{
    Command command;
    while (xml.readNextStartElement()) {
        const QStringRef name = xml.name();
        if (name == QLatin1String("Id"))
            command.id = text(xml);
        else if (name == QLatin1String("Code"))
            command.code = text(xml).toLatin1();
        else if (name == QLatin1String("CachedUpdate"))
            command.cachedUpdate = DescriptionText::toBool(text(xml));
        else if (name == QLatin1String("DeveloperOnly"))
            command.developerOnly = DescriptionText::toBool(text(xml));
        else if (name == QLatin1String("ParamsSet"))
            readParameters(xml, command.paramsSet);
        else if (name == QLatin1String("ParamsGet"))
            readParameters(xml, command.paramsGet);
        else if (name == QLatin1String("ReturnValueSet"))
            readParameters(xml, command.returnValueSet);
        else if (name == QLatin1String("ReturnValueGet"))
            readParameters(xml, command.returnValueGet);
        else
            xml.skipCurrentElement();
    }
    commands.append(command);
}

void readCommandSet(QXmlStreamReader &xml, QList<Command> &commands)
{
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("Command"))
            readCommand(xml, commands);
        else
            xml.skipCurrentElement();
    }
}

void readGroups(QXmlStreamReader &xml, QMap<QString, bool> &states)
{
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("Group")) {
            xml.skipCurrentElement();
            continue;
        }
        QString name;
        bool collapsed = false;
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("Name"))
                name = text(xml);
            else if (xml.name() == QLatin1String("Collapsed"))
                collapsed = DescriptionText::toBool(text(xml));
            else
                xml.skipCurrentElement();
        }
        states.insert(name, !collapsed);
    }
}

// Reads the children of a kind element; field() handles one child by name and returns false
// for names it does not know, which are then skipped.
template<typename Handler> void readFields(QXmlStreamReader &xml, Handler field)
{
    while (xml.readNextStartElement()) {
        if (!field(xml.name()))
            xml.skipCurrentElement();
    }
}

DisplayElement *readCommandElement(QXmlStreamReader &xml)
{
    auto *e = new CommandElement;
    readFields(xml, [&](const QStringRef &n) {
        if (n == QLatin1String("Reference"))
            e->reference = text(xml);
        else if (n == QLatin1String("ButtonText"))
            e->buttonText = text(xml);
        else
            return false;
        return true;
    });
    return e;
}

DisplayElement *readBoolElement(QXmlStreamReader &xml)
{
    auto *e = new BoolElement;
    readFields(xml, [&](const QStringRef &n) {
        if (n == QLatin1String("Reference"))
            e->reference = text(xml);
        else if (n == QLatin1String("TrueValue"))
            e->trueValue = text(xml);
        else if (n == QLatin1String("FalseValue"))
            e->falseValue = text(xml);
        else
            return false;
        return true;
    });
    return e;
}

DisplayElement *readIntegerElement(QXmlStreamReader &xml)
{
    auto *e = new IntegerElement;
    readFields(xml, [&](const QStringRef &n) {
        if (n == QLatin1String("MinimumValue"))
            e->minimumValue = toInt(text(xml));
        else if (n == QLatin1String("MaximumValue"))
            e->maximumValue = toInt(text(xml));
        else if (n == QLatin1String("Increment"))
            e->increment = toInt(text(xml));
        else if (n == QLatin1String("Prefix"))
            e->prefix = text(xml);
        else if (n == QLatin1String("Suffix"))
            e->suffix = text(xml);
        else if (n == QLatin1String("Reference"))
            e->reference = text(xml);
        else
            return false;
        return true;
    });
    return e;
}

DisplayElement *readDoubleElement(QXmlStreamReader &xml)
{
    auto *e = new DoubleElement;
    readFields(xml, [&](const QStringRef &n) {
        if (n == QLatin1String("MinimumValue"))
            e->minimumValue = toDouble(text(xml));
        else if (n == QLatin1String("MaximumValue"))
            e->maximumValue = toDouble(text(xml));
        else if (n == QLatin1String("Increment"))
            e->increment = toDouble(text(xml));
        else if (n == QLatin1String("Prefix"))
            e->prefix = text(xml);
        else if (n == QLatin1String("Suffix"))
            e->suffix = text(xml);
        else if (n == QLatin1String("Reference"))
            e->reference = text(xml);
        else if (n == QLatin1String("Convert"))
            readFields(xml, [&](const QStringRef &c) {
                if (c == QLatin1String("Multiply"))
                    e->convertMultiply = toDouble(text(xml));
                else if (c == QLatin1String("Add"))
                    e->convertAdd = toDouble(text(xml));
                else
                    return false;
                return true;
            });
        else
            return false;
        return true;
    });
    return e;
}

DisplayElement *readStringElement(QXmlStreamReader &xml)
{
    auto *e = new StringElement;
    readFields(xml, [&](const QStringRef &n) {
        if (n == QLatin1String("MinimumLength"))
            e->minimumLength = toInt(text(xml));
        else if (n == QLatin1String("MaximumLength"))
            e->maximumLength = toInt(text(xml));
        else if (n == QLatin1String("Reference"))
            e->reference = text(xml);
        else
            return false;
        return true;
    });
    return e;
}

void readItems(QXmlStreamReader &xml, QList<EnumerationItem> &items)
{
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("Item")) {
            xml.skipCurrentElement();
            continue;
        }
        EnumerationItem item;
        readFields(xml, [&](const QStringRef &n) {
            if (n == QLatin1String("Value"))
                item.value = toInt(text(xml));
            else if (n == QLatin1String("Name"))
                item.name = text(xml);
            else if (n == QLatin1String("Description"))
                item.description = text(xml);
            else if (n == QLatin1String("Visibility"))
                item.visibility = DescriptionText::toVisibility(text(xml));
            else if (n == QLatin1String("IsAvailable"))
                item.isAvailable = text(xml);
            else
                return false;
            return true;
        });
        items.append(item);
    }
}

DisplayElement *readEnumerationElement(QXmlStreamReader &xml)
{
    auto *e = new EnumerationElement;
    readFields(xml, [&](const QStringRef &n) {
        if (n == QLatin1String("Items"))
            readItems(xml, e->items);
        else if (n == QLatin1String("Reference"))
            e->reference = text(xml);
        else
            return false;
        return true;
    });
    return e;
}

DisplayElement *readListElement(QXmlStreamReader &xml)
{
    auto *e = new ListElement;
    readFields(xml, [&](const QStringRef &n) {
        if (n == QLatin1String("Start"))
            e->start = text(xml);
        else if (n == QLatin1String("End"))
            e->end = text(xml);
        else if (n == QLatin1String("Count"))
            e->count = text(xml);
        else if (n == QLatin1String("Get"))
            e->get = text(xml);
        else if (n == QLatin1String("Set"))
            e->set = text(xml);
        else if (n == QLatin1String("Index"))
            e->index = text(xml);
        else
            return false;
        return true;
    });
    return e;
}

DisplayElement *readRoiElement(QXmlStreamReader &xml)
{
    auto *e = new RoiElement;
    readFields(xml, [&](const QStringRef &n) {
        if (n == QLatin1String("Start"))
            e->start = text(xml);
        else if (n == QLatin1String("End"))
            e->end = text(xml);
        else if (n == QLatin1String("ScreenWidth"))
            e->screenWidth = text(xml);
        else if (n == QLatin1String("ScreenHeight"))
            e->screenHeight = text(xml);
        else if (n == QLatin1String("GetCommand"))
            e->getCommand = text(xml);
        else if (n == QLatin1String("SetCommand"))
            e->setCommand = text(xml);
        else if (n == QLatin1String("X"))
            e->x = text(xml);
        else if (n == QLatin1String("Y"))
            e->y = text(xml);
        else if (n == QLatin1String("Width"))
            e->width = text(xml);
        else if (n == QLatin1String("Height"))
            e->height = text(xml);
        else if (n == QLatin1String("Count"))
            e->count = text(xml);
        else if (n == QLatin1String("Index"))
            e->index = text(xml);
        else
            return false;
        return true;
    });
    return e;
}

void readDisplayElement(QXmlStreamReader &xml, QList<DisplayElement *> &elements)
{
    CommandElement common; // holds the common fields until the kind is known
    std::unique_ptr<DisplayElement> kind;
    while (xml.readNextStartElement()) {
        const QStringRef n = xml.name();
        if (n == QLatin1String("Name"))
            common.name = text(xml);
        else if (n == QLatin1String("Description"))
            common.description = text(xml);
        else if (n == QLatin1String("ToolTip"))
            common.toolTip = text(xml);
        else if (n == QLatin1String("Group"))
            common.group = text(xml);
        else if (n == QLatin1String("Visibility"))
            common.visibility = DescriptionText::toVisibility(text(xml));
        else if (n == QLatin1String("AccessMode"))
            common.accessMode = DescriptionText::toAccessMode(text(xml));
        else if (n == QLatin1String("Cacheable"))
            common.cacheable = DescriptionText::toBool(text(xml));
        else if (n == QLatin1String("InvalidatedBy"))
            common.invalidatedBy = text(xml).split(QLatin1Char(','));
        else if (n == QLatin1String("IsAvailable"))
            common.isAvailable = text(xml);
        else if (n == QLatin1String("Persistent"))
            common.persistent = DescriptionText::toBool(text(xml));
        else if (n == QLatin1String("Command"))
            kind.reset(readCommandElement(xml));
        else if (n == QLatin1String("String"))
            kind.reset(readStringElement(xml));
        else if (n == QLatin1String("Integer"))
            kind.reset(readIntegerElement(xml));
        else if (n == QLatin1String("Double"))
            kind.reset(readDoubleElement(xml));
        else if (n == QLatin1String("Enumeration"))
            kind.reset(readEnumerationElement(xml));
        else if (n == QLatin1String("List"))
            kind.reset(readListElement(xml));
        else if (n == QLatin1String("ROI"))
            kind.reset(readRoiElement(xml));
        else if (n == QLatin1String("Bool"))
            kind.reset(readBoolElement(xml));
        else
            xml.skipCurrentElement();
    }
    if (kind) {
        kind->copyCommonFrom(common);
        elements.append(kind.release());
    }
}

void readDisplay(
    QXmlStreamReader &xml, QMap<QString, bool> &groupStates, QList<DisplayElement *> &elements)
{
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("Groups")) {
            readGroups(xml, groupStates);
        } else if (xml.name() == QLatin1String("DisplayElements")) {
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("DisplayElement"))
                    readDisplayElement(xml, elements);
                else
                    xml.skipCurrentElement();
            }
        } else {
            xml.skipCurrentElement();
        }
    }
}

} // namespace

void DescriptionReader::readRoot(QXmlStreamReader &xml, CameraDescriptionFile &file)
{
    Header h = readRootAttributes(xml);
    file.mMajorVersion = h.major;
    file.mMinorVersion = h.minor;
    file.mSubMinorVersion = h.subMinor;
    file.mModelName = std::move(h.modelName);
    file.mVendorName = std::move(h.vendorName);
    file.mSupported = std::move(h.supported);
}

void DescriptionReader::readHeader(QIODevice *device, CameraDescriptionFile &file)
{
    QXmlStreamReader xml(device);
    // A well-formed document has a single root, so the first element decides; nothing after
    // its attributes is read.
    if (xml.readNextStartElement() && xml.name() == QLatin1String("CameraDescription")) {
        readRoot(xml, file);
    }
}

void DescriptionReader::readAll(QIODevice *device, CameraDescriptionFile &file)
{
    QXmlStreamReader xml(device);
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("CameraDescription")) {
            xml.skipCurrentElement();
            continue;
        }
        readRoot(xml, file);
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("CommandSet"))
                readCommandSet(xml, file.mCommands);
            else if (xml.name() == QLatin1String("Display"))
                readDisplay(xml, file.mGroupStates, file.mDisplayElements);
            else
                xml.skipCurrentElement();
        }
    }
}
