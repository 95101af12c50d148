#include "VentrellaHardware/AppleSystemIdentity.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "Platform/Foundation/Sysctl.h"
#include "Support/TemporaryPlatformRoot.h"

namespace {

using ventrella::hardware::AppleSystemIdentity;

TEST(AppleSystemIdentity, ReadsPublishedValues) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    platform::foundation::publishSysctlValue("machdep.cpu.brand_string", "Apple M4 Pro");
    platform::foundation::publishSysctlValue("hw.model", "Mac16,7");
    EXPECT_EQ(AppleSystemIdentity::brandString(), "Apple M4 Pro");
    EXPECT_EQ(AppleSystemIdentity::hardwareModel(), "Mac16,7");
}

TEST(AppleSystemIdentity, UnreadableValuesGiveEmptyText) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    EXPECT_EQ(AppleSystemIdentity::brandString(), "");
    EXPECT_EQ(AppleSystemIdentity::hardwareModel(), "");

    // The size query fails.
    EXPECT_EQ(AppleSystemIdentity::systemValue(
                  "hw.model", [](const char*, void*, std::size_t*) { return ENOENT; }),
              "");
    // A size of zero is no value at all.
    EXPECT_EQ(AppleSystemIdentity::systemValue("hw.model",
                                               [](const char*, void*, std::size_t* size) {
                                                   *size = 0;
                                                   return 0;
                                               }),
              "");
    // The size query succeeds but the read fails.
    EXPECT_EQ(AppleSystemIdentity::systemValue("hw.model",
                                               [](const char*, void* buffer, std::size_t* size) {
                                                   if (buffer == nullptr) {
                                                       *size = 8;
                                                       return 0;
                                                   }
                                                   return EIO;
                                               }),
              "");
}

TEST(AppleSystemIdentity, StopsAtTheFirstZeroByteAndNeverOverrunsAnUnterminatedValue) {
    EXPECT_EQ(AppleSystemIdentity::systemValue("x",
                                               [](const char*, void* buffer, std::size_t* size) {
                                                   if (buffer != nullptr) {
                                                       std::memcpy(buffer, "ab\0cd", 5);
                                                   }
                                                   *size = 5;
                                                   return 0;
                                               }),
              "ab");
    // A value that fills its whole size without a terminator still ends cleanly.
    EXPECT_EQ(AppleSystemIdentity::systemValue("x",
                                               [](const char*, void* buffer, std::size_t* size) {
                                                   if (buffer != nullptr) {
                                                       std::memcpy(buffer, "Mac16", 5);
                                                   }
                                                   *size = 5;
                                                   return 0;
                                               }),
              "Mac16");
}

}  // namespace
