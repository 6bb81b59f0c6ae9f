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
    /// Whether the raw argument vector holds option exactly ("--help", "--version": answered
    /// before any window system is needed).
    static bool rawArgumentsContain(int argc, const char *const *argv, const char *option);
    /// The text "--help" prints.
    static QString helpText();

    /// Names given as "V:<name>" or "V:<name>=<state file>", in order; "V:" alone gives an
    /// empty name.
    QStringList virtualDevices() const { return mVirtualDevices; }
    /// The state file of each simulated device, in the same order (empty: none).
    QStringList virtualDeviceStates() const { return mVirtualDeviceStates; }
    /// Registers the simulated devices, each holding the values of its state file. A state file
    /// that cannot be read is described in errors; its device starts without values.
    void registerVirtualDevices(QStringList *errors) const;
    bool editorMode() const { return mEditor; }
    bool developerOption() const { return mDeveloper; }
    bool debugOption() const { return mDebug; }

    /// Sets the process flags as start-up does: the editor implies developer mode and runs
    /// without debug mode; otherwise each flag follows its own option.
    void applyTo(AppSettings &settings) const;

private:
    QStringList mVirtualDevices;
    QStringList mVirtualDeviceStates;
    bool mEditor = false;
    bool mDeveloper = false;
    bool mDebug = false;
};

#endif // COMMANDLINE_H
