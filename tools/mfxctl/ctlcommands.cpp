#include "ctlcommands.h"

#include "app/camerasession.h"
#include "comm/communicationthreadobject.h"
#include "comm/console.h"
#include "description/cameradescriptionfile.h"
#include "description/commandelement.h"
#include "description/listelement.h"
#include "description/roielement.h"
#include "engine/cameradatabase.h"
#include "engine/camerasettingsfile.h"
#include "engine/elementtext.h"
#include "engine/elementvalue.h"
#include "engine/trackingchannel.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTextStream>

namespace {

// Longest silence of a camera that still works: a first attempt and two retries, each with
// its time limit, and some slack for a loaded machine.
constexpr int kQuietMs = 10000;

QString replyText(const QVariantList &args)
{
    QStringList parts;
    for (const QVariant &arg : args)
        parts.append(arg.toString());
    return parts.join(QLatin1Char(';'));
}

} // namespace

CtlCommands::CtlCommands(CameraSession *session, QTextStream &out, QTextStream &err)
    : mSession(session)
    , mDatabase(session->database())
    , mOut(out)
    , mErr(err)
{
    mNotSentConnection
        = QObject::connect(mDatabase, &CameraDatabase::requestNotSent, [this]() { ++mNotSent; });
}

CtlCommands::~CtlCommands()
{
    QObject::disconnect(mNotSentConnection);
}

int CtlCommands::fail(int code, const QString &message)
{
    mErr << "mfxctl: " << message << '\n';
    return code;
}

DisplayElement *CtlCommands::find(const QString &name, QString *error) const
{
    return ElementText::find(mSession->description()->displayElements(), name, error);
}

bool CtlCommands::isAvailable(const DisplayElement *element) const
{
    return mDatabase->evaluateBool(element->isAvailable);
}

void CtlCommands::readValues(const QList<DisplayElement *> &elements)
{
    // One get per command: its reply brings every value the command carries.
    QSet<QString> commands;
    for (const DisplayElement *element : elements) {
        const QString reference = ElementValue::reference(element);
        if (reference.isEmpty() || element->accessMode == AccessMode::WO)
            continue;
        const QString command = mDatabase->commandFor(reference).id;
        if (!command.isEmpty() && commands.contains(command))
            continue;
        commands.insert(command);
        mDatabase->getValue(reference);
    }
    mSession->channel()->waitForReplies(kQuietMs);
}

QStringList CtlCommands::readList(DisplayElement *element)
{
    const auto *list = static_cast<const ListElement *>(element);
    QStringList entries;
    mDatabase->loadList(entries, mDatabase->evaluateInt(list->count), list->get, list->index);
    return entries;
}

QList<QRect> CtlCommands::readRegions(DisplayElement *element)
{
    const auto *roi = static_cast<const RoiElement *>(element);
    QList<QRect> regions;
    mDatabase->loadRoi(regions, mDatabase->evaluateInt(roi->count), roi->index, roi->x, roi->y,
        roi->width, roi->height, roi->getCommand);
    return regions;
}

QString CtlCommands::shownText(DisplayElement *element, bool transfers)
{
    switch (element->type()) {
    case DisplayElementType::List:
        return transfers ? readList(element).join(QLatin1Char(' ')) : QStringLiteral("<list>");
    case DisplayElementType::ROI: {
        if (!transfers)
            return QStringLiteral("<ROI>");
        QStringList regions;
        for (const QRect &region : readRegions(element))
            regions.append(ElementText::regionText(region));
        return regions.join(QLatin1Char(' '));
    }
    default:
        break;
    }
    return ElementText::shownText(
        element, mDatabase->cachedValue(ElementValue::reference(element)));
}

