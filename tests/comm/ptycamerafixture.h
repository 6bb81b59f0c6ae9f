#ifndef PTYCAMERAFIXTURE_H
#define PTYCAMERAFIXTURE_H

#include "comm/ttycamerathread.h"

#include <QObject>

#include <memory>

// The simulated camera on a pseudo-terminal as the far side of a serial line, with the tests'
// way to unplug it in the middle of an exchange.
class PtyCameraFixture : public TtyCameraThread
{
public:
    using TtyCameraThread::TtyCameraThread;

    /// Hangs up in the server's thread as soon as a command after those handled so far has
    /// arrived. The server may still be announcing the previous command when this is called,
    /// so the announcement is judged by its count, not by its arrival.
    void hangUpAtNextCommand()
    {
        const int handled = camera().receivedCommandCount();
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = QObject::connect(server(), &TtyCameraServer::commandsHandled, server(),
            [this, connection, handled](int total) {
                if (total <= handled)
                    return;
                QObject::disconnect(*connection);
                server()->hangUp();
            });
    }
};

#endif // PTYCAMERAFIXTURE_H
