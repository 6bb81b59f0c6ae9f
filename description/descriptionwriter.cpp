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

void field(QXmlStreamWriter &xml, const char *name, const QString &value)
{
    xml.writeTextElement(QLatin1String(name), value);
}

void field(QXmlStreamWriter &xml, const char *name, qint32 value)
{
    xml.writeTextElement(QLatin1String(name), QString::number(value));
}

void field(QXmlStreamWriter &xml, const char *name, double value)
{
    xml.writeTextElement(QLatin1String(name), doubleText(value));
}

void field(QXmlStreamWriter &xml, const char *name, bool value)
{
    xml.writeTextElement(QLatin1String(name), DescriptionText::fromBool(value));
}

void writeParameters(QXmlStreamWriter &xml, const char *name, const QList<CommandParameter> &list)
{
    xml.writeStartElement(QLatin1String(name));
    for (const CommandParameter &parameter : list) {
        switch (parameter.type) {
        case CommandParameterType::Int:
            xml.writeStartElement(QLatin1String("Int"));
            field(xml, "Id", parameter.id);
            xml.writeEndElement();
            break;
        case CommandParameterType::String:
            xml.writeStartElement(QLatin1String("String"));
            field(xml, "Id", parameter.id);
            xml.writeEndElement();
            break;
        case CommandParameterType::Const:
            xml.writeStartElement(QLatin1String("Const"));
            field(xml, "Value", QString::fromLatin1(parameter.value));
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
    xml.writeStartElement(QLatin1String("Command"));
    field(xml, "Id", command.id);
    field(xml, "Code", QString::fromLatin1(command.code));
    field(xml, "CachedUpdate", command.cachedUpdate);
    field(xml, "DeveloperOnly", command.developerOnly);
    writeParameters(xml, "ParamsSet", command.paramsSet);
    writeParameters(xml, "ParamsGet", command.paramsGet);
    writeParameters(xml, "ReturnValueSet", command.returnValueSet);
    writeParameters(xml, "ReturnValueGet", command.returnValueGet);
    xml.writeEndElement();
}

void writeKind(QXmlStreamWriter &xml, const DisplayElement &element, bool includeDeveloper)
{
    switch (element.type()) {
    case DisplayElementType::Command: {
        const auto &e = static_cast<const CommandElement &>(element);
        xml.writeStartElement(QLatin1String("Command"));
        field(xml, "Reference", e.reference);
        field(xml, "ButtonText", e.buttonText);
        break;
    }
    case DisplayElementType::String: {
        const auto &e = static_cast<const StringElement &>(element);
        xml.writeStartElement(QLatin1String("String"));
        field(xml, "MinimumLength", e.minimumLength);
        field(xml, "MaximumLength", e.maximumLength);
        field(xml, "Reference", e.reference);
        break;
    }
    case DisplayElementType::Integer: {
        const auto &e = static_cast<const IntegerElement &>(element);
        xml.writeStartElement(QLatin1String("Integer"));
        field(xml, "MinimumValue", e.minimumValue);
        field(xml, "MaximumValue", e.maximumValue);
        field(xml, "Increment", e.increment);
        field(xml, "Prefix", e.prefix);
        field(xml, "Suffix", e.suffix);
        field(xml, "Reference", e.reference);
        break;
    }
    case DisplayElementType::Enumeration: {
        const auto &e = static_cast<const EnumerationElement &>(element);
        xml.writeStartElement(QLatin1String("Enumeration"));
        xml.writeStartElement(QLatin1String("Items"));
        for (const EnumerationItem &item : e.items) {
            if (!includeDeveloper && item.visibility == Visibility::Developer)
                continue;
            xml.writeStartElement(QLatin1String("Item"));
            field(xml, "Value", item.value);
            field(xml, "Name", item.name);
            field(xml, "Description", item.description);
            field(xml, "Visibility", DescriptionText::fromVisibility(item.visibility));
            field(xml, "IsAvailable", item.isAvailable);
            xml.writeEndElement();
        }
        xml.writeEndElement();
        field(xml, "Reference", e.reference);
        break;
    }
    case DisplayElementType::Double: {
        const auto &e = static_cast<const DoubleElement &>(element);
        xml.writeStartElement(QLatin1String("Double"));
        field(xml, "MinimumValue", e.minimumValue);
        field(xml, "MaximumValue", e.maximumValue);
        field(xml, "Increment", e.increment);
        field(xml, "Suffix", e.suffix);
        field(xml, "Prefix", e.prefix);
        field(xml, "Reference", e.reference);
        xml.writeStartElement(QLatin1String("Convert"));
        field(xml, "Multiply", e.convertMultiply);
        field(xml, "Add", e.convertAdd);
        xml.writeEndElement();
        break;
    }
    case DisplayElementType::Bool: {
        const auto &e = static_cast<const BoolElement &>(element);
        xml.writeStartElement(QLatin1String("Bool"));
        field(xml, "Reference", e.reference);
        field(xml, "TrueValue", e.trueValue);
        field(xml, "FalseValue", e.falseValue);
        break;
    }
    case DisplayElementType::List: {
        const auto &e = static_cast<const ListElement &>(element);
        xml.writeStartElement(QLatin1String("List"));
        field(xml, "Start", e.start);
        field(xml, "End", e.end);
        field(xml, "Count", e.count);
        field(xml, "Get", e.get);
        field(xml, "Set", e.set);
        field(xml, "Index", e.index);
        break;
    }
    case DisplayElementType::ROI: {
        const auto &e = static_cast<const RoiElement &>(element);
        xml.writeStartElement(QLatin1String("ROI"));
        field(xml, "Start", e.start);
        field(xml, "End", e.end);
        field(xml, "ScreenWidth", e.screenWidth);
        field(xml, "ScreenHeight", e.screenHeight);
        field(xml, "GetCommand", e.getCommand);
        field(xml, "SetCommand", e.setCommand);
        field(xml, "X", e.x);
        field(xml, "Y", e.y);
        field(xml, "Width", e.width);
        field(xml, "Height", e.height);
        field(xml, "Count", e.count);
        field(xml, "Index", e.index);
        break;
    }
    }
    xml.writeEndElement();
}

void writeElement(QXmlStreamWriter &xml, const DisplayElement &element, bool includeDeveloper)
{
    xml.writeStartElement(QLatin1String("DisplayElement"));
    field(xml, "Name", element.name);
    field(xml, "Description", element.description);
    field(xml, "ToolTip", element.toolTip);
    field(xml, "Group", element.group);
    field(xml, "Visibility", DescriptionText::fromVisibility(element.visibility));
    field(xml, "AccessMode", DescriptionText::fromAccessMode(element.accessMode));
    field(xml, "Cacheable", element.cacheable);
    field(xml, "InvalidatedBy", element.invalidatedBy.join(QLatin1Char(',')));
    field(xml, "IsAvailable", element.isAvailable);
    field(xml, "Persistent", element.persistent);
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

    xml.writeStartElement(QLatin1String("CameraDescription"));
    xml.writeAttribute(QLatin1String("MajorVersion"), QString::number(file.mMajorVersion));
    xml.writeAttribute(QLatin1String("MinorVersion"), QString::number(file.mMinorVersion));
    xml.writeAttribute(QLatin1String("SubMinorVersion"), QString::number(file.mSubMinorVersion));
    xml.writeAttribute(QLatin1String("ModelName"), file.mModelName);
    xml.writeAttribute(QLatin1String("Supported"), file.mSupported.join(QLatin1Char(',')));
    xml.writeAttribute(QLatin1String("SchemaMajorVersion"), QLatin1String("1"));
    xml.writeAttribute(QLatin1String("SchemaMinorVersion"), QLatin1String("0"));
    xml.writeAttribute(QLatin1String("SchemaSubMinorVersion"), QLatin1String("0"));
    xml.writeAttribute(QLatin1String("VendorName"), file.mVendorName);

    xml.writeStartElement(QLatin1String("CommandSet"));
    for (const Command &command : file.mCommands) {
        if (!includeDeveloper && command.developerOnly)
            continue;
        writeCommand(xml, command);
    }
    xml.writeEndElement();

    xml.writeStartElement(QLatin1String("Display"));
    xml.writeStartElement(QLatin1String("Groups"));
    const QSet<QString> used = groupsInUse(file.mDisplayElements);
    for (auto it = file.mGroupStates.cbegin(); it != file.mGroupStates.cend(); ++it) {
        if (!used.contains(it.key()))
            continue;
        xml.writeStartElement(QLatin1String("Group"));
        field(xml, "Name", it.key());
        field(xml, "Collapsed", !it.value());
        xml.writeEndElement();
    }
    xml.writeEndElement();

    xml.writeStartElement(QLatin1String("DisplayElements"));
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
