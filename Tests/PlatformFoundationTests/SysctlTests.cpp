#include "Platform/Foundation/Sysctl.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Support/TemporaryPlatformRoot.h"

namespace {

using platform::foundation::publishSysctlValue;
using platform::foundation::sysctlByName;
using ventrella::testsupport::TemporaryPlatformRoot;

TEST(Sysctl, PublishedValueReadsBackWithTerminatingZero) {
    TemporaryPlatformRoot root;
    publishSysctlValue("hw.model", "Mac15,3");

    std::size_t size = 0;
    ASSERT_EQ(sysctlByName("hw.model", nullptr, &size), 0);
    EXPECT_EQ(size, 8u);

    std::vector<char> buffer(size, 'x');
    ASSERT_EQ(sysctlByName("hw.model", buffer.data(), &size), 0);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(std::string(buffer.data()), "Mac15,3");
    EXPECT_EQ(buffer.back(), '\0');

    // A larger buffer is fine and reports the bytes actually copied.
    std::vector<char> large(32, 'x');
    std::size_t largeSize = large.size();
    ASSERT_EQ(sysctlByName("hw.model", large.data(), &largeSize), 0);
    EXPECT_EQ(largeSize, 8u);
}

TEST(Sysctl, RepublishingReplacesTheValueAndEmptyValuesAreOneZeroByte) {
    TemporaryPlatformRoot root;
    publishSysctlValue("machdep.cpu.brand_string", "Apple M3");
    publishSysctlValue("machdep.cpu.brand_string", "Apple M4 Pro");
    std::size_t size = 0;
    ASSERT_EQ(sysctlByName("machdep.cpu.brand_string", nullptr, &size), 0);
    std::vector<char> buffer(size);
    ASSERT_EQ(sysctlByName("machdep.cpu.brand_string", buffer.data(), &size), 0);
    EXPECT_EQ(std::string(buffer.data()), "Apple M4 Pro");

    publishSysctlValue("kern.empty", "");
    ASSERT_EQ(sysctlByName("kern.empty", nullptr, &size), 0);
    EXPECT_EQ(size, 1u);
}

TEST(Sysctl, FailuresAreReportedNotMasked) {
    TemporaryPlatformRoot root;
    std::size_t size = 99;
    EXPECT_EQ(sysctlByName("hw.model", nullptr, &size), ENOENT);
    EXPECT_EQ(size, 99u);

    publishSysctlValue("hw.model", "Mac14,7");
    char small[4] = {};
    size = sizeof(small);
    EXPECT_EQ(sysctlByName("hw.model", small, &size), ENOMEM);

    EXPECT_EQ(sysctlByName("hw.model", nullptr, nullptr), EINVAL);
    EXPECT_EQ(sysctlByName(nullptr, nullptr, &size), EINVAL);
}

TEST(Sysctl, NamesCannotEscapeTheValueFolder) {
    TemporaryPlatformRoot root;
    // A file beside the value folder must stay unreachable through a crafted name.
    std::filesystem::create_directories(root.path() / "var/run/virtual-mac/sysctl");
    std::ofstream(root.path() / "var/run/virtual-mac/secret") << "hidden";

    std::size_t size = 0;
    EXPECT_EQ(sysctlByName("../secret", nullptr, &size), EINVAL);
    EXPECT_EQ(sysctlByName("a/b", nullptr, &size), EINVAL);
    EXPECT_EQ(sysctlByName("", nullptr, &size), EINVAL);
    EXPECT_EQ(sysctlByName("..", nullptr, &size), EINVAL);

    EXPECT_THROW(publishSysctlValue("../secret", "x"), std::invalid_argument);
    EXPECT_THROW(publishSysctlValue("a/b", "x"), std::invalid_argument);
    EXPECT_THROW(publishSysctlValue("", "x"), std::invalid_argument);
    std::ifstream secret(root.path() / "var/run/virtual-mac/secret");
    std::string content;
    secret >> content;
    EXPECT_EQ(content, "hidden");
}

}  // namespace
