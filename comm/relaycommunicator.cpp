#include "comm/relaycommunicator.h"

#include "comm/relayserver.h"

RelayCommunicator::RelayCommunicator(const QString &name, QObject *parent)
    : AbstractCommunicator(parent)
    , mName(name.toLatin1())
{ }

unsigned RelayCommunicator::portCount()
{
    RelayServer *server = RelayServer::instance();
    return server ? server->portCount() : 0;
}

void RelayCommunicator::portInfo(
    unsigned index, QByteArray &manufacturer, QByteArray &name, unsigned &version)
{
    manufacturer.clear();
    name.clear();
    version = 0;
    if (RelayServer *server = RelayServer::instance())
        server->portInfo(index, manufacturer, name, version);
}

void RelayCommunicator::startServer()
{
    if (RelayServer *server = RelayServer::instance())
        server->start();
}

bool RelayCommunicator::open()
{
    RelayServer *server = RelayServer::instance();
    mOpened = server && server->openPort(mName);
    return mOpened;
}

bool RelayCommunicator::close()
{
    mOpened = false;
    RelayServer *server = RelayServer::instance();
    return server && server->closePort(mName);
}

bool RelayCommunicator::isOpen()
{
    RelayServer *server = RelayServer::instance();
    return server && server->isPortOpen(mName);
}

bool RelayCommunicator::hasCamera()
{
    RelayServer *server = RelayServer::instance();
    return server && server->detectCamera(mName);
}

QByteArray RelayCommunicator::portName()
{
    return mName;
}

bool RelayCommunicator::writeFrame(const QByteArray &frame)
{
    RelayServer *server = RelayServer::instance();
    return server && server->writePort(mName, frame);
}

bool RelayCommunicator::readReply(QByteArray &out, int timeoutMs, bool expectReply)
{
    RelayServer *server = RelayServer::instance();
    return server && server->readPort(mName, out, timeoutMs, expectReply);
}
