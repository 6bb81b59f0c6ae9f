#include "app/appsettings.h"
#include "app/commandline.h"
#include "app/debuglog.h"
#include "comm/metatypes.h"
#include "editor/editwindow.h"
#include "ui/appidentity.h"
#include "ui/mainwindow.h"
#include "ui/splashscreen.h"
#include "ui/uiresources.h"

#include <QApplication>
#include <QDebug>
#include <QIcon>
#include <QTextStream>

#include <memory>

namespace {

constexpr int kSplashMinimumMs = 2500;

} // namespace

int main(int argc, char *argv[])
{
    // Answered before the application object exists, which would need a display.
    if (CommandLine::rawArgumentsContain(argc, argv, "--help")) {
        QTextStream(stdout) << CommandLine::helpText();
        return 0;
    }
    if (CommandLine::rawArgumentsContain(argc, argv, "--version")) {
        QTextStream(stdout) << AppIdentity::name() << ' ' << AppIdentity::version() << '\n';
        return 0;
    }

    AppSettings &settings = AppSettings::instance();

    bool consoleAllocated = false;
    if (CommandLine::rawArgumentsAskForDebug(argc, argv))
        consoleAllocated = DebugLog::start();

    QApplication app(argc, argv);
    QApplication::setApplicationName(AppIdentity::name());
    QApplication::setApplicationVersion(AppIdentity::version());
    UiResources::init();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":images/icon.png")));

    MetaTypes::registerAll();

    const CommandLine commandLine(QApplication::arguments());
    QStringList stateErrors;
    commandLine.registerVirtualDevices(&stateErrors);
    for (const QString &error : qAsConst(stateErrors))
        qWarning().noquote() << error;

    if (commandLine.editorMode()) {
        commandLine.applyTo(settings);
        EditWindow::showInstance();
        const int result = QApplication::exec();
        EditWindow::destroyInstance();
        if (consoleAllocated)
            DebugLog::releaseConsole();
        return result;
    }

    commandLine.applyTo(settings);

    std::unique_ptr<SplashScreen> splash = std::make_unique<SplashScreen>();
    splash->show();
    std::unique_ptr<MainWindow> window = std::make_unique<MainWindow>();
    window->applySettings(splash.get());
    splash->finishAfter(kSplashMinimumMs);

    window->show();
    const int result = QApplication::exec();

    if (consoleAllocated)
        DebugLog::releaseConsole();
    // The window first: its destructor stops the communication thread and saves the settings.
    window.reset();
    EditWindow::destroyInstance();
    splash.reset();
    return result;
}
