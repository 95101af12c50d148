// The scripted reader other suites drive the model with: a wrong answer here would make their
// tests pass or fail for the wrong reason.
#include "Support/ScriptedFanHardwareReader.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "Ventrella/Core/VentrellaError.h"

namespace ventrella::fakes {
namespace {

TEST(ScriptedFanHardwareReader, AnswersInOrderRepeatsTheLastAnswerAndThrowsScriptedErrors) {
    ScriptedFanHardwareReader reader;
    EXPECT_THROW(reader.snapshot(), std::logic_error);

    core::SensorSnapshot warm;
    warm.cpuTemperatures = {{"Te05", 60.0}, {"Tf04", 62.0}};
    core::SensorSnapshot hot = warm;
    hot.cpuTemperatures["Te05"] = 95.0;
    const auto failure = core::VentrellaError::parseFailed("Only 1 valid");
    reader.answerSnapshot(warm);
    reader.failSnapshot(std::make_exception_ptr(failure));
    reader.answerSnapshot(hot);
    int hooks = 0;
    reader.onSnapshot = [&] { ++hooks; };

    EXPECT_EQ(reader.snapshot(), warm);
    try {
        reader.snapshot();
        ADD_FAILURE() << "the scripted error was not thrown";
    } catch (const core::VentrellaError& error) {
        EXPECT_EQ(error, failure);
    }
    EXPECT_EQ(reader.snapshot(), hot);
    EXPECT_EQ(reader.snapshot(), hot);
    EXPECT_EQ(reader.snapshotCalls(), 5U);
    EXPECT_EQ(hooks, 4);

    apphardware::HardwarePreflight preflight;
    preflight.capabilities.canMonitor = true;
    reader.answerPreflight(preflight);
    EXPECT_EQ(reader.preflight(), preflight);
    EXPECT_EQ(reader.preflightCalls(), 1U);
}

}  // namespace
}  // namespace ventrella::fakes
