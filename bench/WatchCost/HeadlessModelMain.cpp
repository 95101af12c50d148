// The application model without its interface, for the watch-cost benchmark: the production
// model (ProductionAppModel.h) on a plain run loop, watching with the user's saved settings and
// switching fan control on as soon as the helper answers. It ends as the application does on
// SIGTERM or SIGINT.
//
// It says what it does on standard output, one line each, for the benchmark to follow:
//   enabled        fan control is on
//   cycle          a guard cycle has read the sensors
//   mode NAME      the guard mode became NAME (automatic, boost, emergency, fault, external)
//
// The benchmark installs it as the bundle's executable of a simulated Mac (so the helper serves
// it) and gives it a private HOME with the settings stored.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "Platform/Dispatch/RunLoopExecutor.h"
#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/App/Model/ProductionAppModel.h"
#include "Ventrella/Diagnostics/SavePanel.h"

namespace {

using ventrella::core::GuardMode;
using ventrella::model::AppModel;
using ventrella::model::PublishedField;

// How long to wait before asking again for control that the helper refused (it may be
// starting).
constexpr double retryEnableSeconds = 0.5;

// Nobody exports a report from this program.
class NoSavePanel final : public ventrella::diagnostics::SavePanel {
  public:
    std::optional<std::filesystem::path> chooseDestination(
        const ventrella::diagnostics::SavePanelOptions&) override {
        return std::nullopt;
    }
};

void say(const std::string& line) {
    const std::string text = line + "\n";
    // A reader that has gone is no reason to stop watching.
    (void)!::write(STDOUT_FILENO, text.data(), text.size());
}

std::string modeName(GuardMode::Kind kind) {
    switch (kind) {
        case GuardMode::Kind::automatic:
            return "automatic";
        case GuardMode::Kind::boost:
            return "boost";
        case GuardMode::Kind::emergency:
            return "emergency";
        case GuardMode::Kind::fault:
            return "fault";
        case GuardMode::Kind::externalManual:
            return "external";
    }
    return "unknown";
}

// Switches control on, and again later while it is refused.
void enableWhenReady(AppModel& model, platform::dispatch::RunLoopExecutor& loop) {
    if (model.controlEnabled()) {
        say("enabled");
        return;
    }
    if (!model.operationInProgress()) {
        model.requestControl(true);
    }
    loop.postAt(loop.uptime() + retryEnableSeconds,
                [&model, &loop] { enableWhenReady(model, loop); });
}

}  // namespace

int main() {
    // Only the signal thread takes the ending signals; every thread started later inherits the
    // mask.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);

    {
        platform::dispatch::RunLoopExecutor loop;
        std::unique_ptr<AppModel> model;
        loop.post([&] {
            try {
                model = std::make_unique<AppModel>(
                    loop, ventrella::model::productionAppModelDependencies(
                              std::make_shared<NoSavePanel>(),
                              // Quitting ends the program as a signal does.
                              [] { ::kill(::getpid(), SIGTERM); }));
                model->subscribeWillChange([&](PublishedField field) {
                    if (field == PublishedField::latestSensorSnapshot) {
                        say("cycle");
                    } else if (field == PublishedField::guardMode) {
                        // Announced before the write: read it once written.
                        loop.post([&] { say("mode " + modeName(model->guardMode().kind())); });
                    }
                });
                model->startMonitoring();
                enableWhenReady(*model, loop);
            } catch (const std::exception& error) {
                // Without a model there is nothing to watch or to hand back.
                std::cerr << "watch-cost-model: " << error.what() << "\n";
                std::_Exit(1);
            }
        });
        std::thread signals([&] {
            int signal = 0;
            sigwait(&ending, &signal);
            loop.post([&] {
                model->applicationWillTerminate();
                loop.stop();
            });
        });
        loop.run();
        signals.join();
        model.reset();
    }
    return 0;
}
