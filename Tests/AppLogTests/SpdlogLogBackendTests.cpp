#include "AppLog/SpdlogLogBackend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "Support/FileContents.h"
#include "Support/TemporaryPlatformRoot.h"

namespace ventrella::applog {
namespace {

namespace fs = std::filesystem;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

using testsupport::readFile;

TEST(BoundedFileLogTests, WritesEachLineAtOnceWithItsProcessAndLevel) {
    testsupport::TemporaryPlatformRoot root;
    const fs::path path = root.path() / "var/log/unified/test.log";
    auto backend = SpdlogLogBackend::boundedFile(path.string(), 4096, LogLevel::info);
    EXPECT_FALSE(backend->isEnabled(LogLevel::debug));
    EXPECT_TRUE(backend->isEnabled(LogLevel::notice));

    backend->write("com.example", "Category", LogLevel::debug, "hidden");
    backend->write("com.example", "Category", LogLevel::error, "client.rejected reason=x pid=7");
    // Read while the backend still lives: nothing waits in a buffer.
    const std::string text = readFile(path);
    EXPECT_THAT(text, EndsWith(" [" + std::to_string(::getpid()) +
                               "] [error] com.example[Category] client.rejected reason=x pid=7\n"));
    EXPECT_THAT(text, Not(HasSubstr("hidden")));
}

TEST(BoundedFileLogTests, NeverGrowsPastTwiceItsLimit) {
    testsupport::TemporaryPlatformRoot root;
    const fs::path path = root.path() / "helper.log";
    const fs::path older = root.path() / "helper.1.log";
    constexpr std::size_t limit = 2000;
    auto backend = SpdlogLogBackend::boundedFile(path.string(), limit);
    for (int line = 0; line < 500; ++line) {
        backend->write("com.example", "Flood", LogLevel::error,
                       "line " + std::to_string(line) + " " + std::string(60, 'x'));
        ASSERT_LE(fs::file_size(path), limit) << line;
    }
    EXPECT_LE(fs::file_size(older), limit);
    EXPECT_FALSE(fs::exists(root.path() / "helper.2.log"));
    EXPECT_THAT(readFile(path), HasSubstr(" line 499 "));
    EXPECT_THAT(readFile(older), Not(HasSubstr(" line 0 ")));
}

TEST(BoundedFileLogTests, AFileThatCannotBeOpenedIsAnError) {
    testsupport::TemporaryPlatformRoot root;
    std::ofstream(root.path() / "plain") << "a file, not a folder";
    EXPECT_THROW(SpdlogLogBackend::boundedFile((root.path() / "plain/helper.log").string(), 4096),
                 std::runtime_error);
}

}  // namespace
}  // namespace ventrella::applog
