#ifndef APPSETTINGS_H
#define APPSETTINGS_H

#include <QByteArray>
#include <QStringList>

class QSettings;

/// The user's preferences and window layout, kept between runs, plus the two process flags
/// set from the command line. Every other part reads and writes the fields directly; only
/// this class talks to the persistent store.
class AppSettings
{
public:
    /// The process-wide instance, loaded from the user's store when first asked for.
    static AppSettings &instance();

    AppSettings();

    /// Reads the user's store (organisation "Vorlex", application "Marnifex").
    void load();
    /// Writes every persisted field to the user's store and flushes it.
    void save() const;

    void load(QSettings &store);
    void save(QSettings &store) const;

    bool askExitWindows = true;
    QByteArray runtimeWindowsGeometry;
    int runtimeSizeOfSettings = 0;
    bool runtimeShowConsole = false;
    bool runtimeAlwaysEditMode = false;
    int updateDelay = 5000;
    int modeView = 0;
    int modeDescription = 0;
    bool consoleLogDebug = false;
    bool consoleLogTimed = false;
    QStringList searchPaths;

    // Set from the command line; never stored.
    bool developerMode = false;
    bool debugMode = false;
};

#endif // APPSETTINGS_H
