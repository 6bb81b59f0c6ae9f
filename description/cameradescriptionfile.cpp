#include "description/cameradescriptionfile.h"

#include "description/descriptionreader.h"
#include "description/descriptionwriter.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QVector>

#include <algorithm>

// The group tree keeps its nodes in one flat array with child indices, so neither building,
// walking nor freeing it recurses, however deep a group path goes.
struct CameraDescriptionFile::GroupNode
{
    struct Node
    {
        QString name;
        QVector<int> children;
    };
    QVector<Node> nodes { Node() }; // node 0 is the root, with an empty name

    int child(int node, const QString &name) const
    {
        for (int index : nodes[node].children) {
            if (nodes[index].name == name)
                return index;
        }
        return -1;
    }

    int addChild(int node, const QString &name)
    {
        nodes.append(Node { name, {} });
        const int index = nodes.size() - 1;
        nodes[node].children.append(index);
        return index;
    }

    // Full paths in pre-order; the root and empty names directly below it give no path.
    QStringList flatten() const
    {
        QStringList paths;
        struct Pending
        {
            int node;
            QString prefix;
        };
        QVector<Pending> stack;
        stack.append({ 0, QString() });
        while (!stack.isEmpty()) {
            const Pending pending = stack.takeLast();
            const Node &node = nodes[pending.node];
            const QString full = pending.prefix.isEmpty()
                ? node.name
                : pending.prefix + QLatin1Char('/') + node.name;
            if (!full.isEmpty())
                paths.append(full);
            for (int i = node.children.size() - 1; i >= 0; --i)
                stack.append({ node.children[i], full });
        }
        return paths;
    }
};

CameraDescriptionFile::CameraDescriptionFile(const QString &filePath)
    : mFilePath(filePath)
{ }

CameraDescriptionFile::~CameraDescriptionFile()
{
    qDeleteAll(mDisplayElements);
}

bool CameraDescriptionFile::isValid()
{
    loadHeader();
    return !mModelName.isEmpty();
}

QString CameraDescriptionFile::fileName() const
{
    return QFileInfo(mFilePath).fileName();
}

void CameraDescriptionFile::version(qint32 &major, qint32 &minor, qint32 &subMinor)
{
    loadHeader();
    major = mMajorVersion;
    minor = mMinorVersion;
    subMinor = mSubMinorVersion;
}

void CameraDescriptionFile::setVersion(qint32 major, qint32 minor, qint32 subMinor)
{
    mMajorVersion = major;
    mMinorVersion = minor;
    mSubMinorVersion = subMinor;
}

QString CameraDescriptionFile::modelName()
{
    loadHeader();
    return mModelName;
}

void CameraDescriptionFile::setModelName(const QString &modelName)
{
    mModelName = modelName;
}

QString CameraDescriptionFile::vendorName()
{
    loadHeader();
    return mVendorName;
}

void CameraDescriptionFile::setVendorName(const QString &vendorName)
{
    mVendorName = vendorName;
}

QStringList CameraDescriptionFile::supportedModels()
{
    loadHeader();
    return mSupported;
}

void CameraDescriptionFile::setSupportedModels(const QStringList &supportedModels)
{
    mSupported = supportedModels;
}

QList<Command> CameraDescriptionFile::commands()
{
    loadFully();
    return mCommands;
}

bool CameraDescriptionFile::hasCommand(const QString &id)
{
    loadFully();
    return std::any_of(mCommands.cbegin(), mCommands.cend(),
        [&](const Command &command) { return command.id == id; });
}

Command CameraDescriptionFile::command(const QString &id)
{
    loadFully();
    for (const Command &command : qAsConst(mCommands)) {
        if (command.id == id)
            return command;
    }
    return Command();
}

void CameraDescriptionFile::addCommand(const Command &command)
{
    mCommands.append(command);
}

void CameraDescriptionFile::replaceCommand(const QString &oldId, const Command &command)
{
    for (Command &existing : mCommands) {
        if (existing.id == oldId) {
            existing = command;
            return;
        }
    }
    qDebug().noquote() << QStringLiteral("Failed to find command to replace: ") + oldId;
}

