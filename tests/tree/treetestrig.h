#ifndef TREETESTRIG_H
#define TREETESTRIG_H

#include "comm/communicationthreadobject.h"
#include "comm/metatypes.h"
#include "comm/virtualcommunicator.h"
#include "description/cameradescriptionfile.h"
#include "engine/cameradatabase.h"
#include "ui/modelhiddenitemfilter.h"
#include "ui/pellixitem.h"
#include "ui/standarditemmodel.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <memory>

// Pieces of description files for the tree tests.
namespace TreeXml {

/// A command whose get returns paramId and whose set carries it.
inline QString valueCommand(const QString &id, const QString &code, const QString &paramId,
    const QString &kind = QStringLiteral("Int"))
{
    return QStringLiteral("<Command><Id>%1</Id><Code>%2</Code><CachedUpdate>False</CachedUpdate>"
                          "<DeveloperOnly>False</DeveloperOnly>"
                          "<ParamsSet><%4><Id>%3</Id></%4></ParamsSet><ParamsGet/>"
                          "<ReturnValueSet/><ReturnValueGet><%4><Id>%3</Id></%4></ReturnValueGet>"
                          "</Command>")
        .arg(id, code, paramId, kind);
}

/// A command without parameters (what a Command element sends).
inline QString actionCommand(const QString &id, const QString &code)
{
    return QStringLiteral("<Command><Id>%1</Id><Code>%2</Code><CachedUpdate>False</CachedUpdate>"
                          "<DeveloperOnly>False</DeveloperOnly><ParamsSet/><ParamsGet/>"
                          "<ReturnValueSet/><ReturnValueGet/></Command>")
        .arg(id, code);
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
    return QStringLiteral("<Enumeration><Items>"
                          "<Item><Value>0</Value><Name>Off</Name></Item>"
                          "<Item><Value>1</Value><Name>On</Name></Item>"
                          "</Items><Reference>%1</Reference></Enumeration>")
        .arg(ref);
}

inline QString command(const QString &ref, const QString &buttonText)
{
    return QStringLiteral("<Command><ButtonText>%2</ButtonText><Reference>%1</Reference></Command>")
        .arg(ref, buttonText);
}

inline QString element(const Element &e)
{
    return QStringLiteral("<DisplayElement><Name>%1</Name><Description>%2</Description>"
                          "<ToolTip>%3</ToolTip><Group>%4</Group><Visibility>%5</Visibility>"
                          "<AccessMode>%6</AccessMode><Cacheable>%7</Cacheable>"
                          "<InvalidatedBy>%8</InvalidatedBy><IsAvailable>%9</IsAvailable>"
                          "<Persistent>True</Persistent>%10</DisplayElement>")
        .arg(e.name.toHtmlEscaped(), e.description.toHtmlEscaped(), e.toolTip.toHtmlEscaped(),
            e.group.toHtmlEscaped(), e.visibility, e.access, e.cacheable, e.invalidatedBy,
            e.isAvailable.toHtmlEscaped())
        .arg(e.kindXml);
}

inline QString document(const QStringList &commands, const QList<Element> &elements)
{
    QString body;
    for (const Element &e : elements)
        body += element(e);
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<CameraDescription MajorVersion=\"1\" MinorVersion=\"0\" "
                          "SubMinorVersion=\"0\" ModelName=\"TreeCam\" Supported=\"\" "
                          "VendorName=\"Test\"><CommandSet>%1</CommandSet><Display><Groups/>"
                          "<DisplayElements>%2</DisplayElements></Display></CameraDescription>\n")
        .arg(commands.join(QString()), body);
}

} // namespace TreeXml

/// A real communication thread with one simulated camera port ("Tree") selected, a camera
/// database on it, and the parameter tree with its filter; descriptions come from files.
class TreeTestRig
{
public:
    /// Once per test program, before the first rig.
    static void setUpProcess()
    {
        MetaTypes::registerAll();
        qRegisterMetaType<QList<QPersistentModelIndex>>();
        qRegisterMetaType<QAbstractItemModel::LayoutChangeHint>();
        // Reads wait 750 / 50 = 15 ms instead of 375 ms.
        VirtualCommunicator::setDelayDivisor(50);
        VirtualCommunicator::clearVirtualDevices();
        VirtualCommunicator::addVirtualDevice(QStringLiteral("Tree"));
    }

    TreeTestRig()
    {
        mThread.reset(new QThread);
        comm.reset(new CommunicationThreadObject(mThread.get()));
        comm->setSerialPortScanning(false);
        QObject::connect(mThread.get(), &QThread::started, comm.get(),
            &CommunicationThreadObject::startCommunication);
        QSignalSpy listed(comm.get(), &CommunicationThreadObject::statusUpdate);
        mThread->start();
        while (listed.count() < 2 && listed.wait(5000)) { }
        comm->setCurrentPort(QStringLiteral("Tree"));
        database.reset(new CameraDatabase(comm.get()));
        filter.reset(new ModelHiddenItemFilter);
        model.reset(new StandardItemModel(filter.get()));
        model->reset();
        filter->setSourceModel(model.get());
    }

    ~TreeTestRig()
    {
        model.reset();
        filter.reset();
        database.reset();
        mThread->quit();
        mThread->wait(5000);
        comm.reset();
    }

    SimulatedCamera &camera()
    {
        return qobject_cast<VirtualCommunicator *>(comm->findCommunicator(QStringLiteral("Tree")))
            ->camera();
    }

    /// Writes the document to a file, reads it and builds the tree from it.
    bool load(const QString &xml)
    {
        if (!mDir.isValid())
            return false;
        const QString path = mDir.filePath(QStringLiteral("tree%1.xml").arg(++mFiles));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(xml.toUtf8());
        file.close();
        // The old description stays alive until no cell points into it.
        std::unique_ptr<CameraDescriptionFile> next(new CameraDescriptionFile(path));
        if (!next->isValid())
            return false;
        database->setDescription(next.get(), QStringLiteral("TreeCam"), QString());
        model->loadDescription(database.get(), next.get());
        description = std::move(next);
        return true;
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

    bool isShown(const QString &name) const
    {
        PellixItem *item = cell(name);
        return item && filter->mapFromSource(item->index()).isValid();
    }

    std::unique_ptr<CommunicationThreadObject> comm;
    std::unique_ptr<CameraDatabase> database;
    std::unique_ptr<ModelHiddenItemFilter> filter;
    std::unique_ptr<StandardItemModel> model;
    std::unique_ptr<CameraDescriptionFile> description;

private:
    std::unique_ptr<QThread> mThread;
    QTemporaryDir mDir;
    int mFiles = 0;
};

#endif // TREETESTRIG_H
