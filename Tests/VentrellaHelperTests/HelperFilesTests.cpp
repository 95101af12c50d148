#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>

#include "Platform/Dispatch/SerialQueue.h"
#include "Support/Eventually.h"
#include "Support/FileContents.h"
#include "Support/TemporaryPlatformRoot.h"
#include "VentrellaHelper/ExpectedClientHash.h"
#include "VentrellaHelper/FileMarkerStore.h"
#include "VentrellaHelper/HelperLogFile.h"
#include "VentrellaHelper/HelperPaths.h"
#include "VentrellaHelper/HelperWatchdog.h"
#include "VirtualTimers.h"

namespace ventrella::helper::testing {
namespace {

namespace fs = std::filesystem;
using security::ClientAuthorizationFailure;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

using testsupport::readFile;

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Sets a restrictive umask for the test and restores the previous one.
struct ScopedUmask {
    explicit ScopedUmask(mode_t mask) : previous(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous); }
    mode_t previous;
};

TEST(FileMarkerStoreTest, MarkWritesTwoLinesAndCreatesTheDirectoryAs0755) {
    testsupport::TemporaryPlatformRoot root;
    ScopedUmask umask(077);
    FileMarkerStore store;  // the fixed path under the platform root
    EXPECT_EQ(store.path(), root.path() / "Library/Application Support/Ventrella/manual-owner");
    EXPECT_FALSE(store.isMarked());

    store.mark(55);
    EXPECT_TRUE(store.isMarked());
    EXPECT_THAT(readFile(store.path()), MatchesRegex("percent=55\ntime=[0-9]+(\\.[0-9]+)?\n"));
    EXPECT_EQ(modeOf(root.path() / "Library/Application Support/Ventrella"), 0755U);
    EXPECT_EQ(modeOf(root.path() / "Library"), 0755U);

    store.clear();
    EXPECT_FALSE(store.isMarked());
    EXPECT_NO_THROW(store.clear());
}

TEST(FileMarkerStoreTest, TimeIsAPlainDecimalInShortestRoundTripFormAndMarkReplacesTheFile) {
    testsupport::TemporaryPlatformRoot root;
    const fs::path path = root.path() / "state/manual-owner";
    const std::pair<double, std::string> times[] = {
        {1700000000.25, "1700000000.25"},
        {1700000000.0, "1700000000.0"},  // not "1.7e+09"
        {1700000000.123456, "1700000000.123456"},
        {0.5, "0.5"},
        {0.0, "0.0"},
    };
    for (const auto& [seconds, text] : times) {
        FileMarkerStore store(path, [seconds = seconds] { return seconds; });
        store.mark(60);
        store.mark(80);
        EXPECT_EQ(readFile(path), "percent=80\ntime=" + text + "\n");
    }
    // Nothing but the marker is left in the directory (no temporary files).
    EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), fs::directory_iterator()),
              1);
}

TEST(FileMarkerStoreTest, FailuresPropagateAndLeaveNoMarker) {
    testsupport::TemporaryPlatformRoot root;
    std::ofstream(root.path() / "blocker") << "a file where the directory should be";
    FileMarkerStore store(root.path() / "blocker/manual-owner", [] { return 1.0; });
    EXPECT_THROW(store.mark(60), fs::filesystem_error);
    EXPECT_FALSE(store.isMarked());

    // A marker that is a non-empty directory cannot be removed: the error is reported.
    const fs::path odd = root.path() / "odd";
    fs::create_directories(odd / "inside");
    FileMarkerStore oddStore(odd, [] { return 1.0; });
    EXPECT_TRUE(oddStore.isMarked());
    EXPECT_THROW(oddStore.clear(), fs::filesystem_error);
}

TEST(ExpectedClientHashTest, ReadsOnlyASmallRootOwnedFileNobodyElseCanWrite) {
    testsupport::TemporaryPlatformRoot root;
    const fs::path path = root.path() / "client-cdhash";
    const std::string hash = std::string(40, 'a') + "\n";
    ExpectedClientHash provider(path, 0);

    EXPECT_EQ(provider().error(), ClientAuthorizationFailure::expectedHashUnavailable);

    std::ofstream(path) << hash;
    fs::permissions(path, fs::perms(0644), fs::perm_options::replace);
    ASSERT_TRUE(provider().isSuccess());
    EXPECT_EQ(provider().value(), hash);  // passed on untrimmed

    fs::permissions(path, fs::perms(0664), fs::perm_options::replace);
    EXPECT_FALSE(provider().isSuccess()) << "group-writable";
    fs::permissions(path, fs::perms(0646), fs::perm_options::replace);
    EXPECT_FALSE(provider().isSuccess()) << "world-writable";
    fs::permissions(path, fs::perms(0644), fs::perm_options::replace);

    ExpectedClientHash otherOwner(path, 4242);
    EXPECT_EQ(otherOwner().error(), ClientAuthorizationFailure::expectedHashUnavailable);

    const fs::path link = root.path() / "link";
    fs::create_symlink(path, link);
    EXPECT_FALSE(ExpectedClientHash(link, 0)().isSuccess()) << "symbolic link";

    const fs::path directory = root.path() / "directory";
    fs::create_directory(directory);
    EXPECT_FALSE(ExpectedClientHash(directory, 0)().isSuccess()) << "directory";

    const fs::path big = root.path() / "big";
    std::ofstream(big) << std::string(ExpectedClientHash::maximumFileBytes + 1, 'a');
    EXPECT_FALSE(ExpectedClientHash(big, 0)().isSuccess()) << "too large";
}

