#include <gtest/gtest.h>

#include <cerrno>

#include "Platform/ServiceManagement/ServiceErrorJSON.h"

namespace platform::servicemanagement {
namespace {

TEST(ServiceError, TravelsAsJSONWithItsWholeChain) {
    const ServiceError error(
        kServiceManagementErrorDomain, launchDeniedByUser, "denied",
        std::make_shared<const ServiceError>(
            kServiceManagementFrameworkErrorDomain, 3, "middle",
            std::make_shared<const ServiceError>(kPOSIXErrorDomain, EPERM, "bottom")));
    const auto decoded = serviceErrorFromJSON(nlohmann::json::parse(toJSON(error).dump()));
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(*decoded, error);
    ASSERT_NE(decoded->underlying(), nullptr);
    ASSERT_NE(decoded->underlying()->underlying(), nullptr);
    EXPECT_EQ(decoded->underlying()->underlying()->code(), EPERM);
    EXPECT_EQ(decoded->underlying()->underlying()->underlying(), nullptr);

    // Equality looks down the chain.
    const ServiceError shallow(kServiceManagementErrorDomain, launchDeniedByUser, "denied");
    EXPECT_FALSE(shallow == error);
}

TEST(ServiceError, ADecodedChainIsBoundedAndMalformedObjectsAreNoErrors) {
    nlohmann::json deep = {{"domain", "d"}, {"code", 0}, {"description", "0"}};
    for (int level = 1; level < 1000; ++level) {
        deep = {{"domain", "d"}, {"code", level}, {"description", "x"}, {"underlying", deep}};
    }
    auto error = serviceErrorFromJSON(deep, 8);
    int depth = 0;
    for (const ServiceError* current = error.get(); current != nullptr;
         current = current->underlying()) {
        ++depth;
    }
    EXPECT_EQ(depth, 8);

    for (const auto& malformed :
         {nlohmann::json(nullptr), nlohmann::json("text"),
          nlohmann::json{{"domain", "d"}, {"code", 1}},
          nlohmann::json{{"domain", 1}, {"code", 1}, {"description", "x"}},
          nlohmann::json{{"domain", "d"}, {"code", 1.5}, {"description", "x"}}}) {
        EXPECT_EQ(serviceErrorFromJSON(malformed), nullptr) << malformed.dump();
    }
}

}  // namespace
}  // namespace platform::servicemanagement
