#include "fuzz/fuzzentry.h"

#include "comm/abstractcommunicator.h"
#include "comm/console.h"
#include "comm/relayclient.h"
#include "comm/relaylinebuffer.h"
#include "comm/relayserver.h"
#include "comm/virtualcommunicator.h"
#include "description/boolelement.h"
#include "description/cameradescriptionfile.h"
#include "description/descriptionreader.h"
#include "description/doubleelement.h"
#include "description/enumerationelement.h"
#include "description/integerelement.h"
#include "description/stringelement.h"
#include "engine/camerasettingsfile.h"
#include "engine/commandrequest.h"
#include "engine/elementvalue.h"
#include "engine/luttextfile.h"

#include <QBuffer>
#include <QVariant>

#include <memory>
#include <vector>

namespace {

void read(const QByteArray &xml, CameraDescriptionFile &file, bool headerOnly)
{
    QBuffer buffer;
    buffer.setData(xml);
    buffer.open(QIODevice::ReadOnly);
    if (headerOnly)
        DescriptionReader::readHeader(&buffer, file);
    else
        DescriptionReader::readAll(&buffer, file);
}

QByteArray written(CameraDescriptionFile &file, bool includeDeveloper)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    file.write(&buffer, includeDeveloper);
    return bytes;
}

QString header(CameraDescriptionFile &file)
{
    qint32 major = 0;
    qint32 minor = 0;
    qint32 subMinor = 0;
    file.version(major, minor, subMinor);
    return QStringLiteral("%1.%2.%3 [%4] [%5] [%6]")
        .arg(major)
        .arg(minor)
        .arg(subMinor)
        .arg(file.modelName(), file.vendorName(), file.supportedModels().join(QLatin1Char('|')));
}

QString changed(const QString &what, const QByteArray &before, const QByteArray &after)
{
    return QStringLiteral("%1\n--- before:\n%2\n--- after:\n%3")
        .arg(what, QString::fromUtf8(before), QString::fromUtf8(after));
}

struct Items
{
    int commands = 0;
    int elements = 0;
    int developerCommands = 0;
    int developerElements = 0;
    // Developer commands, elements and enumeration items.
    int developer = 0;
};

Items items(CameraDescriptionFile &file)
{
    Items items;
    const QList<Command> commands = file.commands();
    items.commands = commands.size();
    for (const Command &command : commands)
        items.developerCommands += command.developerOnly;
    const QList<DisplayElement *> elements = file.displayElements();
    items.elements = elements.size();
    items.developer = items.developerCommands;
    for (const DisplayElement *element : elements) {
        items.developerElements += element->visibility == Visibility::Developer;
        if (element->type() != DisplayElementType::Enumeration)
            continue;
        for (const EnumerationItem &item : static_cast<const EnumerationElement *>(element)->items)
            items.developer += item.visibility == Visibility::Developer;
    }
    items.developer += items.developerElements;
    return items;
}

// A command must reach the camera as one frame: a carriage return inside it would start a
// second command whose reply the program never waits for.
bool oneFrame(const QByteArray &frame)
{
    return frame.indexOf(AbstractCommunicator::End) == frame.size() - 1;
}

bool oneFrameOf(const QByteArray &text)
{
    return oneFrame(AbstractCommunicator::buildFrame(text, QVariantList()));
}

QString itemText(const CameraSettingsFile::Item &item)
{
    return QStringLiteral("%1 (%2): %3").arg(item.id, item.type, item.text);
}

// What a value item becomes on the wire through an element of each kind: empty when it is
// refused or goes out as the file says, else what went wrong.
QString valueSent(const QString &text)
{
    BoolElement flag;
    flag.trueValue = QStringLiteral("1");
    flag.falseValue = QStringLiteral("0");
    IntegerElement number;
    DoubleElement scaled;
    scaled.convertMultiply = 0.1;
    scaled.convertAdd = -5;
    StringElement label;
    EnumerationElement mode;
    const QList<const DisplayElement *> elements { &flag, &number, &scaled, &label, &mode };
    for (const DisplayElement *element : elements) {
        const QVariant value = ElementValue::cameraValue(element, text);
        if (!value.isValid())
            continue;
        const bool isText = element == &label;
        Command command;
        command.id = QStringLiteral("Set");
        command.code = "SET";
        command.paramsSet.append(
            { isText ? CommandParameterType::String : CommandParameterType::Int,
                QStringLiteral("v"), QByteArray() });
        QMap<QString, QVariant> cache { { QStringLiteral("v"), value } };
        const CommandRequest request = CommandRequest::forSet(command, cache);
        const QByteArray frame = AbstractCommunicator::buildFrame(request.code, request.args);
        if (!oneFrame(frame))
            return QStringLiteral("goes out as more than one command: ")
                + QString::fromLatin1(frame.toPercentEncoding());
        const QVariant argument = request.args.value(0);
        if (isText && QString::fromLatin1(argument.toString().toLatin1()) != text)
            return QStringLiteral("goes out as the text ") + argument.toString();
        bool isNumber = false;
        QVariant(text).toInt(&isNumber);
        if ((element == &number || element == &mode) && !isNumber)
            return QStringLiteral("is no number but goes out as ") + argument.toString();
    }
    return QString();
}

} // namespace