TEST(ExpectedClientHashTest, ATextThatIsNotUTF8IsUnavailable) {
    testsupport::TemporaryPlatformRoot root;
    const fs::path path = root.path() / "client-cdhash";
    const std::string hash(40, 'a');
    const std::pair<std::string, bool> contents[] = {
        {hash + "\xc2\xa0\n", true},          // a no-break space is text
        {hash + "\xa0\n", false},             // the same byte alone is not
        {"\xef\xbb\xbf" + hash, true},        // a byte-order mark is text
        {hash + "\xc0\xaf", false},           // an overlong "/"
        {hash + "\xed\xa0\x80", false},       // a UTF-16 surrogate
        {hash + "\xf4\x90\x80\x80", false},   // past U+10FFFF
        {hash + "\xe2\x80", false},           // cut off
        {std::string("\0", 1) + hash, true},  // a NUL is text; the authorizer refuses it
    };
    for (const auto& [text, readable] : contents) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        fs::permissions(path, fs::perms(0644), fs::perm_options::replace);
        const auto result = ExpectedClientHash(path, 0)();
        ASSERT_EQ(result.isSuccess(), readable) << ::testing::PrintToString(text);
        if (readable) {
            EXPECT_EQ(result.value(), text);
        } else {
            EXPECT_EQ(result.error(), ClientAuthorizationFailure::expectedHashUnavailable);
        }
    }
}

TEST(HelperLogFileTest, LinesGoToTheBoundedLogUnderThePlatformRoot) {
    testsupport::TemporaryPlatformRoot root;
    auto backend = HelperLogFile::backend();
    backend->write("com.quillmoor.Ventrella.helper", "ClientAuthorization", applog::LogLevel::error,
                   "client.rejected reason=cdHashMismatch pid=9");
    EXPECT_THAT(readFile(root.path() / "var/log/unified/com.quillmoor.Ventrella.helper.log"),
                HasSubstr("[error] com.quillmoor.Ventrella.helper[ClientAuthorization] "
                          "client.rejected reason=cdHashMismatch pid=9\n"));
}

TEST(HelperWatchdogTest, ASecondArmReplacesTheFirstAndCancelStopsIt) {
    platform::dispatch::SerialQueue queue("watchdog-test");
    VirtualTimers timers;
    auto watchdog = std::make_shared<HelperWatchdog>(timers.factory()(queue), 30.0);
    int fired = 0;
    watchdog->setOnFire([&] { ++fired; });

    queue.sync([&] { watchdog->arm(); });
    timers.advance(10);
    queue.sync([&] { watchdog->arm(); });
    EXPECT_EQ(timers.pendingCount(), 1U);
    timers.advance(29);
    EXPECT_EQ(fired, 0);
    timers.advance(1);
    EXPECT_EQ(fired, 1);
    timers.advance(100);
    EXPECT_EQ(fired, 1);

    queue.sync([&] { watchdog->arm(); });
    queue.sync([&] { watchdog->cancel(); });
    timers.advance(100);
    EXPECT_EQ(fired, 1);
}

TEST(HelperWatchdogTest, RealTimerFiresOnTheQueue) {
    // A real OneShotTimer with a short timeout: the production path end to end.
    platform::dispatch::SerialQueue queue("watchdog-real");
    auto watchdog = std::make_shared<HelperWatchdog>(QueueWatchdogTimer::factory()(queue), 0.01);
    std::promise<bool> onQueue;
    watchdog->setOnFire([&] { onQueue.set_value(queue.isCurrent()); });
    queue.sync([&] { watchdog->arm(); });
    auto future = onQueue.get_future();
    ASSERT_EQ(future.wait_for(ventrella::testsupport::eventDeadline), std::future_status::ready);
    EXPECT_TRUE(future.get());
}

}  // namespace
}  // namespace ventrella::helper::testing
