#ifndef METATYPES_H
#define METATYPES_H

#include <QMetaType>
#include <QSerialPortInfo>
#include <QVariantList>

/// Serial-port description carried by the hot-plug slots; registered under this name.
using QextPortInfo = QSerialPortInfo;

Q_DECLARE_METATYPE(QSerialPortInfo)

/// Registers the types that travel through queued signals and blocking queued calls between
/// the user-interface thread and the communication thread.
class MetaTypes
{
public:
    /// Registers "CommStatus", "QextPortInfo", "AbstractCommunicator::Result", "bool *" and
    /// "QVariantList *". Safe to call more than once.
    static void registerAll();
};

#endif // METATYPES_H
