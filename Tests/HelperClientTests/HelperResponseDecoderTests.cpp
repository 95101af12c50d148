#include "Ventrella/Hardware/HelperResponseDecoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Ventrella/Core/VentrellaError.h"

namespace {

using namespace ventrella;
using apphardware::HelperResponseDecoder;

const std::string invalid = "Ventrella Helper returned an invalid response.";
const std::string version =
    "The Ventrella Fan Helper protocol version does not match. An update is required.";
const std::string empty = "The Helper returned an empty response.";

const std::string resultJSON =
    R"({"state":"manual","fans":[{"id":0,"actualRPM":2950.5,"minimumRPM":1200,)"
    R"("maximumRPM":6000,"targetRPM":3000,"mode":"manual"}],"appliedPercentage":60})";

shared::FanControlResult expectedResult() {
    shared::FanControlResult result;
    result.state = shared::HelperControlState::manual;
    result.fans = {{0, 2950.5, 1200, 6000, 3000, shared::FanControlMode::manual}};
    result.appliedPercentage = 60;
    return result;
}

std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// The error text, or empty when the payload came back.
template <class Payload>
std::string failureOf(const std::string& reply, std::optional<Payload>* payload = nullptr) {
    try {
        auto decoded = HelperResponseDecoder::decode<Payload>(bytes(reply));
        if (payload) {
            *payload = decoded;
        }
        return {};
    } catch (const core::VentrellaError& error) {
        EXPECT_EQ(error.kind(), core::VentrellaError::Kind::commandFailed);
        return error.text();
    }
}

TEST(HelperResponseDecoderTests, ChecksDecodingVersionErrorAndPayloadInThatOrder) {
    const std::string payload = R"("payload":)" + resultJSON;
    struct Case {
        const char* name;
        std::string reply;
        std::string error;
    };
    const Case cases[] = {
        {"version 3 with a valid payload", R"({"protocolVersion":3,)" + payload + "}", version},
        {"version 3 with an error message",
         R"({"protocolVersion":3,"errorMessage":"Fan 0 is stuck."})", version},
        {"an error beside a payload",
         R"({"protocolVersion":4,)" + payload + R"(,"errorMessage":"Fan 0 is stuck."})",
         "Fan 0 is stuck."},
        {"an error without a payload",
         R"({"protocolVersion":4,"errorMessage":"Fan 0 is stuck.","payload":null})",
         "Fan 0 is stuck."},
        {"payload null", R"({"protocolVersion":4,"payload":null})", empty},
        {"no payload", R"({"protocolVersion":4})", empty},
        {"garbage", "\x01\xff not json", invalid},
        {"no data", "", invalid},
        {"an array", "[4]", invalid},
        {"no version", R"({"errorMessage":"Fan 0 is stuck."})", invalid},
        {"an unknown mode beside an error message",
         R"({"protocolVersion":4,"errorMessage":"Fan 0 is stuck.","payload":{"state":"manual",)"
         R"("fans":[{"id":0,"actualRPM":1,"minimumRPM":1,"maximumRPM":2,"targetRPM":1,)"
         R"("mode":"turbo"}]}})",
         invalid},
        // A helper of another version may speak another shape altogether.
        {"version 5 with a payload of another shape",
         R"({"protocolVersion":5,"payload":{"fans":"all of them"}})", version},
        {"version 5 with an error of another type", R"({"protocolVersion":5,"errorMessage":7})",
         version},
        {"a huge version with another shape",
         R"({"protocolVersion":18446744073709551615,"payload":[]})", version},
        {"a negative version", R"({"protocolVersion":-4,"payload":[]})", version},
        // Only an integer is a version.
        {"version 4.0", R"({"protocolVersion":4.0,)" + payload + "}", invalid},
        {"version \"4\"", R"({"protocolVersion":"4",)" + payload + "}", invalid},
        {"version 5.0 with another shape", R"({"protocolVersion":5.0,"payload":[]})", invalid},
        {"version 4 with another shape", R"({"protocolVersion":4,"payload":[]})", invalid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<shared::FanControlResult> decoded;
        const std::string error = failureOf<shared::FanControlResult>(c.reply, &decoded);
        EXPECT_EQ(error, c.error);
        EXPECT_FALSE(decoded);
    }
}

TEST(HelperResponseDecoderTests, ReturnsThePayloadOfAVersion4Reply) {
    std::optional<shared::FanControlResult> result;
    EXPECT_EQ(failureOf<shared::FanControlResult>(
                  R"({"protocolVersion":4,"payload":)" + resultJSON + R"(,"extra":true})", &result),
              "");
    EXPECT_EQ(result, expectedResult());

    std::optional<shared::HelperStatus> status;
    EXPECT_EQ(failureOf<shared::HelperStatus>(
                  R"({"protocolVersion":4,"payload":{"state":"automatic","fans":[],)"
                  R"("activePercentage":null}})",
                  &status),
              "");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->state, shared::HelperControlState::automatic);
    EXPECT_TRUE(status->fans.empty());
    EXPECT_FALSE(status->activePercentage);
    // The payload is checked as a status.
    EXPECT_EQ(
        failureOf<shared::HelperStatus>(R"({"protocolVersion":4,"payload":{"state":"automatic"}})"),
        invalid);
}

}  // namespace
