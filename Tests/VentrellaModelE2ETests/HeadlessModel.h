#pragma once

#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

#include "Platform/Dispatch/RunLoopExecutor.h"
#include "Support/Eventually.h"
#include "Support/LocalUser.h"
#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/Core/GuardSettings.h"

namespace ventrella::e2e {

// The application's production model without its interface: built as the program builds it
// (ProductionAppModel.h) on a plain run loop that runs on a thread of its own, which is the
// model's main thread. That thread, and every thread the model starts from it, is the
// application's ordinary user, as the application is; the rest of the test process stays root.
// Its preferences, login item and diagnostic log live under the user's home, so HOME (and
// XDG_CONFIG_HOME) must name a private directory of that user, and VIRTUAL_MAC_ROOT the
// simulated Mac, for the whole life of the object.
class HeadlessModel {
  public:
    // As `user`: stores `settings` as the user's saved settings, then builds the model and
    // starts its monitoring, as the application does once it has finished launching.
    HeadlessModel(const core::GuardSettings& settings, const testsupport::LocalUser& user);
    // Terminates the model as the application does (when terminate() has not), then ends the
    // loop.
    ~HeadlessModel();

    HeadlessModel(const HeadlessModel&) = delete;
    HeadlessModel& operator=(const HeadlessModel&) = delete;

    // Runs `work` with the model on its main thread and returns what it returns.
    template <class Work>
    auto onMain(Work work) -> std::invoke_result_t<Work, model::AppModel&> {
        using Result = std::invoke_result_t<Work, model::AppModel&>;
        std::packaged_task<Result()> job([&] { return work(*model_); });
        auto result = job.get_future();
        loop_.post([&job] { job(); });
        return result.get();
    }

    // Polls the model on its main thread until `condition` holds, at most `seconds`.
    bool waitUntil(const std::function<bool(const model::AppModel&)>& condition,
                   double seconds = testsupport::eventDeadlineSeconds);

    // Switches control on as the user does, and again while the helper is still starting (an
    // attempt that fails leaves control off); true once control is on.
    bool enableControl(double seconds = testsupport::eventDeadlineSeconds);

    // The application's last call: records "app.terminating", restores Apple Automatic when
    // the model may hold the fans, and writes what the diagnostic log still holds.
    void terminate();

    // The records of the diagnostic log, oldest first.
    std::vector<nlohmann::json> diagnosticRecords() const;
    // Their event names.
    std::vector<std::string> diagnosticEvents() const;

  private:
    platform::dispatch::RunLoopExecutor loop_;
    std::unique_ptr<model::AppModel> model_;
    std::thread thread_;
    bool terminated_ = false;
};

}  // namespace ventrella::e2e
