#ifndef COMMAND_H
#define COMMAND_H

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

/// Kind of one position in a command's parameter or return value list.
enum class CommandParameterType {
    None = 0, ///< no parameter; never stored in a list
    Int = 1,
    String = 2,
    Const = 3
};

Q_DECLARE_METATYPE(CommandParameterType)

/// One position of a command's parameter or return value list.
struct CommandParameter
{
    CommandParameterType type = CommandParameterType::Int;
    /// Camera value name carried here (Int and String); empty for Const.
    QString id;
    /// Literal bytes sent or expected here (Const); empty otherwise.
    QByteArray value;

    bool operator==(const CommandParameter &other) const
    {
        return type == other.type && id == other.id && value == other.value;
    }
    bool operator!=(const CommandParameter &other) const { return !(*this == other); }
};

/// One command the camera understands, with the arguments and replies of its get and set forms.
struct Command
{
    /// Name under which display elements refer to this command.
    QString id;
    /// Literal code sent to the camera ("ID" goes out as "ID?" for a get).
    QByteArray code;
    /// Setting a parameter does not send the command; a command element does.
    bool cachedUpdate = false;
    /// Left out of exported descriptions.
    bool developerOnly = false;
    QList<CommandParameter> paramsSet;
    QList<CommandParameter> paramsGet;
    QList<CommandParameter> returnValueSet;
    QList<CommandParameter> returnValueGet;

    bool operator==(const Command &other) const
    {
        return id == other.id && code == other.code && cachedUpdate == other.cachedUpdate
            && developerOnly == other.developerOnly && paramsSet == other.paramsSet
            && paramsGet == other.paramsGet && returnValueSet == other.returnValueSet
            && returnValueGet == other.returnValueGet;
    }
    bool operator!=(const Command &other) const { return !(*this == other); }
};

#endif // COMMAND_H
