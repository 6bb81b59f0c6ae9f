#ifndef CAMERASESSION_H
#define CAMERASESSION_H

#include "description/descriptionregistry.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <memory>

class CameraDatabase;
class CameraDescriptionFile;
class CommunicationThreadObject;
class QThread;
class TrackingChannel;

/// A camera connection without a window (mfxctl): the program's communication thread with its
/// discovery, its choice of the port and of the description, and the value engine on top.
class CameraSession : public QObject
{
    Q_OBJECT

public:
    /// How an operation ended; mfxctl's exit codes.
    enum Exit { Ok = 0, CameraFailure = 1, UsageError = 2, FileError = 3 };

    /// How long discovery waits for the relay program it started to connect.
    static constexpr int RelayWaitMs = 3000;

    /// A port and the identification of the camera found on it (empty: none).
    using Port = QPair<QString, QString>;

    CameraSession();
    ~CameraSession() override;

    /// Starts the communication thread and waits until it has listed its ports.
    void start();
    /// One discovery round over every port, in the program's port order.
    QList<Port> discover();
    /// Makes port (a listed name or a device path) the current port, or, without one, the only
    /// port with a camera; identification receives the camera's answer. Returns an exit code;
    /// error explains anything but Ok.
    int usePort(const QString &port, QByteArray *identification, QString *error);
    /// Chooses the description as the program does (the newest best match), or reads the given
    /// file, and hands it to the value engine. Returns an exit code; error explains anything but
    /// Ok, warning whatever the user should know about a given file.
    int useDescription(
        const QByteArray &identification, const QString &file, QString *error, QString *warning);

    CommunicationThreadObject *comm() const { return mComm; }
    TrackingChannel *channel() const { return mChannel.get(); }
    CameraDatabase *database() const { return mDatabase.get(); }
    CameraDescriptionFile *description() const { return mRegistry.current(); }
    QString cameraModel() const { return mRegistry.cameraModel(); }
    QString cameraType() const { return mRegistry.cameraType(); }

private:
    QByteArray probe(const QString &port, bool *opened);
    void waitForRelay();

    QThread *mThread = nullptr;
    CommunicationThreadObject *mComm = nullptr;
    std::unique_ptr<TrackingChannel> mChannel;
    std::unique_ptr<CameraDatabase> mDatabase;
    DescriptionRegistry mRegistry;
};

#endif // CAMERASESSION_H
