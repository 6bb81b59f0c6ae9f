#ifndef SIMULATEDCAMERASTATE_H
#define SIMULATEDCAMERASTATE_H

#include <QByteArray>
#include <QList>
#include <QString>

class SimulatedCamera;

/// The values a simulated camera starts with: a text of console set commands, one a line, as
/// console scripts are written ("GAI120", "UID\"Line 3"). Leading letters count in upper case,
/// as the console sends them; empty lines are skipped.
class SimulatedCameraState
{
public:
    /// The set commands of a state text; false (with the line named in error) at the first line
    /// that is a query rather than a set.
    static bool parse(const QByteArray &text, QList<QByteArray> *commands, QString *error);
    /// Reads and parses a state file; error names the file.
    static bool read(const QString &fileName, QList<QByteArray> *commands, QString *error);
    /// Stores each set in the camera as if it had been sent to it.
    static void apply(const QList<QByteArray> &commands, SimulatedCamera &camera);
};

#endif // SIMULATEDCAMERASTATE_H