int CtlCommands::exchangeResult()
{
    const QStringList failures = mSession->channel()->takeFailures();
    const bool notSent = mNotSent > 0;
    mNotSent = 0;
    if (failures.isEmpty())
        return notSent ? int(CameraSession::CameraFailure) : int(CameraSession::Ok);
    return fail(CameraSession::CameraFailure,
        QStringLiteral("No valid reply from the camera to %1")
            .arg(Console::escapedControls(failures.join(QStringLiteral(", ")))));
}

int CtlCommands::get(const QStringList &names)
{
    QList<DisplayElement *> elements;
    for (const QString &name : names) {
        QString error;
        DisplayElement *element = find(name, &error);
        if (!element)
            return fail(CameraSession::UsageError, error);
        if (!isAvailable(element))
            return fail(
                CameraSession::UsageError, QStringLiteral("%1 is not available now").arg(name));
        elements.append(element);
    }
    readValues(elements);
    for (DisplayElement *element : qAsConst(elements))
        mOut << shownText(element, true) << '\n';
    return exchangeResult();
}

int CtlCommands::dump(Visibility level, bool json, bool transfers)
{
    QList<DisplayElement *> shown;
    const QList<DisplayElement *> elements = mSession->description()->displayElements();
    for (DisplayElement *element : elements) {
        if (element->visibility != Visibility::Hidden && element->visibility <= level
            && isAvailable(element))
            shown.append(element);
    }
    readValues(shown);

    QJsonArray rows;
    for (DisplayElement *element : qAsConst(shown)) {
        if (!json) {
            mOut << ElementText::path(element) << '\t' << shownText(element, transfers) << '\n';
            continue;
        }
        QJsonObject row {
            { QStringLiteral("group"),
                element->group.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/')) },
            { QStringLiteral("name"), element->name }
        };
        QJsonValue value = shownText(element, false);
        if (transfers && element->type() == DisplayElementType::List) {
            value = QJsonArray::fromStringList(readList(element));
        } else if (transfers && element->type() == DisplayElementType::ROI) {
            QJsonArray regions;
            for (const QRect &r : readRegions(element))
                regions.append(QJsonObject { { QStringLiteral("x"), r.x() },
                    { QStringLiteral("y"), r.y() }, { QStringLiteral("width"), r.width() },
                    { QStringLiteral("height"), r.height() } });
            value = regions;
        }
        row.insert(QStringLiteral("value"), value);
        rows.append(row);
    }
    if (json)
        mOut << QJsonDocument(rows).toJson(QJsonDocument::Indented);
    return exchangeResult();
}

int CtlCommands::set(const QStringList &assignments)
{
    struct Change
    {
        DisplayElement *element;
        QVariant edited;
        QStringList entries;
        QList<QRect> regions;
    };
    // Everything is checked before anything is sent.
    QList<Change> changes;
    for (const QString &assignment : assignments) {
        const int split = assignment.indexOf(QLatin1Char('='));
        if (split < 0)
            return fail(CameraSession::UsageError,
                QStringLiteral("Expected NAME=VALUE, not %1").arg(assignment));
        const QString name = assignment.left(split);
        const QString text = assignment.mid(split + 1);
        QString error;
        Change change { find(name, &error), {}, {}, {} };
        DisplayElement *element = change.element;
        if (!element)
            return fail(CameraSession::UsageError, error);
        if (element->accessMode == AccessMode::RO)
            return fail(CameraSession::UsageError, QStringLiteral("%1 is read-only").arg(name));
        if (!isAvailable(element))
            return fail(
                CameraSession::UsageError, QStringLiteral("%1 is not available now").arg(name));
        if (element->type() == DisplayElementType::List) {
            // No entries would send only the list's start and end commands.
            if (!ElementText::parseList(text, &change.entries) || change.entries.isEmpty())
                return fail(CameraSession::UsageError,
                    QStringLiteral("%1 takes whole numbers separated by blanks").arg(name));
        } else if (element->type() == DisplayElementType::ROI) {
            if (!ElementText::parseRegions(text, &change.regions))
                return fail(CameraSession::UsageError,
                    QStringLiteral("%1 takes regions x,y,width,height separated by blanks")
                        .arg(name));
            // The camera takes only as many as it has; the rest would vanish unsaid.
            const int count
                = mDatabase->evaluateInt(static_cast<const RoiElement *>(element)->count);
            if (change.regions.size() > count)
                return fail(CameraSession::UsageError,
                    QStringLiteral("%1 takes at most %2 %3, not %4")
                        .arg(name)
                        .arg(count)
                        .arg(count == 1 ? "region" : "regions")
                        .arg(change.regions.size()));
        } else if (!ElementText::parse(element, text, &change.edited, &error)) {
            return fail(CameraSession::UsageError, error);
        }
        changes.append(change);
    }
    if (const int result = exchangeResult())
        return result;

    // A set sends every value of its command: the others must be what the camera holds, as
    // they are in the tree before the user edits.
    QList<DisplayElement *> elements;
    for (const Change &change : qAsConst(changes))
        elements.append(change.element);
    readValues(elements);
    if (const int result = exchangeResult())
        return result;

    QSet<QString> commandsSent;
    for (const Change &change : qAsConst(changes)) {
        DisplayElement *element = change.element;
        if (element->type() == DisplayElementType::List) {
            const auto *list = static_cast<const ListElement *>(element);
            mDatabase->saveList(change.entries, list->index, list->start, list->end, list->set);
        } else if (element->type() == DisplayElementType::ROI) {
            const auto *roi = static_cast<const RoiElement *>(element);
            mDatabase->saveRoi(change.regions, mDatabase->evaluateInt(roi->count), roi->x, roi->y,
                roi->width, roi->height, roi->start, roi->end, roi->setCommand);
        } else {
            ElementValue::write(mDatabase, element, change.edited);
            if (element->type() == DisplayElementType::Command)
                commandsSent.insert(static_cast<const CommandElement *>(element)->reference);
        }
        mSession->channel()->waitForReplies(kQuietMs);
    }
    reportWaiting(elements, commandsSent);
    return exchangeResult();
}

void CtlCommands::reportWaiting(
    const QList<DisplayElement *> &written, const QSet<QString> &commandsSent)
{
    // Values of a command with CachedUpdate wait for the command; say so rather than pretend.
    for (const DisplayElement *element : written) {
        const Command command = mDatabase->commandFor(ElementValue::reference(element));
        if (command.cachedUpdate && !commandsSent.contains(command.id))
            mErr << "mfxctl: " << element->name << " reaches the camera only with the command "
                 << command.id << '\n';
    }
}

int CtlCommands::save(const QString &fileName)
{
    QList<DisplayElement *> saved;
    const QList<DisplayElement *> elements = mSession->description()->displayElements();
    for (DisplayElement *element : elements) {
        if (CameraSettingsFile::isSaveable(element) && isAvailable(element))
            saved.append(element);
    }
    readValues(saved);
    const QString model = mSession->cameraModel();
    const QString type = mSession->cameraType();
    CameraSettingsFile file(model, type, model + QLatin1Char('-') + type);
    for (const DisplayElement *element : qAsConst(saved))
        file.addItem(CameraSettingsFile::read(mDatabase, element));
    // A file with holes would later load as if the camera had held nothing there.
    if (const int result = exchangeResult())
        return fail(result, QStringLiteral("Nothing saved"));
    QString error;
    if (!file.save(fileName, &error))
        return fail(
            CameraSession::FileError, QStringLiteral("Cannot save to %1: %2").arg(fileName, error));
    return CameraSession::Ok;
}

int CtlCommands::openSettings(const QString &fileName, QList<FileItem> *items)
{
    CameraSettingsFile file;
    QString error;
    if (!file.load(fileName, &error))
        return fail(
            CameraSession::FileError, QStringLiteral("Cannot read %1: %2").arg(fileName, error));
    const CameraSettingsFile::Validity validity
        = file.check(mSession->cameraModel(), mSession->cameraType());
    if (validity != CameraSettingsFile::Validity::Valid)
        return fail(
            CameraSession::FileError, fileName + QStringLiteral(": ") + file.problem(validity));
    // In tree order, as the program loads; damage anywhere refuses the whole file before
    // anything is sent.
    const QList<DisplayElement *> elements = mSession->description()->displayElements();
    for (DisplayElement *element : elements) {
        if (!file.contains(element->name) || !isAvailable(element))
            continue;
        const CameraSettingsFile::Item item = file.item(element->name);
        if (!itemText(element, item, nullptr))
            return fail(CameraSession::FileError,
                QStringLiteral("%1: the value of %2 is damaged").arg(fileName, element->name));
        items->append({ element, item });
    }
    return CameraSession::Ok;
}

bool CtlCommands::itemText(
    const DisplayElement *element, const CameraSettingsFile::Item &item, QString *text)
{
    QString shown = item.text;
    QStringList entries;
    int count = 0;
    QList<QRect> regions;
    switch (item.kind()) {
    case CameraSettingsFile::ItemKind::Value: {
        // Held to the checks of a set: a text that the element cannot take is damage.
        QVariant edited;
        QString error;
        if (!ElementValue::reference(element).isEmpty()
            && !ElementText::parse(element, item.text, &edited, &error))
            return false;
        break;
    }
    case CameraSettingsFile::ItemKind::List:
        if (!CameraSettingsFile::readListBlock(item.text, &entries))
            return false;
        shown = entries.join(QLatin1Char(' '));
        break;
    case CameraSettingsFile::ItemKind::Roi:
        if (!CameraSettingsFile::readRoiBlock(item.text, &count, &regions))
            return false;
        shown.clear();
        for (const QRect &region : qAsConst(regions))
            shown += (shown.isEmpty() ? QString() : QStringLiteral(" "))
                + ElementText::regionText(region);
        break;
    case CameraSettingsFile::ItemKind::Empty:
    case CameraSettingsFile::ItemKind::Unknown:
        break;
    }
    if (text)
        *text = shown;
    return true;
}

int CtlCommands::load(const QString &fileName, bool dryRun)
{
    QList<FileItem> items;
    if (const int result = openSettings(fileName, &items))
        return result;
    QList<DisplayElement *> elements;
    for (const FileItem &item : qAsConst(items))
        elements.append(item.first);
    if (dryRun) {
        for (const FileItem &item : qAsConst(items)) {
            QString text;
            itemText(item.first, item.second, &text);
            mOut << ElementText::path(item.first) << '\t' << text << '\n';
        }
        return exchangeResult();
    }
    // As for a set: the values sent along must be the camera's.
    readValues(elements);
    if (const int result = exchangeResult())
        return result;
    for (const FileItem &item : qAsConst(items)) {
        CameraSettingsFile::apply(mDatabase, item.first, item.second);
        mSession->channel()->waitForReplies(kQuietMs);
    }
    reportWaiting(elements, {});
    return exchangeResult();
}

int CtlCommands::diff(const QString &fileName)
{
    QList<FileItem> items;
    if (const int result = openSettings(fileName, &items))
        return result;
    QList<DisplayElement *> elements;
    for (const FileItem &item : qAsConst(items))
        elements.append(item.first);
    readValues(elements);
    for (const FileItem &item : qAsConst(items)) {
        QString inFile;
        QString inCamera;
        itemText(item.first, item.second, &inFile);
        const CameraSettingsFile::Item camera = CameraSettingsFile::read(mDatabase, item.first);
        itemText(item.first, camera, &inCamera);
        // Values compare as what they would write, so that 12 and 12.0 are the same gain.
        const bool value = item.second.kind() == CameraSettingsFile::ItemKind::Value
            && camera.kind() == CameraSettingsFile::ItemKind::Value;
        const bool same = value ? ElementValue::cameraValue(item.first, item.second.text)
                == ElementValue::cameraValue(item.first, camera.text)
                                : inFile == inCamera && item.second.kind() == camera.kind();
        if (!same)
            mOut << ElementText::path(item.first) << '\t' << inFile << '\t' << inCamera << '\n';
    }
    return exchangeResult();
}

int CtlCommands::send(const QString &line)
{
    // The console would only say so in a log that nobody reads here.
    if (!Console::isSendable(line))
        return fail(CameraSession::UsageError,
            QStringLiteral("Characters outside Latin-1 cannot be sent: %1")
                .arg(Console::escapedControls(line)));
    struct Reply
    {
        AbstractCommunicator::Result result;
        QVariantList args;
    };
    QList<Reply> replies;
    TrackingChannel *channel = mSession->channel();
    const QMetaObject::Connection heard = QObject::connect(channel, &TrackingChannel::replied,
        [&replies](const QString &id, const QByteArray &, AbstractCommunicator::Result result,
            const QVariantList &args) {
            if (id == QLatin1String("@Console"))
                replies.append({ result, args });
        });
    Console console(mSession->comm());
    bool query = false;
    const QString command = Console::commandText(line, &query);
    console.sendCommand(line);
    // The command, then the error query the console adds.
    channel->waitUntil([&replies]() { return replies.size() >= 2; }, kQuietMs);
    QObject::disconnect(heard);

    if (replies.isEmpty() || replies.first().result == AbstractCommunicator::Failure)
        return fail(CameraSession::CameraFailure,
            QStringLiteral("No valid reply to %1").arg(Console::escapedControls(command)));
    if (query)
        mOut << replyText(replies.first().args) << '\n';
    if (replies.size() < 2 || replies.at(1).result == AbstractCommunicator::Failure)
        return fail(CameraSession::CameraFailure, QStringLiteral("No valid reply to ERR?"));
    const int error = replies.at(1).args.value(0).toInt();
    if (error != 0)
        return fail(CameraSession::CameraFailure,
            QStringLiteral("The camera reports error %1 after %2")
                .arg(error)
                .arg(Console::escapedControls(command)));
    return CameraSession::Ok;
}

int CtlCommands::script(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(CameraSession::FileError,
            QStringLiteral("Cannot read %1: %2").arg(fileName, file.errorString()));
    // Split as the program's console splits a script: LF, CR LF and CR alike.
    const QList<Console::Request> requests = Console::scriptRequests(file.readAll());
    TrackingChannel *channel = mSession->channel();
    for (const Console::Request &request : requests) {
        const QByteArray &line = request.text;
        // As the program runs a script, each line raw; here one at a time, so that every reply
        // is known before the next line goes out.
        bool answered = false;
        AbstractCommunicator::Result result = AbstractCommunicator::Failure;
        QVariantList args;
        const QMetaObject::Connection heard = QObject::connect(channel, &TrackingChannel::replied,
            [&](const QString &id, const QByteArray &code, AbstractCommunicator::Result r,
                const QVariantList &a) {
                if (id == QLatin1String("@script") && code == line) {
                    answered = true;
                    result = r;
                    args = a;
                }
            });
        if (mSession->comm()->sendCommand(
                QStringLiteral("@script"), line, QVariantList(), request.query))
            channel->waitUntil([&answered]() { return answered; }, kQuietMs);
        QObject::disconnect(heard);
        if (!answered || result == AbstractCommunicator::Failure)
            return fail(CameraSession::CameraFailure,
                QStringLiteral("%1, line %2: no valid reply to %3")
                    .arg(fileName)
                    .arg(request.line)
                    .arg(Console::escapedControls(QString::fromLatin1(line))));
        if (request.query)
            mOut << replyText(args) << '\n';
    }
    return CameraSession::Ok;
}
