#ifndef SIMULATEDCAMERASTATE_H
#define SIMULATEDCAMERASTATE_H

#include <QByteArray>
#include <QList>
#include <QString>

class SimulatedCamera;

/// The values a simulated camera starts with: a console script of set commands, one a line
/// ("GAI120", "UID\"Line 3"), as if the camera had run it before it starts. Lines are taken raw,
/// as a console script sends them; empty lines are skipped, and a query has no place in it.
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
