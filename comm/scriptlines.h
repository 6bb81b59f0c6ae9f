#ifndef SCRIPTLINES_H
#define SCRIPTLINES_H

#include <QByteArray>
#include <QList>

/// The lines of a console script, as the console, mfxctl and the simulated cameras' start states
/// read them: a line ends at LF, CR LF or a lone CR, and empty lines are left out.
class ScriptLines
{
public:
    struct Line
    {
        QByteArray text;
        /// Counted from 1; CR LF ends one line.
        int number = 0;
    };
    static QList<Line> split(const QByteArray &script);
};

#endif // SCRIPTLINES_H
