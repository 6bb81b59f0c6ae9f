#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QStringList>

class AppSettings;

/// What the command line asks for. Options are matched exactly and case-sensitively;
/// anything else is ignored.
class CommandLine
{
public:
    /// arguments as the application lists them, the program path first.
    explicit CommandLine(const QStringList &arguments);

    /// Scans the raw argument vector, before the application object exists and consumes
    /// its own options, for "--debug".
    static bool rawArgumentsAskForDebug(int argc, const char *const *argv);

    /// Names given as "V:<name>", in order; "V:" alone gives an empty name.
    QStringList virtualDevices() const { return mVirtualDevices; }
    bool editorMode() const { return mEditor; }
    bool developerOption() const { return mDeveloper; }
    bool debugOption() const { return mDebug; }

    /// Sets the process flags as start-up does: the editor implies developer mode and runs
    /// without debug mode; otherwise each flag follows its own option.
    void applyTo(AppSettings &settings) const;

private:
    QStringList mVirtualDevices;
    bool mEditor = false;
    bool mDeveloper = false;
    bool mDebug = false;
};

#endif // COMMANDLINE_H
