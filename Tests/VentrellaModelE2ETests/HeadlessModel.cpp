#include "VentrellaModelE2ETests/HeadlessModel.h"

#include <chrono>
#include <fstream>
#include <string>

#include "Platform/Foundation/PropertyListUserDefaults.h"
#include "Support/FakeSavePanel.h"
#include "Ventrella/App/Model/ProductionAppModel.h"
#include "Ventrella/Core/GuardSettingsJSON.h"
#include "Ventrella/Diagnostics/DiagnosticLog.h"

namespace ventrella::e2e {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

HeadlessModel::HeadlessModel(const core::GuardSettings& settings,
                             const testsupport::LocalUser& user) {
    thread_ = std::thread([this] { loop_.run(); });
    std::packaged_task<void()> build([&] {
        // The loop's first work: nothing ran on it before.
        user.becomeInThisThread();
        platform::foundation::PropertyListUserDefaults(
            platform::foundation::PropertyListUserDefaults::preferencesFile(
                model::applicationIdentifier))
            .setData(model::AppModel::settingsDefaultsKey, core::encodeGuardSettings(settings));
        // Nobody exports a report here; quitting is not asked of this model.
        model_ = std::make_unique<model::AppModel>(
            loop_,
            model::productionAppModelDependencies(std::make_shared<fakes::FakeSavePanel>(), [] {}));
        model_->startMonitoring();
    });
    auto built = build.get_future();
    loop_.post([&build] { build(); });
    try {
        built.get();
    } catch (...) {
        loop_.stop();
        thread_.join();
        throw;
    }
}

HeadlessModel::~HeadlessModel() {
    terminate();
    loop_.post([this] {
        model_.reset();
        loop_.stop();
    });
    thread_.join();
}

bool HeadlessModel::waitUntil(const std::function<bool(const model::AppModel&)>& condition,
                              double seconds) {
    return testsupport::eventually(
        [&] { return onMain([&](model::AppModel& model) { return condition(model); }); },
        std::chrono::duration<double>(seconds), std::chrono::milliseconds(50));
}

bool HeadlessModel::enableControl(double seconds) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < deadline) {
        onMain([](model::AppModel& model) { model.requestControl(true); });
        (void)waitUntil([](const model::AppModel& model) { return !model.operationInProgress(); });
        if (onMain([](model::AppModel& model) { return model.controlEnabled(); })) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return false;
}

void HeadlessModel::terminate() {
    if (terminated_) {
        return;
    }
    terminated_ = true;
    onMain([](model::AppModel& model) { model.applicationWillTerminate(); });
}

std::vector<nlohmann::json> HeadlessModel::diagnosticRecords() const {
    std::vector<nlohmann::json> records;
    std::ifstream file(diagnostics::DiagnosticLog::shared().activeFile());
    for (std::string line; std::getline(file, line);) {
        if (!line.empty()) {
            records.push_back(nlohmann::json::parse(line));
        }
    }
    return records;
}

std::vector<std::string> HeadlessModel::diagnosticEvents() const {
    std::vector<std::string> events;
    for (const auto& record : diagnosticRecords()) {
        events.push_back(record.at("event").get<std::string>());
    }
    return events;
}

}  // namespace ventrella::e2e
