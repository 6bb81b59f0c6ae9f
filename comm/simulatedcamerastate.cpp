#include "comm/simulatedcamerastate.h"

#include "comm/simulatedcamera.h"

#include <QFile>

bool SimulatedCameraState::parse(
    const QByteArray &text, QList<QByteArray> *commands, QString *error)
{
    QList<QByteArray> parsed;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        line.replace('\r', QByteArray());
        if (line.isEmpty())
            continue;
        // A script line holding "?" expects a reply: a query, which stores nothing.
        if (line.contains('?')) {
            if (error)
                *error = QStringLiteral("line %1: %2 is a query, not a set command")
                             .arg(i + 1)
                             .arg(QString::fromLatin1(line));
            return false;
        }
        parsed.append(line);
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
