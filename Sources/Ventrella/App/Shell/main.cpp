// Ventrella: the menu-bar application. It has no window: its icon sits in the desktop's system
// tray, and a click on it opens the popover with the dashboard. SIGTERM, SIGINT and SIGHUP, and
// the session's end, end it as quitting does.
#include <QApplication>
#include <QQmlEngine>
#include <cstdio>
#include <exception>
#include <memory>

#include "Platform/Foundation/Bundle.h"
#include "Ventrella/App/Model/ProductionAppModel.h"
#include "Ventrella/App/Shell/AppDelegate.h"
#include "Ventrella/App/Shell/TerminationSignals.h"
#include "Ventrella/UI/InertUpdater.h"
#include "Ventrella/UI/L10nTranslator.h"
#include "Ventrella/UI/QmlEnvironment.h"

int main(int argc, char** argv) {
    using namespace ventrella;
    // Before any thread starts: every thread inherits the blocked termination signals.
    shell::TerminationSignals::block();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ventrella"));
    QApplication::setOrganizationDomain(QStringLiteral("quillmoor.com"));
    // Closing the popover (the only window) never ends the application.
    QApplication::setQuitOnLastWindowClosed(false);

    ui::L10nTranslator translator;
    QCoreApplication::installTranslator(&translator);
    ui::QmlEnvironment::configureStyle();
    QQmlEngine engine;
    ui::QmlEnvironment::prepare(engine);

    std::unique_ptr<shell::AppDelegate> delegate;
    try {
        delegate = std::make_unique<shell::AppDelegate>(
            engine, &model::productionAppModelDependencies,
            [] { return std::make_unique<ui::InertUpdater>(); },
            platform::foundation::Bundle::main().infoDictionary(), &QCoreApplication::quit);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Ventrella: %s\n", error.what());
        return 1;
    }
    const shell::TerminationSignals terminationSignals(
        [&delegate](int signal) { delegate->terminate(signal); });
    // Every other end of the event loop (the session manager's quit at logout) takes the same
    // orderly way out; after a quit or a signal, terminate() has run already and does nothing.
    QObject::connect(&application, &QCoreApplication::aboutToQuit,
                     [&delegate] { delegate->terminate(); });

    delegate->applicationDidFinishLaunching();
    const int status = QApplication::exec();
    delegate.reset();
    return status;
}
