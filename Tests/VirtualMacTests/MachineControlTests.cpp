#include "Platform/VirtualMac/MachineControl.h"

#include <gtest/gtest.h>

using namespace virtualmac;
using nlohmann::json;

namespace {

struct ControlledMachine {
    explicit ControlledMachine(const char* profile)
        : machine(MachineProfile::named(profile)), control(machine, 4.0, [this] { ++stops; }) {}

    VirtualMachine machine;
    int stops = 0;
    MachineControl control;
};

}  // namespace

TEST(MachineControl, StatusReportsFansTemperaturesAndFaults) {
    ControlledMachine subject("apple-silicon");
    subject.machine.setLoad(50, 25);
    subject.machine.tick(30);
    const auto reply = subject.control.handle({{"command", "status"}});
    ASSERT_TRUE(reply["ok"].get<bool>()) << reply.dump();
    const auto& status = reply["status"];
    EXPECT_EQ(status["profile"], "apple-silicon");
    EXPECT_EQ(status["hardwareModel"], "Mac15,6");
    EXPECT_DOUBLE_EQ(status["speed"].get<double>(), 4.0);
    EXPECT_DOUBLE_EQ(status["load"]["cpu"].get<double>(), 50);
    EXPECT_NEAR(status["temperatures"]["cpu"].get<double>(), subject.machine.status().cpuCelsius,
                1e-9);
    ASSERT_EQ(status["fans"].size(), 2u);
    EXPECT_EQ(status["fans"][1]["mode"], "automatic");
    EXPECT_EQ(status["smcTemperatures"].size(), subject.machine.profile().temperatureKeys.size());
    EXPECT_TRUE(status["hidTemperatures"].contains("pACC MTR Temp Sensor0"));
    EXPECT_TRUE(status["faults"].empty());
}

TEST(MachineControl, CarriesOutLoadFaultAndStopRequests) {
    ControlledMachine subject("legacy-mask");
    EXPECT_TRUE(subject.control.handle({{"command", "load"}, {"gpu", 60}})["ok"].get<bool>());
    EXPECT_NEAR(subject.machine.status().gpuLoadPercent, 60, 1e-9);
    EXPECT_DOUBLE_EQ(subject.machine.status().cpuLoadPercent, 0);

    for (const json& request : {
             json{{"command", "fault"}, {"kind", "refuse-writes"}, {"key", "F0Tg"}},
             json{{"command", "fault"}, {"kind", "result-code"}, {"key", "FS! "}, {"code", 0x99}},
             json{{"command", "fault"}, {"kind", "drop-manual"}, {"fan", 1}},
             json{{"command", "fault"}, {"kind", "mask-stuck"}},
         }) {
        EXPECT_TRUE(subject.control.handle(request)["ok"].get<bool>()) << request.dump();
    }
    EXPECT_EQ(subject.control.statusJSON()["faults"].size(), 4u);
    EXPECT_TRUE(
        subject.control
            .handle({{"command", "fault"}, {"kind", "other-app"}, {"fan", 0}, {"rpm", 3000}})["ok"]
            .get<bool>());
    EXPECT_TRUE(subject.machine.status().fans[0].manual);

    EXPECT_TRUE(subject.control.handle({{"command", "clear-faults"}})["ok"].get<bool>());
    EXPECT_TRUE(subject.machine.status().faults.empty());
    EXPECT_EQ(subject.stops, 0);
    EXPECT_TRUE(subject.control.handle({{"command", "stop"}})["ok"].get<bool>());
    EXPECT_EQ(subject.stops, 1);
}

TEST(MachineControl, AnswersMalformedOrImpossibleRequestsWithAnError) {
    ControlledMachine subject("upper-case-mode");
    const auto errorOf = [&](const json& request) {
        const auto reply = subject.control.handle(request);
        EXPECT_FALSE(reply["ok"].get<bool>()) << request.dump();
        return reply.value("error", std::string());
    };
    EXPECT_NE(errorOf(json::array()).find("JSON object"), std::string::npos);
    EXPECT_NE(errorOf({{"verb", "status"}}).find("\"command\""), std::string::npos);
    EXPECT_NE(errorOf({{"command", "reboot"}}).find("unknown command"), std::string::npos);
    EXPECT_NE(errorOf({{"command", "load"}, {"cpu", "hot"}}).find("number"), std::string::npos);
    EXPECT_NE(errorOf({{"command", "load"}, {"cpu", 150}}).find("0 to 100"), std::string::npos);
    EXPECT_NE(errorOf({{"command", "fault"}, {"kind", "ftst-stuck"}}).find("Ftst"),
              std::string::npos);
    EXPECT_NE(errorOf({{"command", "fault"}, {"kind", "drop-manual"}, {"fan", -1}}).find("fan"),
              std::string::npos);
    EXPECT_NE(
        errorOf({{"command", "fault"}, {"kind", "result-code"}, {"key", "F0Tg"}, {"code", 300}})
            .find("byte"),
        std::string::npos);
    EXPECT_NE(errorOf({{"command", "fault"}, {"kind", "other-app"}, {"fan", 7}, {"rpm", 1}})
                  .find("no fan 7"),
              std::string::npos);
    EXPECT_TRUE(subject.machine.status().faults.empty());
}
