#ifndef DEBUGLOG_H
#define DEBUGLOG_H

#include <QString>
#include <QtGlobal>

/// The "--debug" route of diagnostics: every message is appended to "debug.log" in the
/// working directory and copied to the standard error stream (a console window on Windows).
class DebugLog
{
public:
    /// Opens the console where the platform needs one, installs the handler and writes the
    /// dated banner. Returns whether a console was allocated (to be released at exit).
    static bool start();
    /// Releases a console allocated by start().
    static void releaseConsole();

    /// The message handler; the file is opened and closed per message so that nothing is
    /// lost when the process dies.
    static void debugMessageHandler(
        QtMsgType type, const QMessageLogContext &context, const QString &message);

    static const char *fileName() { return "debug.log"; }
};

#endif // DEBUGLOG_H
