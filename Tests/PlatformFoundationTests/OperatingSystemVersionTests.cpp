#include "Platform/Foundation/OperatingSystemVersion.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

// The kernel's own record of its release, read another way than the function reads it.
std::string kernelRelease() {
    std::ifstream file("/proc/sys/kernel/osrelease");
    std::string release;
    std::getline(file, release);
    return release;
}

TEST(OperatingSystemVersion, NamesTheSystemAndTheRunningKernelsRelease) {
    const std::string text = platform::foundation::operatingSystemVersionString();
    const std::string release = kernelRelease();
    ASSERT_FALSE(release.empty());
    EXPECT_EQ(text.rfind("Linux " + release + " (", 0), 0U) << text;
    EXPECT_EQ(text.back(), ')') << text;
}

}  // namespace
