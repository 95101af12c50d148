#include "Platform/VirtualMac/MachineControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "Platform/Foundation/LineExchange.h"
#include "Platform/VirtualMac/MachineControlClient.h"
#include "Platform/VirtualMac/MachineServer.h"
#include "Support/Eventually.h"
#include "Support/TemporaryPlatformRoot.h"

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

// A part of the machine that fails in its own ways: "fail" throws what "failure" names.
std::optional<nlohmann::ordered_json> failingPart(const std::string& command, const json& request) {
    if (command != "fail") {
        return std::nullopt;
    }
    const std::string failure = request.value("failure", "");
    if (failure == "runtime") {
        throw std::runtime_error("the daemon folder cannot be read");
    }
    if (failure == "system") {
        throw std::system_error(std::make_error_code(std::errc::too_many_files_open), "spawn");
    }
    if (failure == "logic") {
        throw std::length_error("a label too long to keep");
    }
    if (failure == "not-utf8") {
        throw std::runtime_error("cannot read \xff\xfe.plist");
    }
    throw 42;  // not an exception type at all
}

// A machine served on its sockets from a thread of its own, as the program serves it.
class ServedMachine {
  public:
    ServedMachine()
        : machine_(MachineProfile::named("apple-silicon")),
          server_(machine_, {root_.path() / "run", 1.0, 0.1}) {
        server_.control().addExtension(failingPart);
        thread_ = std::thread([this] { server_.run(); });
    }
    ~ServedMachine() {
        server_.requestStop();
        thread_.join();
    }
    ServedMachine(const ServedMachine&) = delete;
    ServedMachine& operator=(const ServedMachine&) = delete;

    json exchange(const std::string& line) {
        return json::parse(platform::foundation::exchangeLine(
            MachineServer::controlSocketPath(runDirectory()), line, 5.0));
    }
    std::filesystem::path runDirectory() const { return root_.path() / "run"; }

  private:
    ventrella::testsupport::TemporaryPlatformRoot root_;
    VirtualMachine machine_;
    MachineServer server_;
    std::thread thread_;
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

TEST(MachineControl, AFailingRequestIsAnsweredAndTheMachineServesOn) {
    ControlledMachine subject("apple-silicon");
    subject.control.addExtension(failingPart);
    const struct {
        json request;
        std::string error;
    } cases[] = {
        {{{"command", "fail"}, {"failure", "runtime"}}, "the daemon folder cannot be read"},
        {{{"command", "fail"}, {"failure", "system"}}, "spawn"},
        {{{"command", "fail"}, {"failure", "logic"}}, "a label too long to keep"},
        {{{"command", "fail"}, {"failure", "other"}}, "the request failed"},
        {{{"command", "load"}, {"cpu", 1e300}}, "0 to 100"},
        {{{"command", "fault"}, {"kind", 7}}, "unknown fault kind"},
        {{{"command", "fault"}, {"kind", "refuse-writes"}, {"key", "F0Tg"}, {"result", -1}},
         "byte"},
        {{{"command", "fault"}, {"kind", "other-app"}, {"fan", 18446744073709551615u}, {"rpm", 1}},
         "fan"},
    };
    for (const auto& [request, error] : cases) {
        SCOPED_TRACE(request.dump());
        const auto reply = subject.control.handle(request);
        EXPECT_FALSE(reply.value("ok", true));
        EXPECT_NE(reply.value("error", std::string()).find(error), std::string::npos)
            << reply.dump();
        EXPECT_TRUE(subject.control.handle({{"command", "status"}}).value("ok", false));
        EXPECT_TRUE(subject.control.handle({{"command", "load"}, {"cpu", 10}}).value("ok", false));
    }
    EXPECT_TRUE(subject.machine.status().faults.empty());
}

TEST(MachineControl, TheServedMachineAnswersEveryBadLineAndServesOn) {
    ServedMachine served;
    const struct {
        std::string line;
        std::string error;
    } cases[] = {
        {"status please", "not JSON"},
        {"\xff\xfe{}", "not JSON"},
        {R"({"command": "load", "cpu": 1e400})", "cannot be read"},
        {R"([1, 2])", "JSON object"},
        {R"({"command": "load", "gpu": "hot"})", "number"},
        {R"({"command": "fail", "failure": "runtime"})", "the daemon folder cannot be read"},
        {R"({"command": "fail", "failure": "not-utf8"})", "cannot read \xef\xbf\xbd"},
        {R"({"command": "fail"})", "the request failed"},
    };
    for (const auto& [line, error] : cases) {
        SCOPED_TRACE(line);
        const json reply = served.exchange(line);
        EXPECT_FALSE(reply.value("ok", true));
        EXPECT_NE(reply.value("error", std::string()).find(error), std::string::npos)
            << reply.dump();
        const auto status = sendControlRequest(served.runDirectory(), {{"command", "status"}});
        EXPECT_TRUE(status.value("ok", false)) << status.dump();
    }
}

TEST(MachineServer, RefusesSpeedsAndTickIntervalsItCannotStepBy) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    VirtualMachine machine(MachineProfile::named("apple-silicon"));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        double speed;
        double tickSeconds;
    } cases[] = {{0, 0.1}, {-1, 0.1},   {nan, 0.1}, {infinity, 0.1},
                 {1.0, 0}, {1.0, -0.1}, {1.0, nan}, {1.0, infinity}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.speed) + " " + std::to_string(c.tickSeconds));
        MachineServerOptions options;
        options.runDirectory = root.path() / "run";
        options.speed = c.speed;
        options.tickSeconds = c.tickSeconds;
        EXPECT_THROW(MachineServer(machine, options), std::invalid_argument);
    }
}

TEST(MachineServer, AStepThatFailsIsLoggedAndTheMachineStepsOn) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    VirtualMachine machine(MachineProfile::named("apple-silicon"));
    const auto start = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
    // The clock fails once, then runs backwards once, then moves on by 0.25 s a reading.
    std::atomic<int> readings = 0;
    std::mutex logMutex;
    std::vector<std::string> logged;
    MachineServerOptions options;
    options.runDirectory = root.path() / "run";
    options.tickSeconds = 0.001;
    options.clock = [&] {
        const int reading = readings++;
        if (reading == 1) {
            throw std::runtime_error("the clock cannot be read");
        }
        if (reading == 2) {
            return start - std::chrono::seconds(5);
        }
        return start + reading * std::chrono::milliseconds(250);
    };
    options.log = [&](const std::string& line) {
        std::lock_guard lock(logMutex);
        logged.push_back(line);
    };
    MachineServer server(machine, options);
    std::thread thread([&] { server.run(); });
    ventrella::testsupport::eventually([&] { return machine.status().simulatedSeconds >= 2.0; });
    server.requestStop();
    thread.join();

    // The first reading starts the clock and the second fails. Back in time steps by nothing,
    // almost six seconds forward by the longest step, one second, and every later reading by
    // a quarter of a second.
    const int steps = readings.load();
    ASSERT_GE(steps, 8);
    EXPECT_DOUBLE_EQ(machine.status().simulatedSeconds, 1.0 + (steps - 4) * 0.25);
    std::lock_guard lock(logMutex);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("the clock cannot be read"), std::string::npos) << logged[0];
}
