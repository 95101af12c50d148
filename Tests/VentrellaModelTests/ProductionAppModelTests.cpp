#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "Platform/Dispatch/ManualExecutor.h"
#include "Support/FakeSavePanel.h"
#include "Support/FileContents.h"
#include "Support/ScopedEnvironment.h"
#include "Support/TemporaryPlatformRoot.h"
#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/App/Model/ProductionAppModel.h"
#include "Ventrella/Diagnostics/DiagnosticLog.h"

namespace {

using namespace ventrella;

// The program's composition on a simulated Mac that is not running, with a home of its own:
// every slot is filled (the model refuses an empty one) and building the model touches nothing
// outside that root. Preferences that cannot be read are kept aside at the first save, and the
// event log says so.
TEST(ProductionAppModelTests, TheProgramsCompositionFillsEverySlot) {
    testsupport::TemporaryPlatformRoot root;
    const auto home = root.path() / "Users" / "me";
    const auto preferences = home / "Library" / "Preferences" / "com.quillmoor.Ventrella.plist";
    std::filesystem::create_directories(preferences.parent_path());
    std::ofstream(preferences) << "<plist><dict><key>guardSettings</key>";
    testsupport::ScopedEnvironment environment(
        {{"HOME", home.string()}, {"XDG_CONFIG_HOME", std::nullopt}});

    int terminations = 0;
    auto dependencies = model::productionAppModelDependencies(
        std::make_shared<fakes::FakeSavePanel>(), [&] { ++terminations; });
    EXPECT_FALSE(dependencies.initialSettings);
    EXPECT_FALSE(dependencies.helperApprovalPending);
    EXPECT_EQ(dependencies.transientStatusDurationSeconds, 3.0);
    const auto defaults = dependencies.userDefaults;

    platform::dispatch::ManualExecutor executor;
    std::unique_ptr<model::AppModel> built;
    ASSERT_NO_THROW(built = std::make_unique<model::AppModel>(executor, std::move(dependencies)));
    EXPECT_EQ(built->settings(), core::GuardSettings{});
    EXPECT_FALSE(built->helperInstalled());
    EXPECT_EQ(terminations, 0);

    defaults->setData(model::AppModel::settingsDefaultsKey, "{}");
    EXPECT_EQ(testsupport::readFile(preferences.string() + ".unreadable"),
              "<plist><dict><key>guardSettings</key>");
    // The report holds what the log has written, every record before it included.
    const auto report = root.path() / "report.txt";
    diagnostics::DiagnosticLog::shared().writeReport(report, {});
    EXPECT_NE(testsupport::readFile(report).find(
                  R"("event":"settings.preferences_set_aside","level":"warning",)"
                  R"("message":"The preferences file could not be read: not a property list.",)"
                  R"("metadata":{"kept_as":"com.quillmoor.Ventrella.plist.unreadable"})"),
              std::string::npos)
        << testsupport::readFile(report);
}

}  // namespace
