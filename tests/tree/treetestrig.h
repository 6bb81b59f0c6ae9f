#ifndef TREETESTRIG_H
#define TREETESTRIG_H

#include "description/cameradescriptionfile.h"
#include "engine/cameradatabase.h"
#include "tests/engine/commthreadfixture.h"
#include "ui/modelhiddenitemfilter.h"
#include "ui/pellixitem.h"
#include "ui/standarditemmodel.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

// Pieces of description files for the tree tests.
namespace TreeXml {

/// Parameters of one kind, as a command's ParamsSet, ParamsGet or ReturnValueGet holds them.
inline QString params(const QStringList &ids, const QString &kind = QStringLiteral("Int"))
{
    QString xml;
    for (const QString &id : ids)
        xml += QStringLiteral("<%1><Id>%2</Id></%1>").arg(kind, id);
    return xml;
}

inline QString cameraCommand(const QString &id, const QString &code, const QString &set = QString(),
    const QString &get = QString(), const QString &returned = QString())
{
    return QStringLiteral("<Command><Id>%1</Id><Code>%2</Code><CachedUpdate>False</CachedUpdate>"
                          "<DeveloperOnly>False</DeveloperOnly><ParamsSet>%3</ParamsSet>"
                          "<ParamsGet>%4</ParamsGet><ReturnValueSet/>"
                          "<ReturnValueGet>%5</ReturnValueGet></Command>")
        .arg(id, code, set, get, returned);
}

/// A command whose get returns paramId and whose set carries it.
inline QString valueCommand(const QString &id, const QString &code, const QString &paramId,
    const QString &kind = QStringLiteral("Int"))
{
    return cameraCommand(id, code, params({ paramId }, kind), QString(), params({ paramId }, kind));
}

/// One display element; the fields after kindXml are optional in brace initialisation.
struct Element
{
    QString name;
    QString group;
    QString kindXml; // e.g. integer("Gain")
    QString visibility = QStringLiteral("Beginner");
    QString access = QStringLiteral("RW");
    QString invalidatedBy = QString();
    QString isAvailable = QString();
    QString cacheable = QStringLiteral("True");
    QString toolTip = QString();
    QString description = QString();
};

inline QString integer(
    const QString &ref, const QString &prefix = QString(), const QString &suffix = QString())
{
    return QStringLiteral("<Integer><MinimumValue>0</MinimumValue><MaximumValue>1000</MaximumValue>"
                          "<Increment>1</Increment><Prefix>%2</Prefix><Suffix>%3</Suffix>"
                          "<Reference>%1</Reference></Integer>")
        .arg(ref, prefix, suffix);
}

inline QString boolean(const QString &ref, const QString &trueValue, const QString &falseValue)
{
    return QStringLiteral("<Bool><Reference>%1</Reference><TrueValue>%2</TrueValue>"
                          "<FalseValue>%3</FalseValue></Bool>")
        .arg(ref, trueValue, falseValue);
}

inline QString enumeration(const QString &ref)
{
    return QStringLiteral("<Enumeration><Items><Item><Value>0</Value><Name>Off</Name></Item>"
                          "<Item><Value>1</Value><Name>On</Name></Item></Items>"
                          "<Reference>%1</Reference></Enumeration>")
        .arg(ref);
}

inline QString command(const QString &ref, const QString &buttonText)
{
    return QStringLiteral("<Command><ButtonText>%2</ButtonText><Reference>%1</Reference></Command>")
        .arg(ref, buttonText);
}

/// A camera with the values Gain, Mode, Flip, Label (text) and the command Apply, plus
/// extraCommands.
inline QString document(const QList<Element> &elements, const QStringList &extraCommands = {})
{
    const QStringList commands = QStringList { valueCommand("Gain", "GAI", "Gain"),
        valueCommand("Mode", "MOD", "Mode"), valueCommand("Flip", "FLH", "Flip"),
        valueCommand("Label", "LBL", "Label", "String"), cameraCommand("Apply", "APL") }
        + extraCommands;
    QString body;
    for (const Element &e : elements) {
        body += QStringLiteral("<DisplayElement><Name>%1</Name><Description>%2</Description>"
                               "<ToolTip>%3</ToolTip><Group>%4</Group><Visibility>%5</Visibility>"
                               "<AccessMode>%6</AccessMode><Cacheable>%7</Cacheable>"
                               "<InvalidatedBy>%8</InvalidatedBy><IsAvailable>%9</IsAvailable>"
                               "<Persistent>True</Persistent>%10</DisplayElement>")
                    .arg(e.name.toHtmlEscaped(), e.description.toHtmlEscaped(),
                        e.toolTip.toHtmlEscaped(), e.group.toHtmlEscaped(), e.visibility, e.access,
                        e.cacheable, e.invalidatedBy, e.isAvailable.toHtmlEscaped())
                    .arg(e.kindXml);
    }
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<CameraDescription MajorVersion=\"1\" MinorVersion=\"0\" "
                          "SubMinorVersion=\"0\" ModelName=\"TreeCam\" Supported=\"\" "
                          "VendorName=\"Test\"><CommandSet>%1</CommandSet><Display><Groups/>"
                          "<DisplayElements>%2</DisplayElements></Display></CameraDescription>\n")
        .arg(commands.join(QString()), body);
}

} // namespace TreeXml