void CameraDescriptionFile::removeCommand(const QString &id)
{
    for (int i = 0; i < mCommands.size(); ++i) {
        if (mCommands.at(i).id == id) {
            mCommands.removeAt(i);
            return;
        }
    }
}

QList<DisplayElement *> CameraDescriptionFile::displayElements()
{
    loadFully();
    return mDisplayElements;
}

DisplayElement *CameraDescriptionFile::displayElement(const QString &name)
{
    loadFully();
    for (DisplayElement *element : qAsConst(mDisplayElements)) {
        if (element->name == name)
            return element;
    }
    return nullptr;
}

void CameraDescriptionFile::addDisplayElement(DisplayElement *element)
{
    // An element already held would be owned twice.
    if (!element || mDisplayElements.contains(element))
        return;
    reclaim(element);
    mDisplayElements.append(element);
    sortElements();
}

void CameraDescriptionFile::replaceDisplayElement(
    DisplayElement *oldElement, DisplayElement *newElement)
{
    if (!newElement || mDisplayElements.contains(newElement))
        return;
    reclaim(newElement);
    const int index = mDisplayElements.indexOf(oldElement);
    if (index < 0) {
        mDisplayElements.append(newElement);
        return;
    }
    mDisplayElements[index] = newElement;
    retire(oldElement);
}

void CameraDescriptionFile::removeDisplayElement(const QString &name)
{
    for (int i = 0; i < mDisplayElements.size(); ++i) {
        if (mDisplayElements.at(i)->name == name) {
            retire(mDisplayElements.takeAt(i));
            return;
        }
    }
}

void CameraDescriptionFile::removeDisplayElement(DisplayElement *element)
{
    if (mDisplayElements.removeOne(element))
        retire(element);
}

void CameraDescriptionFile::moveElementUp(const QString &name)
{
    moveElementUp(displayElement(name));
}

void CameraDescriptionFile::moveElementDown(const QString &name)
{
    moveElementDown(displayElement(name));
}

void CameraDescriptionFile::moveElementUp(DisplayElement *element)
{
    const int from = mDisplayElements.indexOf(element);
    if (from < 0)
        return;
    for (int j = from - 1; j >= 0; --j) {
        if (mDisplayElements.at(j)->group == element->group) {
            mDisplayElements.move(from, j);
            return;
        }
    }
}

void CameraDescriptionFile::moveElementDown(DisplayElement *element)
{
    const int from = mDisplayElements.indexOf(element);
    if (from < 0)
        return;
    for (int j = from + 1; j < mDisplayElements.size(); ++j) {
        if (mDisplayElements.at(j)->group == element->group) {
            // Taking the element out shifts the neighbour to j - 1; it goes right after it.
            mDisplayElements.move(from, j);
            return;
        }
    }
}

