#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "Platform/Dispatch/ManualExecutor.h"
#include "Support/FakeSavePanel.h"
#include "Support/ScopedEnvironment.h"
#include "Support/TemporaryPlatformRoot.h"
#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/App/Model/ProductionAppModel.h"

namespace {

using namespace ventrella;

// The program's composition on a simulated Mac that is not running, with a home of its own:
// every slot is filled (the model refuses an empty one) and building the model touches nothing
// outside that root.
TEST(ProductionAppModelTests, TheProgramsCompositionFillsEverySlot) {
    testsupport::TemporaryPlatformRoot root;
    const auto home = root.path() / "Users" / "me";
    std::filesystem::create_directories(home);
    testsupport::ScopedEnvironment environment(
        {{"HOME", home.string()}, {"XDG_CONFIG_HOME", std::nullopt}});

    int terminations = 0;
    auto dependencies = model::productionAppModelDependencies(
        std::make_shared<fakes::FakeSavePanel>(), [&] { ++terminations; });
    EXPECT_FALSE(dependencies.initialSettings);
    EXPECT_FALSE(dependencies.helperApprovalPending);
    EXPECT_EQ(dependencies.transientStatusDurationSeconds, 3.0);

    platform::dispatch::ManualExecutor executor;
    std::unique_ptr<model::AppModel> built;
    ASSERT_NO_THROW(built = std::make_unique<model::AppModel>(executor, std::move(dependencies)));
    EXPECT_EQ(built->settings(), core::GuardSettings{});
    EXPECT_FALSE(built->helperInstalled());
    EXPECT_EQ(terminations, 0);
}

}  // namespace
