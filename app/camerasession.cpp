#include "app/camerasession.h"

#include "comm/communicationthreadobject.h"
#include "comm/relayserver.h"
#include "description/cameradescriptionfile.h"
#include "engine/cameradatabase.h"
#include "engine/trackingchannel.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

CameraSession::CameraSession()
    : mThread(new QThread)
    , mComm(new CommunicationThreadObject(mThread))
    , mChannel(std::make_unique<TrackingChannel>(mComm))
    , mDatabase(std::make_unique<CameraDatabase>(mChannel.get()))
{
    connect(
        mChannel.get(), &TrackingChannel::replied, mDatabase.get(), &CameraDatabase::processReply);
}

CameraSession::~CameraSession()
{
    mDatabase.reset();
    // As the program closes: a waiting exchange gives up at once and the ports are closed.
    mThread->requestInterruption();
    mThread->quit();
    mThread->wait();
    mChannel.reset();
    delete mComm;
    delete mThread;
}

void CameraSession::start()
{
    mThread->start();
    QMetaObject::invokeMethod(
        mComm, &CommunicationThreadObject::startCommunication, Qt::BlockingQueuedConnection);
}

QList<CameraSession::Port> CameraSession::discover()
{
    QHash<QString, QString> cameras;
    const QMetaObject::Connection statuses
        = connect(mComm, &CommunicationThreadObject::statusUpdate, this,
            [&cameras](const QString &port, CommStatus status, const QString &model) {
                if (status == StatusCameraFound)
                    cameras.insert(port, model);
                else
                    cameras.remove(port);
            });
    waitForRelay();
    mComm->startDiscovery();
    // From this thread the round runs in the communication thread while we wait for it.
    mComm->checkAllCommDevices();
    mComm->stopDiscovery();
    QCoreApplication::sendPostedEvents();
    disconnect(statuses);

    QList<Port> ports;
    const QStringList names = mComm->portNames();
    for (const QString &name : names)
        ports.append({ name, cameras.value(name) });
    return ports;
}

void CameraSession::waitForRelay()
{
    // As discovery does, the relay program is started when there is one; its ports join once
    // it connects.
    if (!QFileInfo(RelayServer::defaultProgram()).isFile())
        return;
    QEventLoop relay;
    connect(mComm->relayServer(), &RelayServer::relayConnected, &relay, &QEventLoop::quit);
    mComm->relayServer()->start();
    QTimer::singleShot(RelayWaitMs, &relay, &QEventLoop::quit);
    relay.exec();
    // The communication thread lists the relay's ports after the signal.
    QMetaObject::invokeMethod(
        mComm, []() {}, Qt::BlockingQueuedConnection);
}

QByteArray CameraSession::probe(const QString &port, bool *opened)
{
    QByteArray identification;
    // As one step of discovery, in the communication thread.
    QMetaObject::invokeMethod(
        mComm,
        [this, port, opened, &identification]() {
            AbstractCommunicator *comm = mComm->findCommunicator(port);
            *opened = comm && (comm->open(), comm->isOpen());
            if (*opened) {
                if (comm->hasCamera())
                    identification = comm->cameraId();
                comm->close();
            }
        },
        Qt::BlockingQueuedConnection);
    return identification;
}

int CameraSession::usePort(const QString &port, QByteArray *identification, QString *error)
{
    QString chosen = port;
    if (chosen.isEmpty()) {
        QStringList found;
        for (const Port &p : discover()) {
            if (!p.second.isEmpty()) {
                found.append(p.first + QLatin1Char('\t') + p.second);
                chosen = p.first;
            }
        }
        if (found.isEmpty()) {
            *error = QStringLiteral("No camera found on any port");
            return CameraFailure;
        }
        if (found.size() > 1) {
            *error = QStringLiteral("Cameras on several ports; choose one with --port:\n")
                + found.join(QLatin1Char('\n'));
            return UsageError;
        }
    } else if (!mComm->findCommunicator(chosen)) {
        if (QFileInfo::exists(chosen)) {
            // A device the listing does not show (a pseudo-terminal, a link): a serial port.
            QMetaObject::invokeMethod(
                mComm, [this, chosen]() { mComm->addSerialPort(chosen); },
                Qt::BlockingQueuedConnection);
        } else {
            // Perhaps a port that the relay serves once it runs.
            waitForRelay();
            if (!mComm->findCommunicator(chosen)) {
                *error = QStringLiteral("Unknown port %1; ports: %2")
                             .arg(chosen, mComm->portNames().join(QStringLiteral(", ")));
                return UsageError;
            }
        }
    }

    bool opened = false;
    *identification = probe(chosen, &opened);
    if (!opened) {
        *error = QStringLiteral("Cannot open port %1").arg(chosen);
        return CameraFailure;
    }
    if (identification->isEmpty()) {
        *error = QStringLiteral("No camera answers on %1").arg(chosen);
        return CameraFailure;
    }
    mComm->setCurrentPort(chosen);
    return Ok;
}

int CameraSession::useDescription(
    const QByteArray &identification, const QString &file, QString *error, QString *warning)
{
    mRegistry.parseIdentification(identification);
    const QString model = mRegistry.cameraModel();
    const QString type = mRegistry.cameraType();
    CameraDescriptionFile *chosen = nullptr;
    if (!file.isEmpty()) {
        if (!QFileInfo(file).isReadable()) {
            *error = QStringLiteral("Cannot read %1").arg(file);
            return FileError;
        }
        auto given = std::make_unique<CameraDescriptionFile>(QFileInfo(file).absoluteFilePath());
        if (!given->isValid()) {
            *error = QStringLiteral("%1 is not a camera description").arg(file);
            return FileError;
        }
        if (DescriptionRegistry::category(given.get(), model, type)
            != DescriptionRegistry::BestMatch)
            *warning = QStringLiteral("%1 describes %2 %3, not the camera %4")
                           .arg(file, given->modelName(),
                               given->supportedModels().join(QLatin1Char(',')),
                               QString::fromLatin1(identification));
        chosen = given.release();
        mRegistry.add(chosen);
    } else {
        mRegistry.loadDescriptions();
        QList<CameraDescriptionFile *> best, match, noMatch;
        DescriptionRegistry::sortDescriptions(
            mRegistry.descriptions(), model, type, best, match, noMatch);
        if (best.isEmpty()) {
            *error = QStringLiteral("No description fits the camera %1 (model %2, type %3); "
                                    "give one with --description")
                         .arg(QString::fromLatin1(identification), model, type);
            return FileError;
        }
        chosen = best.first();
    }
    mRegistry.setCurrent(chosen);
    mDatabase->setDescription(chosen, model, type);
    return Ok;
}
