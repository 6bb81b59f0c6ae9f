#include "comm/simulatedcamerastate.h"

#include "comm/scriptlines.h"
#include "comm/simulatedcamera.h"

#include <QFile>

bool SimulatedCameraState::parse(
    const QByteArray &text, QList<QByteArray> *commands, QString *error)
{
    QList<QByteArray> parsed;
    // Read as the console reads a script.
    const QList<ScriptLines::Line> lines = ScriptLines::split(text);
    for (const ScriptLines::Line &line : lines) {
        // A script line holding "?" expects a reply: a query, which stores nothing.
        if (line.text.contains('?')) {
            if (error)
                *error = QStringLiteral("line %1: %2 is a query, not a set command")
                             .arg(line.number)
                             .arg(QString::fromLatin1(line.text));
            return false;
        }
        parsed.append(line.text);
    }
    if (commands)
        *commands = parsed;
    return true;
}

bool SimulatedCameraState::read(
    const QString &fileName, QList<QByteArray> *commands, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(fileName, file.errorString());
        return false;
    }
    QString problem;
    if (!parse(file.readAll(), commands, &problem)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(fileName, problem);
        return false;
    }
    return true;
}

void SimulatedCameraState::apply(const QList<QByteArray> &commands, SimulatedCamera &camera)
{
    // Through the camera's own answer path, so that a state line is stored exactly as the
    // same command sent on the line would be.
    for (const QByteArray &command : commands)
        camera.answer(command);
}