QStringList CameraDescriptionFile::groupNames()
{
    loadFully();
    QStringList names;
    QSet<QString> seen;
    for (const DisplayElement *element : qAsConst(mDisplayElements)) {
        if (!seen.contains(element->group)) {
            seen.insert(element->group);
            names.append(element->group);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

CameraDescriptionFile::GroupNode CameraDescriptionFile::buildGroupTree() const
{
    GroupNode tree;
    for (const DisplayElement *element : mDisplayElements) {
        int node = 0;
        const QStringList parts = element->group.split(QLatin1Char('/'));
        for (const QString &part : parts) {
            const int next = tree.child(node, part);
            node = next >= 0 ? next : tree.addChild(node, part);
        }
    }
    return tree;
}

void CameraDescriptionFile::applyGroupTree(const GroupNode &root)
{
    QHash<QString, QVector<DisplayElement *>> byGroup;
    for (DisplayElement *element : qAsConst(mDisplayElements))
        byGroup[element->group].append(element);

    QList<DisplayElement *> sorted;
    sorted.reserve(mDisplayElements.size());
    const QStringList paths = root.flatten();
    for (const QString &path : paths) {
        auto it = byGroup.find(path);
        if (it == byGroup.end())
            continue;
        for (DisplayElement *element : qAsConst(it.value()))
            sorted.append(element);
        byGroup.erase(it);
    }
    if (sorted.size() < mDisplayElements.size()) {
        qDebug("applyGroupTree: Not all elements where correctly sorted");
        for (DisplayElement *element : qAsConst(mDisplayElements)) {
            if (byGroup.contains(element->group))
                sorted.append(element);
        }
    }
    mDisplayElements = sorted;
}

void CameraDescriptionFile::sortElements()
{
    applyGroupTree(buildGroupTree());
}

void CameraDescriptionFile::moveGroup(const QString &groupPath, int step)
{
    GroupNode tree = buildGroupTree();
    const QStringList parts = groupPath.split(QLatin1Char('/'));
    int node = 0;
    bool found = true;
    for (int i = 0; i + 1 < parts.size(); ++i) {
        node = tree.child(node, parts.at(i));
        if (node < 0) {
            found = false;
            break;
        }
    }
    if (found) {
        QVector<int> &children = tree.nodes[node].children;
        int index = -1;
        for (int i = children.size() - 1; i >= 0; --i) {
            if (tree.nodes[children.at(i)].name == parts.last()) {
                index = i;
                break;
            }
        }
        if (index >= 0 && index + step >= 0 && index + step < children.size())
            children.move(index, index + step);
    }
    applyGroupTree(tree);
}

void CameraDescriptionFile::moveGroupUp(const QString &groupPath)
{
    moveGroup(groupPath, -1);
}

void CameraDescriptionFile::moveGroupDown(const QString &groupPath)
{
    moveGroup(groupPath, +1);
}

bool CameraDescriptionFile::isGroupExpanded(const QString &groupPath) const
{
    return mGroupStates.value(groupPath, true);
}

void CameraDescriptionFile::setGroupExpanded(const QString &groupPath, bool expanded)
{
    mGroupStates.insert(groupPath, expanded);
}

bool CameraDescriptionFile::write(QIODevice *device, bool includeDeveloper)
{
    return DescriptionWriter::write(device, *this, includeDeveloper);
}

// QSaveFile writes next to the target and renames it over the target only after everything
// was written, so a failure or crash never leaves a half-written description behind.
static bool writeAtomically(CameraDescriptionFile &file, const QString &path, bool includeDeveloper)
{
    if (path.isEmpty())
        return false;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    // commit() does not notice a short write of the final buffered block (a full disk, a file
    // size limit), so the buffer is flushed and checked here first.
    if (!file.write(&out, includeDeveloper) || !out.flush()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

bool CameraDescriptionFile::save()
{
    if (!writeAtomically(*this, mFilePath, true))
        return false;
    mHeaderLoaded = true;
    mFullyLoaded = true;
    return true;
}

bool CameraDescriptionFile::exportTo(const QString &path)
{
    return writeAtomically(*this, path, false);
}

QByteArray CameraDescriptionFile::md5Hash()
{
    loadFully();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    write(&buffer, true);
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5);
}

void CameraDescriptionFile::resetHeader()
{
    mMajorVersion = 0;
    mMinorVersion = 0;
    mSubMinorVersion = 0;
    mModelName.clear();
    mVendorName.clear();
    mSupported.clear();
}

void CameraDescriptionFile::loadHeader()
{
    if (mHeaderLoaded)
        return;
    QFile file(mFilePath);
    if (mFilePath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    resetHeader();
    DescriptionReader::readHeader(&file, *this);
    mHeaderLoaded = true;
}

void CameraDescriptionFile::loadFully()
{
    if (mFullyLoaded)
        return;
    QFile file(mFilePath);
    if (mFilePath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    retireAll();
    mCommands.clear();
    resetHeader();
    DescriptionReader::readAll(&file, *this);
    mHeaderLoaded = true;
    mFullyLoaded = true;
}

void CameraDescriptionFile::retire(DisplayElement *element)
{
    if (element)
        mRetired.emplace_back(element);
}

// An element that comes back (removed and added again, or replaced and put back) must leave the
// retired list, or it would be freed twice.
void CameraDescriptionFile::reclaim(DisplayElement *element)
{
    const auto it = std::find_if(mRetired.begin(), mRetired.end(),
        [element](
            const std::unique_ptr<DisplayElement> &retired) { return retired.get() == element; });
    if (it != mRetired.end()) {
        it->release();
        mRetired.erase(it);
    }
}

void CameraDescriptionFile::retireAll()
{
    for (DisplayElement *element : qAsConst(mDisplayElements))
        retire(element);
    mDisplayElements.clear();
}
