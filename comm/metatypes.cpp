#include "comm/metatypes.h"

#include "comm/abstractcommunicator.h"
#include "comm/commstatus.h"

void MetaTypes::registerAll()
{
    qRegisterMetaType<CommStatus>("CommStatus");
    qRegisterMetaType<QSerialPortInfo>("QextPortInfo");
    qRegisterMetaType<AbstractCommunicator::Result>("AbstractCommunicator::Result");
    qRegisterMetaType<bool *>("bool *");
    qRegisterMetaType<QVariantList *>("QVariantList *");
}
