#include "app/appsettings.h"

#include <QSettings>

namespace {
const char *const kOrganisation = "Vorlex";
const char *const kApplication = "Marnifex";
} // namespace

AppSettings &AppSettings::instance()
{
    static AppSettings settings = [] {
        AppSettings s;
        s.load();
        return s;
    }();
    return settings;
}

AppSettings::AppSettings() = default;

void AppSettings::load()
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    load(store);
}

void AppSettings::save() const
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    save(store);
}

void AppSettings::load(QSettings &store)
{
    askExitWindows = store.value("askExitWindows", true).toBool();
    runtimeWindowsGeometry = store.value("runtimeWindowsGeometry", QByteArray()).toByteArray();
    runtimeShowConsole = store.value("runtimeShowConsole", false).toBool();
    runtimeAlwaysEditMode = store.value("runtimeAlwaysEditMode", false).toBool();
    runtimeSizeOfSettings = store.value("runtimeSizeOfSettings", 0).toInt();
    modeView = store.value("modeView", 0).toInt();
    modeDescription = store.value("modeDescription", 0).toInt();
    updateDelay = store.value("updateDelay", 5000).toInt();
    searchPaths = store.value("searchPaths", QStringList()).toStringList();
    consoleLogDebug = store.value("consoleLogDebug", false).toBool();
    consoleLogTimed = store.value("consoleLogTimed", false).toBool();

    // Every run starts in edit-on-selection mode, whatever was stored.
    runtimeAlwaysEditMode = false;
}

void AppSettings::save(QSettings &store) const
{
    store.setValue("askExitWindows", askExitWindows);
    store.setValue("runtimeWindowsGeometry", runtimeWindowsGeometry);
    store.setValue("runtimeShowConsole", runtimeShowConsole);
    store.setValue("runtimeAlwaysEditMode", runtimeAlwaysEditMode);
    store.setValue("runtimeSizeOfSettings", runtimeSizeOfSettings);
    store.setValue("updateDelay", updateDelay);
    store.setValue("searchPaths", searchPaths);
    store.setValue("modeView", modeView);
    store.setValue("modeDescription", modeDescription);
    store.setValue("consoleLogDebug", consoleLogDebug);
    store.setValue("consoleLogTimed", consoleLogTimed);
    store.sync();
}
