#ifndef ENGINETESTSUPPORT_H
#define ENGINETESTSUPPORT_H

#include "description/cameradescriptionfile.h"
#include "description/command.h"
#include "engine/valuesubscriber.h"

#include <QList>
#include <QPair>
#include <QVariant>

#include <functional>
#include <initializer_list>
#include <memory>

inline CommandParameter intParam(const QString &id)
{
    return { CommandParameterType::Int, id, {} };
}

inline CommandParameter textParam(const QString &id)
{
    return { CommandParameterType::String, id, {} };
}

inline CommandParameter constParam(const QByteArray &value)
{
    return { CommandParameterType::Const, {}, value };
}

/// A command written in the order of its request: get arguments, set arguments, get reply, set
/// reply.
struct CommandDef
{
    QString id;
    QByteArray code;
    QList<CommandParameter> paramsGet, paramsSet, returnValueGet, returnValueSet;
    bool cachedUpdate = false;
};

/// A description held only in memory (no file behind it).
inline std::unique_ptr<CameraDescriptionFile> makeDescription(
    std::initializer_list<CommandDef> defs)
{
    auto description = std::make_unique<CameraDescriptionFile>();
    description->setModelName(QStringLiteral("TestCam"));
    for (const CommandDef &def : defs) {
        Command c;
        c.id = def.id;
        c.code = def.code;
        c.paramsGet = def.paramsGet;
        c.paramsSet = def.paramsSet;
        c.returnValueGet = def.returnValueGet;
        c.returnValueSet = def.returnValueSet;
        c.cachedUpdate = def.cachedUpdate;
        description->addCommand(c);
    }
    return description;
}

/// Records every notification it receives and runs an optional hook on each.
class RecordingSubscriber : public ValueSubscriber
{
public:
    explicit RecordingSubscriber(std::function<void(const QVariant &)> hook = {})
        : onChange(std::move(hook))
    { }
    void valueChanged(const QString &id, const QVariant &value) override
    {
        calls.append(qMakePair(id, value));
        if (onChange)
            onChange(value);
    }
    QList<QPair<QString, QVariant>> calls;
    std::function<void(const QVariant &)> onChange;
};

#endif // ENGINETESTSUPPORT_H
