// ventrella-shell-demo: the menu-bar shell with a placeholder dashboard (a reading, the
// threshold gauge and the footer), for trying the status item and the popover on a desktop and
// for the interface tests. It prints one line per event on standard output:
//   popover.opened x=… y=… width=… height=…     popover.closed
//   terminating signal=…                         exited
#include <QApplication>
#include <QCommandLineParser>
#include <QQmlEngine>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "DemoDashboard.h"
#include "Platform/Foundation/ScopedMainBundle.h"
#include "Ventrella/App/Shell/MenuBarController.h"
#include "Ventrella/App/Shell/TerminationSignals.h"
#include "Ventrella/Core/AppLanguage.h"
#include "Ventrella/Core/L10n.h"
#include "Ventrella/UI/L10nTranslator.h"
#include "Ventrella/UI/NumberText.h"
#include "Ventrella/UI/QmlEnvironment.h"

namespace {

using namespace ventrella;

void say(const QString& line) {
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

std::optional<core::GuardMode> modeNamed(const QString& name) {
    if (name == u"automatic")
        return core::GuardMode::automatic();
    if (name == u"boost")
        return core::GuardMode::boost();
    if (name == u"emergency")
        return core::GuardMode::emergency();
    if (name == u"manual")
        return core::GuardMode::externalManual();
    if (name == u"fault")
        return core::GuardMode::fault("demo");
    return std::nullopt;
}

// The symbol the model shows for a mode (its menu symbol).
std::string menuSymbol(const core::GuardMode& mode, bool controlEnabled) {
    switch (mode.kind()) {
        case core::GuardMode::Kind::automatic:
            return controlEnabled ? "shield.checkered" : "thermometer.medium";
        case core::GuardMode::Kind::boost:
            return "fanblades";
        case core::GuardMode::Kind::emergency:
            return "fanblades.fill";
        case core::GuardMode::Kind::externalManual:
            return "hand.raised.fill";
        case core::GuardMode::Kind::fault:
            return "exclamationmark.triangle.fill";
    }
    return "thermometer.medium";
}

class DemoContentProvider : public shell::PopoverContentProvider {
  public:
    DemoContentProvider(shelldemo::DemoDashboard::Settings settings, std::function<void()> quit)
        : settings_(std::move(settings)), quit_(std::move(quit)) {}

    shell::PopoverContent makeContent() override {
        auto dashboard = std::make_unique<shelldemo::DemoDashboard>(settings_, ++openings_);
        QObject::connect(dashboard.get(), &shelldemo::DemoDashboard::quitRequested, quit_);
        shell::PopoverContent content;
        content.source = QUrl(QStringLiteral("qrc:/qt/qml/Ventrella/ShellDemo/DemoContent.qml"));
        content.properties = {{QStringLiteral("demo"), QVariant::fromValue(dashboard.get())}};
        content.owned = std::move(dashboard);
        return content;
    }

  private:
    shelldemo::DemoDashboard::Settings settings_;
    std::function<void()> quit_;
    int openings_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts: every thread inherits the blocked termination signals.
    shell::TerminationSignals::block();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ventrella-shell-demo"));
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The Ventrella menu-bar shell with a demo dashboard."));
    parser.addHelpOption();
    const QCommandLineOption temperature(QStringLiteral("temperature"),
                                         QStringLiteral("Reading in °C (none: no reading)."),
                                         QStringLiteral("celsius"), QStringLiteral("72.4"));
    const QCommandLineOption boost(QStringLiteral("boost"), QStringLiteral("Boost start in °C."),
                                   QStringLiteral("celsius"), QStringLiteral("80"));
    const QCommandLineOption emergency(QStringLiteral("emergency"),
                                       QStringLiteral("Emergency start in °C."),
                                       QStringLiteral("celsius"), QStringLiteral("90"));
    const QCommandLineOption mode(QStringLiteral("mode"),
                                  QStringLiteral("automatic, boost, emergency, manual or fault."),
                                  QStringLiteral("mode"), QStringLiteral("automatic"));
    const QCommandLineOption control(QStringLiteral("control"),
                                     QStringLiteral("Fan control is on."));
    const QCommandLineOption language(QStringLiteral("language"),
                                      QStringLiteral("Interface language (system, en, de, ar, …)."),
                                      QStringLiteral("language"), QStringLiteral("system"));
    const QCommandLineOption bundle(
        QStringLiteral("bundle"), QStringLiteral("Application bundle with the language tables."),
        QStringLiteral("path"), QStringLiteral(VENTRELLA_APP_BUNDLE_DIR));
    parser.addOptions({temperature, boost, emergency, mode, control, language, bundle});
    parser.process(application);

    shelldemo::DemoDashboard::Settings settings;
    bool valid = true;
    const QString temperatureText = parser.value(temperature);
    if (temperatureText != u"none") {
        settings.temperature = temperatureText.toDouble(&valid);
    }
    bool boostValid = false;
    bool emergencyValid = false;
    settings.boostThreshold = parser.value(boost).toDouble(&boostValid);
    settings.emergencyThreshold = parser.value(emergency).toDouble(&emergencyValid);
    const auto chosenMode = modeNamed(parser.value(mode));
    const auto chosenLanguage = core::appLanguageFromRawValue(parser.value(language).toStdString());
    if (!valid || !boostValid || !emergencyValid || !chosenMode || !chosenLanguage) {
        std::fputs("ventrella-shell-demo: invalid option value (see --help)\n", stderr);
        return 2;
    }
    settings.mode = *chosenMode;
    settings.controlEnabled = parser.isSet(control);
    settings.language = parser.value(language);

    const platform::foundation::ScopedMainBundle mainBundle(parser.value(bundle).toStdString());
    core::L10n::setLanguage(*chosenLanguage);
    ui::L10nTranslator translator;
    QCoreApplication::installTranslator(&translator);
    ui::QmlEnvironment::configureStyle();
    QQmlEngine engine;
    ui::QmlEnvironment::prepare(engine);

    std::unique_ptr<shell::MenuBarController> shell;
    auto terminate = [&](const QString& reason) {
        say(QStringLiteral("terminating ") + reason);
        shell->applicationWillTerminate();
        QCoreApplication::quit();
    };
    DemoContentProvider content(settings, [&] { terminate(QStringLiteral("quit")); });
    shell = std::make_unique<shell::MenuBarController>(engine, content);
    const shell::TerminationSignals signalWatcher(
        [&](int signal) { terminate(QStringLiteral("signal=") + QString::number(signal)); });

    QObject::connect(&shell->popover(), &shell::PopoverWindow::opened, [&] {
        const QRect frame = shell->popover().window().geometry();
        say(QStringLiteral("popover.opened x=%1 y=%2 width=%3 height=%4")
                .arg(frame.x())
                .arg(frame.y())
                .arg(frame.width())
                .arg(frame.height()));
    });
    QObject::connect(&shell->popover(), &shell::PopoverWindow::closed,
                     [] { say(QStringLiteral("popover.closed")); });

    shell->refreshStatusItem({
        .menuSymbol = menuSymbol(settings.mode, settings.controlEnabled),
        .menuTitle = settings.temperature
                         ? ui::NumberText::formatted("%.0f°", *settings.temperature)
                         : core::L10n::string("Fan"),
        .guardMode = settings.mode,
    });
    shell->launch();
    const int status = QApplication::exec();
    shell.reset();
    say(QStringLiteral("exited"));
    return status;
}