const QList<FuzzEntry::Target> &FuzzEntry::targets()
{
    static const QList<Target> all {
        { "description", &FuzzEntry::description },
        { "reply", &FuzzEntry::reply },
        { "console", &FuzzEntry::console },
        { "relay_lines", &FuzzEntry::relayLines },
        { "relay_requests", &FuzzEntry::relayRequests },
        { "settings", &FuzzEntry::settingsFile },
        { "lut", &FuzzEntry::lutFile },
    };
    return all;
}

FuzzEntry::Function FuzzEntry::find(const QString &name)
{
    for (const Target &target : targets()) {
        if (name == QLatin1String(target.name))
            return target.run;
    }
    return nullptr;
}

QString FuzzEntry::description(const QByteArray &input)
{
    CameraDescriptionFile headerOnly;
    read(input, headerOnly, true);
    CameraDescriptionFile loaded;
    read(input, loaded, false);
    // The header decides which camera a description is chosen for, the whole file what it shows.
    if (header(headerOnly) != header(loaded))
        return QStringLiteral("The header reads as %1 alone but as %2 with the whole file")
            .arg(header(headerOnly), header(loaded));

    const QByteArray saved = written(loaded, true);
    CameraDescriptionFile reloaded;
    read(saved, reloaded, false);
    if (reloaded.md5Hash() != loaded.md5Hash())
        return changed(QStringLiteral("Saving and loading again changed the digest"), saved,
            written(reloaded, true));

    // An export is the description without its developer items, nothing more and nothing less.
    CameraDescriptionFile exported;
    read(written(loaded, false), exported, false);
    const Items all = items(loaded);
    const Items kept = items(exported);
    if (kept.developer != 0 || kept.commands != all.commands - all.developerCommands
        || kept.elements != all.elements - all.developerElements)
        return QStringLiteral("The export of %1 commands and %2 elements kept %3 and %4, with %5 "
                              "developer items")
            .arg(all.commands)
            .arg(all.elements)
            .arg(kept.commands)
            .arg(kept.elements)
            .arg(kept.developer);

    // The tree and the editor put the elements in group order; none may get lost.
    const int count = loaded.displayElements().size();
    loaded.sortElements();
    if (loaded.displayElements().size() != count)
        return QStringLiteral("Sorting by group changed the number of elements");
    return QString();
}

QString FuzzEntry::reply(const QByteArray &input)
{
    if (input.isEmpty())
        return QString();
    const int expected = uchar(input.at(0)) % 8;
    const bool isGet = uchar(input.at(0)) & 8;
    const QByteArray bytes = input.mid(1);

    const QVariant untouched(QStringLiteral("untouched"));
    QVariantList args { untouched };
    const AbstractCommunicator::Result result = AbstractCommunicator::parseReply(bytes, args);
    const bool acknowledged = bytes.contains(AbstractCommunicator::Ack);
    if (result == AbstractCommunicator::Failure) {
        if (acknowledged)
            return QStringLiteral("An acknowledged reply failed");
        if (args != QVariantList { untouched })
            return QStringLiteral("A failed reply changed the argument list");
        return QString();
    }
    if (!acknowledged)
        return QStringLiteral("A reply without ACK succeeded");
    for (int i = 0; i < args.size(); ++i) {
        const int type = args.at(i).userType();
        if (type != QMetaType::Int && type != QMetaType::QString)
            return QStringLiteral("Argument %1 is neither a number nor a text").arg(i);
        if (type == QMetaType::QString && i != args.size() - 1)
            return QStringLiteral("A text argument is followed by another argument");
    }

    Command command;
    command.id = QStringLiteral("fuzz");
    command.code = "FZ";
    QList<CommandParameter> &returns = isGet ? command.returnValueGet : command.returnValueSet;
    for (int i = 0; i < expected; ++i)
        returns.append({ CommandParameterType::Int, QStringLiteral("v%1").arg(i), QByteArray() });
    const ReplyValues values = CommandRequest::decode(command, isGet, args);
    if (values.values.size() != expected || values.missing != qMax(0, expected - args.size())
        || values.extra != qMax(0, args.size() - expected))
        return QStringLiteral(
            "%1 arguments mapped onto %2 values as %3 values, %4 missing, %5 extra")
            .arg(args.size())
            .arg(expected)
            .arg(values.values.size())
            .arg(values.missing)
            .arg(values.extra);

    // What the tree shows and a settings file saves of each value, for every kind of element.
    std::vector<std::unique_ptr<DisplayElement>> elements;
    elements.emplace_back(new BoolElement);
    elements.emplace_back(new IntegerElement);
    auto *scaled = new DoubleElement;
    scaled->convertMultiply = 0.5;
    scaled->convertAdd = 10;
    elements.emplace_back(scaled);
    auto *enumeration = new EnumerationElement;
    enumeration->items.append(EnumerationItem());
    elements.emplace_back(enumeration);
    elements.emplace_back(new StringElement);
    for (const auto &value : values.values) {
        for (const auto &element : elements) {
            ElementValue::displayText(element.get(), value.second);
            ElementValue::editorValue(element.get(), value.second);
            ElementValue::savedValue(element.get(), value.second);
        }
    }
    return QString();
}