/// A real communication thread with one simulated camera port ("Tree") selected, a camera
/// database on it, and the parameter tree with its filter, both watched by model testers
/// through every build, show, hide and level change; descriptions come from files.
class TreeTestRig
{
public:
    /// Once per test program, before the first rig.
    static void setUpProcess()
    {
        CommThreadFixture::registerDevice(QStringLiteral("Tree"));
        qRegisterMetaType<QList<QPersistentModelIndex>>();
        qRegisterMetaType<QAbstractItemModel::LayoutChangeHint>();
    }

    /// False when the simulated port did not come up.
    bool start()
    {
        if (!mFixture.start(QStringLiteral("Tree")))
            return false;
        database.reset(new CameraDatabase(mFixture.comm()));
        filter.reset(new ModelHiddenItemFilter);
        model.reset(new StandardItemModel(filter.get()));
        model->reset();
        filter->setSourceModel(model.get());
        const auto mode = QAbstractItemModelTester::FailureReportingMode::QtTest;
        filterTester.reset(new QAbstractItemModelTester(filter.get(), mode));
        modelTester.reset(new QAbstractItemModelTester(model.get(), mode));
        return true;
    }

    ~TreeTestRig()
    {
        filterTester.reset();
        modelTester.reset();
        model.reset();
        filter.reset();
        database.reset();
        mFixture.stop();
    }

    CommunicationThreadObject *comm() const { return mFixture.comm(); }
    SimulatedCamera &camera() const { return mFixture.camera(); }

    /// Writes the document to a file, reads it and builds the tree from it.
    bool load(const QString &xml)
    {
        QFile file(mDir.filePath(QStringLiteral("tree%1.xml").arg(++mFiles)));
        if (!file.open(QIODevice::WriteOnly) || file.write(xml.toUtf8()) < 0)
            return false;
        file.close();
        // The old description stays alive until no cell points into it.
        std::unique_ptr<CameraDescriptionFile> next(new CameraDescriptionFile(file.fileName()));
        if (!next->isValid())
            return false;
        database->setDescription(next.get(), QStringLiteral("TreeCam"), QString());
        model->loadDescription(database.get(), next.get());
        description = std::move(next);
        return true;
    }

    bool load(const QList<TreeXml::Element> &elements, const QStringList &extraCommands = {})
    {
        return load(TreeXml::document(elements, extraCommands));
    }

    /// The value cell of the element called name.
    PellixItem *cell(const QString &name) const
    {
        for (PellixItem *item : model->items()) {
            if (item->name() == name)
                return item;
        }
        return nullptr;
    }

    /// The cell's index in the filter; invalid while its row is hidden.
    QModelIndex shown(const QString &name) const
    {
        PellixItem *item = cell(name);
        return item ? filter->mapFromSource(item->index()) : QModelIndex();
    }

    bool isShown(const QString &name) const { return shown(name).isValid(); }

    std::unique_ptr<CameraDatabase> database;
    std::unique_ptr<ModelHiddenItemFilter> filter;
    std::unique_ptr<StandardItemModel> model;
    std::unique_ptr<CameraDescriptionFile> description;
    std::unique_ptr<QAbstractItemModelTester> filterTester;
    std::unique_ptr<QAbstractItemModelTester> modelTester;

private:
    CommThreadFixture mFixture;
    QTemporaryDir mDir;
    int mFiles = 0;
};

#endif // TREETESTRIG_H
