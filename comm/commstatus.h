#ifndef COMMSTATUS_H
#define COMMSTATUS_H

#include <QMetaType>

/// State of one port as reported by the communication thread's statusUpdate signal.
enum CommStatus {
    StatusAdded = 0, ///< the port has become known
    StatusRemoved = 1, ///< the port is gone (or a status query found no such port)
    StatusNoCamera = 2, ///< the port exists; no camera has been detected on it (yet)
    StatusCameraFound = 3 ///< a camera answered; its model text accompanies the status
};

Q_DECLARE_METATYPE(CommStatus)

#endif // COMMSTATUS_H