QString FuzzEntry::console(const QByteArray &input)
{
    const QString line = QString::fromUtf8(input);
    const Console::Request typed = Console::typedRequest(line);
    if (!oneFrameOf(typed.text))
        return QStringLiteral("The typed line goes out as more than one command: ")
            + QString::fromLatin1(typed.text.toPercentEncoding());
    // What is sent is what the line edit shows, only the leading letters in upper case.
    QString shouldSend = line;
    shouldSend.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    int letters = 0;
    for (; letters < shouldSend.size() && shouldSend.at(letters).isLetter()
         && shouldSend.at(letters).unicode() < 0x80;
         ++letters)
        shouldSend[letters] = shouldSend.at(letters).toUpper();
    if (Console::isSendable(line)) {
        if (QString::fromLatin1(typed.text) != shouldSend)
            return QStringLiteral("The typed line %1 is sent as %2")
                .arg(QString::fromLatin1(shouldSend.toUtf8().toPercentEncoding()),
                    QString::fromLatin1(typed.text.toPercentEncoding()));
        if (typed.query != (letters < typed.text.size() && typed.text.at(letters) == '?'))
            return QStringLiteral("The typed line's reply expectation does not match what is sent");
    }

    const QList<Console::Request> script = Console::scriptRequests(input);
    QByteArray joined;
    for (const Console::Request &request : script) {
        if (request.text.isEmpty() || !oneFrameOf(request.text))
            return QStringLiteral("A script line is empty or more than one command");
        if (request.query != request.text.contains('?'))
            return QStringLiteral("A script line's reply expectation does not match its text");
        joined += request.text;
    }
    // Apart from the line ends, every byte of the script is sent, in order.
    QByteArray content = input;
    content.replace('\r', QByteArray()).replace('\n', QByteArray());
    if (joined != content)
        return QStringLiteral("The script's commands are not its lines");
    return QString();
}

QString FuzzEntry::relayLines(const QByteArray &input)
{
    if (input.isEmpty())
        return QString();
    const int limit = 1 + uchar(input.at(0)) % 32;
    RelayLineBuffer buffer(limit);
    QStringList taken;
    const auto takeFrom = [&](bool all) {
        QByteArray line;
        RelayLineBuffer::Taken kind;
        while ((kind = buffer.take(line)) != RelayLineBuffer::Nothing) {
            taken.append(kind == RelayLineBuffer::Line
                    ? QString::fromLatin1(line.toPercentEncoding())
                    : QStringLiteral("<too long>"));
            if (!all)
                break;
        }
    };
    // Chunks as they come off the socket; the reader takes one line or all after each.
    QByteArray stream;
    for (int at = 1; at < input.size();) {
        const uchar head = uchar(input.at(at));
        const QByteArray chunk = input.mid(at + 1, head & 0x3f);
        at += 1 + chunk.size();
        stream += chunk;
        buffer.append(chunk);
        takeFrom(head & 0x80);
    }
    takeFrom(true);

    QStringList expected;
    int start = 0;
    for (int end; (end = stream.indexOf('\n', start)) >= 0; start = end + 1) {
        const QByteArray line = stream.mid(start, end + 1 - start);
        expected.append(line.size() <= limit ? QString::fromLatin1(line.toPercentEncoding())
                                             : QStringLiteral("<too long>"));
    }
    if (stream.size() - start > limit)
        expected.append(QStringLiteral("<too long>"));
    if (taken != expected)
        return QStringLiteral(
            "With lines of at most %1 bytes, the stream\n%2\ngave\n%3\ninstead of\n%4")
            .arg(limit)
            .arg(QString::fromLatin1(stream.toPercentEncoding()), taken.join(QLatin1Char('\n')),
                expected.join(QLatin1Char('\n')));
    return QString();
}

