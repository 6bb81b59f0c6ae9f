#ifndef ENGINETESTSUPPORT_H
#define ENGINETESTSUPPORT_H

#include "description/cameradescriptionfile.h"
#include "description/command.h"
#include "engine/valuesubscriber.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

#include <functional>
#include <initializer_list>
#include <memory>

// Small helpers to build descriptions in memory.

inline CommandParameter intParam(const QString &id)
{
    CommandParameter p;
    p.type = CommandParameterType::Int;
    p.id = id;
    return p;
}

inline CommandParameter textParam(const QString &id)
{
    CommandParameter p;
    p.type = CommandParameterType::String;
    p.id = id;
    return p;
}

inline CommandParameter constParam(const QByteArray &value)
{
    CommandParameter p;
    p.type = CommandParameterType::Const;
    p.value = value;
    return p;
}

struct CommandDef
{
    QString id;
    QByteArray code;
    QList<CommandParameter> paramsGet;
    QList<CommandParameter> paramsSet;
    QList<CommandParameter> returnValueGet;
    QList<CommandParameter> returnValueSet;
    bool cachedUpdate = false;
};

inline Command makeCommand(const CommandDef &def)
{
    Command c;
    c.id = def.id;
    c.code = def.code;
    c.paramsGet = def.paramsGet;
    c.paramsSet = def.paramsSet;
    c.returnValueGet = def.returnValueGet;
    c.returnValueSet = def.returnValueSet;
    c.cachedUpdate = def.cachedUpdate;
    return c;
}

/// A description held only in memory (no file behind it).
inline std::unique_ptr<CameraDescriptionFile> makeDescription(
    std::initializer_list<CommandDef> defs)
{
    std::unique_ptr<CameraDescriptionFile> description(new CameraDescriptionFile);
    description->setModelName(QStringLiteral("TestCam"));
    for (const CommandDef &def : defs)
        description->addCommand(makeCommand(def));
    return description;
}

/// Records every notification it receives and runs an optional hook on each.
class RecordingSubscriber : public ValueSubscriber
{
public:
    RecordingSubscriber() = default;
    explicit RecordingSubscriber(std::function<void(const QVariant &)> hook)
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
