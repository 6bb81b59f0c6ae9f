#include "description/descriptionwriter.h"

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

#include <QSet>
#include <QXmlStreamWriter>

namespace {

// At most 6 significant digits, exponent form outside 1e-4 .. 1e5, no trailing zeros.
QString doubleText(double value)
{
    return QString::number(value, 'g', 6);
}

// Element names are passed as QStringLiteral: the stream writer takes QString, and literals
// cost no allocation per call.
void field(QXmlStreamWriter &xml, const QString &name, const QString &value)
{
    if (!value.contains(QLatin1Char('\r'))) {
        xml.writeTextElement(name, value);
        return;
    }
    // A raw CR in element text reads back as a line feed; a character reference keeps it.
    xml.writeStartElement(name);
    const QStringList parts = value.split(QLatin1Char('\r'));
    for (int i = 0; i < parts.size(); ++i) {
        if (i > 0)
            xml.writeEntityReference(QStringLiteral("#13"));
        xml.writeCharacters(parts.at(i));
    }
    xml.writeEndElement();
}

void field(QXmlStreamWriter &xml, const QString &name, qint32 value)
{
    xml.writeTextElement(name, QString::number(value));
}

void field(QXmlStreamWriter &xml, const QString &name, double value)
{
    xml.writeTextElement(name, doubleText(value));
}

void field(QXmlStreamWriter &xml, const QString &name, bool value)
{
    xml.writeTextElement(name, DescriptionText::fromBool(value));
}

void writeParameters(
    QXmlStreamWriter &xml, const QString &name, const QList<CommandParameter> &list)
{
    xml.writeStartElement(name);
    for (const CommandParameter &parameter : list) {
        switch (parameter.type) {
        case CommandParameterType::Int:
            xml.writeStartElement(QStringLiteral("Int"));
            field(xml, QStringLiteral("Id"), parameter.id);
            xml.writeEndElement();
            break;
        case CommandParameterType::String:
            xml.writeStartElement(QStringLiteral("String"));
            field(xml, QStringLiteral("Id"), parameter.id);
            xml.writeEndElement();
            break;
        case CommandParameterType::Const:
            xml.writeStartElement(QStringLiteral("Const"));
            field(xml, QStringLiteral("Value"), QString::fromLatin1(parameter.value));
            xml.writeEndElement();
            break;
        case CommandParameterType::None:
            break;
        }
    }
    xml.writeEndElement();
}

void writeCommand(QXmlStreamWriter &xml, const Command &command)
{
    xml.writeStartElement(QStringLiteral("Command"));
    field(xml, QStringLiteral("Id"), command.id);
    field(xml, QStringLiteral("Code"), QString::fromLatin1(command.code));
    field(xml, QStringLiteral("CachedUpdate"), command.cachedUpdate);
    field(xml, QStringLiteral("DeveloperOnly"), command.developerOnly);
    writeParameters(xml, QStringLiteral("ParamsSet"), command.paramsSet);
    writeParameters(xml, QStringLiteral("ParamsGet"), command.paramsGet);
    writeParameters(xml, QStringLiteral("ReturnValueSet"), command.returnValueSet);
    writeParameters(xml, QStringLiteral("ReturnValueGet"), command.returnValueGet);
    xml.writeEndElement();
}

void writeKind(QXmlStreamWriter &xml, const DisplayElement &element, bool includeDeveloper)
{
    switch (element.type()) {
    case DisplayElementType::Command: {
        const auto &e = static_cast<const CommandElement &>(element);
        xml.writeStartElement(QStringLiteral("Command"));
        field(xml, QStringLiteral("Reference"), e.reference);
        field(xml, QStringLiteral("ButtonText"), e.buttonText);
        break;
    }
    case DisplayElementType::String: {
        const auto &e = static_cast<const StringElement &>(element);
        xml.writeStartElement(QStringLiteral("String"));
        field(xml, QStringLiteral("MinimumLength"), e.minimumLength);
        field(xml, QStringLiteral("MaximumLength"), e.maximumLength);
        field(xml, QStringLiteral("Reference"), e.reference);
        break;
    }
    case DisplayElementType::Integer: {
        const auto &e = static_cast<const IntegerElement &>(element);
        xml.writeStartElement(QStringLiteral("Integer"));
        field(xml, QStringLiteral("MinimumValue"), e.minimumValue);
        field(xml, QStringLiteral("MaximumValue"), e.maximumValue);
        field(xml, QStringLiteral("Increment"), e.increment);
        field(xml, QStringLiteral("Prefix"), e.prefix);
        field(xml, QStringLiteral("Suffix"), e.suffix);
        field(xml, QStringLiteral("Reference"), e.reference);
        break;
    }
    case DisplayElementType::Enumeration: {
        const auto &e = static_cast<const EnumerationElement &>(element);
        xml.writeStartElement(QStringLiteral("Enumeration"));
        xml.writeStartElement(QStringLiteral("Items"));
        for (const EnumerationItem &item : e.items) {
            if (!includeDeveloper && item.visibility == Visibility::Developer)
                continue;
            xml.writeStartElement(QStringLiteral("Item"));
            field(xml, QStringLiteral("Value"), item.value);
            field(xml, QStringLiteral("Name"), item.name);
            field(xml, QStringLiteral("Description"), item.description);
            field(xml, QStringLiteral("Visibility"),
                DescriptionText::fromVisibility(item.visibility));
            field(xml, QStringLiteral("IsAvailable"), item.isAvailable);
            xml.writeEndElement();
        }
        xml.writeEndElement();
        field(xml, QStringLiteral("Reference"), e.reference);
        break;
    }
    case DisplayElementType::Double: {
        const auto &e = static_cast<const DoubleElement &>(element);
        xml.writeStartElement(QStringLiteral("Double"));
        field(xml, QStringLiteral("MinimumValue"), e.minimumValue);
        field(xml, QStringLiteral("MaximumValue"), e.maximumValue);
        field(xml, QStringLiteral("Increment"), e.increment);
        field(xml, QStringLiteral("Suffix"), e.suffix);
        field(xml, QStringLiteral("Prefix"), e.prefix);
        field(xml, QStringLiteral("Reference"), e.reference);
        xml.writeStartElement(QStringLiteral("Convert"));
        field(xml, QStringLiteral("Multiply"), e.convertMultiply);
        field(xml, QStringLiteral("Add"), e.convertAdd);
        xml.writeEndElement();
        break;
    }
    case DisplayElementType::Bool: {
        const auto &e = static_cast<const BoolElement &>(element);
        xml.writeStartElement(QStringLiteral("Bool"));
        field(xml, QStringLiteral("Reference"), e.reference);
        field(xml, QStringLiteral("TrueValue"), e.trueValue);
        field(xml, QStringLiteral("FalseValue"), e.falseValue);
        break;
    }
    case DisplayElementType::List: {
        const auto &e = static_cast<const ListElement &>(element);
        xml.writeStartElement(QStringLiteral("List"));
        field(xml, QStringLiteral("Start"), e.start);
        field(xml, QStringLiteral("End"), e.end);
        field(xml, QStringLiteral("Count"), e.count);
        field(xml, QStringLiteral("Get"), e.get);
        field(xml, QStringLiteral("Set"), e.set);
        field(xml, QStringLiteral("Index"), e.index);
        break;
    }
    case DisplayElementType::ROI: {
        const auto &e = static_cast<const RoiElement &>(element);
        xml.writeStartElement(QStringLiteral("ROI"));
        field(xml, QStringLiteral("Start"), e.start);
        field(xml, QStringLiteral("End"), e.end);
        field(xml, QStringLiteral("ScreenWidth"), e.screenWidth);
        field(xml, QStringLiteral("ScreenHeight"), e.screenHeight);
        field(xml, QStringLiteral("GetCommand"), e.getCommand);
        field(xml, QStringLiteral("SetCommand"), e.setCommand);
        field(xml, QStringLiteral("X"), e.x);
        field(xml, QStringLiteral("Y"), e.y);
        field(xml, QStringLiteral("Width"), e.width);
        field(xml, QStringLiteral("Height"), e.height);
        field(xml, QStringLiteral("Count"), e.count);
        field(xml, QStringLiteral("Index"), e.index);
        break;
    }
    }
    xml.writeEndElement();
}

void writeElement(QXmlStreamWriter &xml, const DisplayElement &element, bool includeDeveloper)
{
    xml.writeStartElement(QStringLiteral("DisplayElement"));
    field(xml, QStringLiteral("Name"), element.name);
    field(xml, QStringLiteral("Description"), element.description);
    field(xml, QStringLiteral("ToolTip"), element.toolTip);
    field(xml, QStringLiteral("Group"), element.group);
    field(xml, QStringLiteral("Visibility"), DescriptionText::fromVisibility(element.visibility));
    field(xml, QStringLiteral("AccessMode"), DescriptionText::fromAccessMode(element.accessMode));
    field(xml, QStringLiteral("Cacheable"), element.cacheable);
    field(xml, QStringLiteral("InvalidatedBy"), element.invalidatedBy.join(QLatin1Char(',')));
    field(xml, QStringLiteral("IsAvailable"), element.isAvailable);
    field(xml, QStringLiteral("Persistent"), element.persistent);
    writeKind(xml, element, includeDeveloper);
    xml.writeEndElement();
}

// Group paths still used by some element, as its own group or as an ancestor of it. Developer
// elements count even when an export leaves them out.
QSet<QString> groupsInUse(const QList<DisplayElement *> &elements)
{
    QSet<QString> used;
    for (const DisplayElement *element : elements) {
        const QString &group = element->group;
        if (used.contains(group))
            continue;
        used.insert(group);
        for (int slash = group.indexOf(QLatin1Char('/')); slash >= 0;
             slash = group.indexOf(QLatin1Char('/'), slash + 1))
            used.insert(group.left(slash));
    }
    return used;
}

} // namespace

