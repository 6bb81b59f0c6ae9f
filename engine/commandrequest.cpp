#include "engine/commandrequest.h"

namespace {

CommandRequest build(const Command &command, const QList<CommandParameter> &params,
    const QList<CommandParameter> &returns, const QByteArray &code, QMap<QString, QVariant> &cache)
{
    CommandRequest request;
    request.id = command.id;
    request.code = code;
    request.args.reserve(params.size());
    for (const CommandParameter &parameter : params)
        request.args.append(CommandRequest::argument(parameter, cache));
    request.expectReply = !returns.isEmpty();
    return request;
}

} // namespace

bool CommandRequest::canBuild(const Command &command)
{
    return !command.id.isEmpty();
}

CommandRequest CommandRequest::forGet(const Command &command, QMap<QString, QVariant> &cache)
{
    return build(command, command.paramsGet, command.returnValueGet, command.code + '?', cache);
}

CommandRequest CommandRequest::forSet(const Command &command, QMap<QString, QVariant> &cache)
{
    return build(command, command.paramsSet, command.returnValueSet, command.code, cache);
}

QVariant CommandRequest::argument(const CommandParameter &parameter, QMap<QString, QVariant> &cache)
{
    switch (parameter.type) {
    case CommandParameterType::Const:
        return parameter.value;
    case CommandParameterType::Int: {
        bool ok = false;
        const int number = cache[parameter.id].toInt(&ok);
        return ok ? number : 0;
    }
    case CommandParameterType::String:
    case CommandParameterType::None:
        break;
    }
    return cache[parameter.id].toString();
}

ReplyValues CommandRequest::decode(const Command &command, bool isGet, const QVariantList &args)
{
    const QList<CommandParameter> &expected
        = isGet ? command.returnValueGet : command.returnValueSet;
    ReplyValues reply;
    reply.values.reserve(expected.size());
    int next = 0;
    for (const CommandParameter &parameter : expected) {
        QVariant value;
        if (next < args.size()) {
            value = args.at(next++);
        } else {
            ++reply.missing;
        }
        reply.values.append(qMakePair(parameter.id, value));
    }
    reply.extra = args.size() - next;
    return reply;
}