QString FuzzEntry::relayRequests(const QByteArray &input)
{
    // The simulated camera answers at once.
    VirtualCommunicator::setDelayDivisor(0);
    RelayClient client;
    client.addPort(new VirtualCommunicator(QStringLiteral("V")), "Marnifex");
    client.addPort(new VirtualCommunicator(QStringLiteral("A|B")), "Marnifex", 7);
    RelayLineBuffer server(RelayServer::MaxLineBytes);
    int start = 0;
    while (start < input.size()) {
        const int end = input.indexOf('\n', start);
        const QByteArray request = input.mid(start, end < 0 ? -1 : end + 1 - start);
        start = end < 0 ? input.size() : end + 1;
        const QByteArray reply = client.answer(request);
        server.append(reply);
        QByteArray line;
        if (!reply.startsWith('@') || server.take(line) != RelayLineBuffer::Line || line != reply
            || server.hasUnfinished())
            return QStringLiteral("The request %1 was answered with %2, not one reply line")
                .arg(QString::fromLatin1(request.toPercentEncoding()),
                    QString::fromLatin1(reply.toPercentEncoding()));
    }
    return QString();
}

QString FuzzEntry::settingsFile(const QByteArray &input)
{
    const CameraSettingsFile file = CameraSettingsFile::fromXml(input);
    const QByteArray saved = file.toXml();
    const CameraSettingsFile reloaded = CameraSettingsFile::fromXml(saved);
    // An item without type is written without its text.
    QList<CameraSettingsFile::Item> items = file.items();
    for (CameraSettingsFile::Item &item : items) {
        if (item.type.isEmpty())
            item.text.clear();
    }
    if (reloaded.model() != file.model() || reloaded.type() != file.type()
        || reloaded.id() != file.id() || reloaded.items() != items)
        return changed(QStringLiteral("Saving and loading again changed the settings file"), saved,
            reloaded.toXml());
    file.check(QStringLiteral("M"), QStringLiteral("T"));

    for (const CameraSettingsFile::Item &item : file.items()) {
        QStringList entries;
        QStringList entriesBack;
        if (CameraSettingsFile::readListBlock(item.text, &entries)
            && (!CameraSettingsFile::readListBlock(
                    CameraSettingsFile::listBlock(entries), &entriesBack)
                || entriesBack != entries))
            return QStringLiteral("The list block does not write and read back: ") + itemText(item);
        int count = 0;
        QList<QRect> regions;
        int countBack = 0;
        QList<QRect> regionsBack;
        if (CameraSettingsFile::readRoiBlock(item.text, &count, &regions)
            && (!CameraSettingsFile::readRoiBlock(
                    CameraSettingsFile::roiBlock(count, regions), &countBack, &regionsBack)
                || countBack != count || regionsBack != regions))
            return QStringLiteral("The region block does not write and read back: ")
                + itemText(item);
        const QString sent = valueSent(item.text);
        if (!sent.isEmpty())
            return QStringLiteral("The value of ") + itemText(item) + QLatin1Char(' ') + sent;
    }
    return QString();
}

QString FuzzEntry::lutFile(const QByteArray &input)
{
    if (input.isEmpty())
        return QString();
    const int rows = uchar(input.at(0));
    const QByteArray text = input.mid(1);
    QBuffer file;
    file.setData(text);
    file.open(QIODevice::ReadOnly);
    const QStringList values = LutTextFile::read(&file, rows);
    if (values.size() != rows)
        return QStringLiteral("%1 rows got %2 values").arg(rows).arg(values.size());

    // Whatever the lines before it, a short line lands in its own row.
    const QList<QByteArray> lines = text.split('\n');
    for (int row = 0; row < rows; ++row) {
        const QByteArray line = row < lines.size() ? lines.at(row) : QByteArray();
        if (LutTextFile::cellValue(values.at(row)) != values.at(row)
            || (line.size() < 64
                && values.at(row) != LutTextFile::cellValue(QString::fromLatin1(line))))
            return QStringLiteral("Row %1 holds %2 for the line %3")
                .arg(row)
                .arg(values.at(row), QString::fromLatin1(line.toPercentEncoding()));
    }

    QBuffer saved;
    saved.setData(LutTextFile::toText(values));
    saved.open(QIODevice::ReadOnly);
    if (LutTextFile::read(&saved, rows) != values)
        return QStringLiteral("The values do not save and load again unchanged");
    return QString();
}