bool DescriptionWriter::write(
    QIODevice *device, const CameraDescriptionFile &file, bool includeDeveloper)
{
    QXmlStreamWriter xml(device);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(4);
    xml.writeStartDocument();

    xml.writeStartElement(QStringLiteral("CameraDescription"));
    xml.writeAttribute(QStringLiteral("MajorVersion"), QString::number(file.mMajorVersion));
    xml.writeAttribute(QStringLiteral("MinorVersion"), QString::number(file.mMinorVersion));
    xml.writeAttribute(QStringLiteral("SubMinorVersion"), QString::number(file.mSubMinorVersion));
    xml.writeAttribute(QStringLiteral("ModelName"), file.mModelName);
    xml.writeAttribute(QStringLiteral("Supported"), file.mSupported.join(QLatin1Char(',')));
    xml.writeAttribute(QStringLiteral("SchemaMajorVersion"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("SchemaMinorVersion"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("SchemaSubMinorVersion"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("VendorName"), file.mVendorName);

    xml.writeStartElement(QStringLiteral("CommandSet"));
    for (const Command &command : file.mCommands) {
        if (!includeDeveloper && command.developerOnly)
            continue;
        writeCommand(xml, command);
    }
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("Display"));
    xml.writeStartElement(QStringLiteral("Groups"));
    const QSet<QString> used = groupsInUse(file.mDisplayElements);
    for (auto it = file.mGroupStates.cbegin(); it != file.mGroupStates.cend(); ++it) {
        if (!used.contains(it.key()))
            continue;
        xml.writeStartElement(QStringLiteral("Group"));
        field(xml, QStringLiteral("Name"), it.key());
        field(xml, QStringLiteral("Collapsed"), !it.value());
        xml.writeEndElement();
    }
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("DisplayElements"));
    for (const DisplayElement *element : file.mDisplayElements) {
        if (!includeDeveloper && element->visibility == Visibility::Developer)
            continue;
        writeElement(xml, *element, includeDeveloper);
    }
    xml.writeEndElement(); // DisplayElements
    xml.writeEndElement(); // Display
    xml.writeEndElement(); // CameraDescription
    xml.writeEndDocument();
    return !xml.hasError();
}
