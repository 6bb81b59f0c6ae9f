// Measures loading a description plus computing its digest, against the floor of merely
// tokenising the same bytes and hashing them.

#include "description/boolelement.h"
#include "description/cameradescriptionfile.h"
#include "description/commandelement.h"
#include "description/doubleelement.h"
#include "description/enumerationelement.h"
#include "description/integerelement.h"
#include "description/listelement.h"
#include "description/roielement.h"
#include "description/stringelement.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

// A description of realistic size: commands with a few parameters each, and one element per
// command spread over nested groups, every kind represented.
bool generate(const QString &path, int index, int count)
{
    CameraDescriptionFile file(path);
    file.setVersion(1, index, 0);
    file.setModelName(QStringLiteral("Bench%1").arg(index));
    file.setSupportedModels({ "A", "B", "C" });
    file.setVendorName("Bench vendor");
    for (int i = 0; i < count; ++i) {
        Command c;
        c.id = QStringLiteral("Command%1").arg(i);
        c.code = QByteArray("C") + QByteArray::number(i);
        c.cachedUpdate = i % 17 == 0;
        c.developerOnly = i % 29 == 0;
        const QString value = QStringLiteral("Value%1").arg(i);
        c.paramsSet = { { CommandParameterType::Int, value, {} } };
        if (i % 3 == 0)
            c.paramsSet.append({ CommandParameterType::Const, {}, "1" });
        if (i % 5 == 0)
            c.paramsGet = { { CommandParameterType::Int, QStringLiteral("Index%1").arg(i), {} } };
        c.returnValueGet = {
            { i % 4 == 0 ? CommandParameterType::String : CommandParameterType::Int, value, {} }
        };
        file.addCommand(c);

        DisplayElement *e = nullptr;
        switch (i % 8) {
        case 0: {
            auto *x = new IntegerElement;
            x->minimumValue = 0;
            x->maximumValue = 4095;
            x->suffix = " DN";
            x->reference = value;
            e = x;
            break;
        }
        case 1: {
            auto *x = new DoubleElement;
            x->minimumValue = -10.5;
            x->maximumValue = 1e6;
            x->increment = 0.01;
            x->convertMultiply = 0.1;
            x->suffix = " dB";
            x->reference = value;
            e = x;
            break;
        }
        case 2: {
            auto *x = new EnumerationElement;
            for (int k = 0; k < 5; ++k)
                x->items.append({ k, QStringLiteral("Choice %1").arg(k),
                    QStringLiteral("Description of choice %1").arg(k), Visibility(k % 4),
                    k == 3 ? "Value1 == 0" : "" });
            x->reference = value;
            e = x;
            break;
        }
        case 3: {
            auto *x = new BoolElement;
            x->reference = value;
            x->trueValue = "1";
            x->falseValue = "0";
            e = x;
            break;
        }
        case 4: {
            auto *x = new StringElement;
            x->maximumLength = 32;
            x->reference = value;
            e = x;
            break;
        }
        case 5: {
            auto *x = new CommandElement;
            x->buttonText = "Apply";
            x->reference = c.id;
            e = x;
            break;
        }
        case 6: {
            auto *x = new ListElement;
            x->start = c.id;
            x->count = "256";
            x->get = value;
            x->set = value;
            x->index = QStringLiteral("Index%1").arg(i);
            e = x;
            break;
        }
        default: {
            auto *x = new RoiElement;
            x->screenWidth = "1280";
            x->screenHeight = "1024";
            x->x = "RoiX";
            x->y = "RoiY";
            x->width = "RoiWidth";
            x->height = "RoiHeight";
            x->count = "1";
            x->getCommand = c.id;
            x->setCommand = c.id;
            e = x;
            break;
        }
        }
        e->name = QStringLiteral("Element %1").arg(i);
        e->description
            = QStringLiteral("What element %1 does to the image, in one sentence.").arg(i);
        e->toolTip = QStringLiteral("Tooltip of element %1").arg(i);
        e->group = QStringLiteral("Group%1/Sub%2").arg(i % 7).arg(i % 3);
        e->visibility = Visibility(i % 5);
        e->accessMode = AccessMode(i % 3);
        e->invalidatedBy = QStringList { c.id, "Command0" };
        e->isAvailable = i % 6 == 0 ? QStringLiteral("Value0 > 3") : QString();
        file.replaceDisplayElement(nullptr, e);
    }
    file.sortElements();
    file.setGroupExpanded("Group1", false);
    return file.save();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : 40;
    const int rounds = 5;

    QTemporaryDir dir;
    QStringList paths;
    qint64 bytes = 0;
    for (int i = 0; i < files; ++i) {
        const QString path = dir.filePath(QStringLiteral("bench%1.xml").arg(i));
        if (!generate(path, i, 300)) {
            out << "cannot write " << path << '\n';
            return 1;
        }
        paths.append(path);
        bytes += QFile(path).size();
    }
    const double megabytes = bytes / (1024.0 * 1024.0);

    // Best of several rounds for both, interleaved, so that both see the same machine state.
    double bestLoad = 1e300;
    double bestFloor = 1e300;
    double bestRead = 1e300;
    double bestWrite = 1e300;
    QByteArray check;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (const QString &path : paths) {
            CameraDescriptionFile file(path);
            check = file.md5Hash();
            if (file.displayElements().size() != 300 || file.commands().size() != 300) {
                out << "wrong model from " << path << '\n';
                return 1;
            }
        }
        bestLoad = std::min(bestLoad, timer.nsecsElapsed() / 1e9);

        // The same work split into its two halves, timed per file.
        qint64 reading = 0;
        qint64 digesting = 0;
        for (const QString &path : paths) {
            CameraDescriptionFile file(path);
            timer.restart();
            file.loadFully();
            reading += timer.nsecsElapsed();
            timer.restart();
            check = file.md5Hash();
            digesting += timer.nsecsElapsed();
        }
        bestRead = std::min(bestRead, reading / 1e9);
        bestWrite = std::min(bestWrite, digesting / 1e9);

        timer.restart();
        for (const QString &path : paths) {
            const QByteArray data = readFile(path);
            QXmlStreamReader xml(data);
            while (!xml.atEnd())
                xml.readNext();
            check = QCryptographicHash::hash(data, QCryptographicHash::Md5);
        }
        bestFloor = std::min(bestFloor, timer.nsecsElapsed() / 1e9);
    }

    out << QStringLiteral("%1 descriptions, %2 MB (300 commands, 300 elements each)\n")
               .arg(files)
               .arg(megabytes, 0, 'f', 2);
    out << QStringLiteral("load + md5Hash:       %1 ms/MB\n")
               .arg(bestLoad * 1000 / megabytes, 0, 'f', 1);
    out << QStringLiteral("  of which loading:   %1 ms/MB\n")
               .arg(bestRead * 1000 / megabytes, 0, 'f', 1);
    out << QStringLiteral("  of which digest:    %1 ms/MB\n")
               .arg(bestWrite * 1000 / megabytes, 0, 'f', 1);
    out << QStringLiteral("tokenise + MD5 floor: %1 ms/MB\n")
               .arg(bestFloor * 1000 / megabytes, 0, 'f', 1);
    out << QStringLiteral("ratio: %1 (goal: at most 2.5)\n").arg(bestLoad / bestFloor, 0, 'f', 2);
    return 0;
}
