#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "VentrellaSecurity/ClientAuthorizationAuditLog.h"

namespace ventrella::security {
namespace {

using namespace std::chrono;
using Failure = ClientAuthorizationFailure;
using Log = ClientAuthorizationAuditLog;

// 2026-12-09T05:00:00Z
const system_clock::time_point fixedNow = sys_days{year{2026} / December / 9} + hours{5};

class AuditLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ventrella-audit-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory = pattern;
        file = directory / "helper-auth.jsonl";
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    static std::string contents(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        return buffer.str();
    }
    static void write(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }
    Log log(std::int64_t cap = Log::defaultMaximumFileBytes) {
        return Log(file, cap, ::geteuid(), [] { return fixedNow; });
    }
    std::optional<ClientAuthorizationAuditEntry> latest(
        std::int64_t window = Log::defaultMaximumFileBytes) {
        return Log::latestEntry(file, window, ::geteuid());
    }

    std::filesystem::path directory;
    std::filesystem::path file;
};

const std::string mismatchLine =
    R"({"reason":"identifierMismatch","timestamp":"2026-12-09T05:00:00Z"})"
    "\n";

TEST_F(AuditLogTest, FirstRejectionCreatesAWorldReadableFileWithOneExactLine) {
    const mode_t previous = ::umask(077);
    auto audit = log();
    const bool recorded = audit.record(Failure::identifierMismatch);
    ::umask(previous);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(contents(file), mismatchLine);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);

    ASSERT_TRUE(audit.record(Failure::cdHashMismatch));
    EXPECT_EQ(contents(file),
              mismatchLine + R"({"reason":"cdHashMismatch","timestamp":"2026-12-09T05:00:00Z"})"
                             "\n");
    EXPECT_EQ(latest(), (ClientAuthorizationAuditEntry{fixedNow, Failure::cdHashMismatch}));
}

TEST_F(AuditLogTest, ALineThatWouldPassTheCapStartsTheFileAgain) {
    auto audit = log(1024);
    // 67 bytes with its line feed, against a file 60 bytes short of the cap.
    ASSERT_EQ(mismatchLine.size(), 67u);
    write(file, std::string(1024 - 60 - 1, 'x') + "\n");
    ASSERT_TRUE(audit.record(Failure::identifierMismatch));
    EXPECT_EQ(contents(file), mismatchLine);

    // Exactly reaching the cap is still allowed.
    write(file, std::string(1024 - mismatchLine.size() - 1, 'y') + "\n");
    ASSERT_TRUE(log(1024).record(Failure::identifierMismatch));
    EXPECT_EQ(contents(file).size(), 1024u);
}

TEST_F(AuditLogTest, AFloodWritesOneLineForEachReasonAndSecond) {
    auto now = fixedNow;
    Log audit(file, Log::defaultMaximumFileBytes, ::geteuid(), [&now] { return now; });
    const auto line = [&now](Failure reason) {
        return *ClientAuthorizationAuditEntry{now, reason}.encoded() + "\n";
    };
    std::string expected;
    for (int second = 0; second < 2; ++second) {
        for (const Failure reason : {Failure::identifierMismatch, Failure::cdHashMismatch}) {
            for (int i = 0; i < 100; ++i)
                EXPECT_TRUE(audit.record(reason));
            expected += line(reason);
        }
        now += seconds(1);
    }
    EXPECT_EQ(contents(file), expected);
    // A line that was dropped is no reason to drop the next one.
    write(file, "");
    EXPECT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(audit.record(Failure::identifierMismatch));
    std::filesystem::remove(file);
    EXPECT_TRUE(audit.record(Failure::identifierMismatch));
    EXPECT_EQ(contents(file), line(Failure::identifierMismatch));
}

TEST_F(AuditLogTest, CapHasAFloorOf1024Bytes) {
    EXPECT_EQ(Log(file, 5000, 0).maximumFileBytes(), 5000);
    auto audit = log(100);
    EXPECT_EQ(audit.maximumFileBytes(), 1024);
    write(file, std::string(900, 'x') + "\n");
    ASSERT_TRUE(audit.record(Failure::identifierMismatch));
    EXPECT_EQ(contents(file).size(), 901u + mismatchLine.size());
}

TEST_F(AuditLogTest, RefusesLinksForeignOwnersAndFifos) {
    const auto target = directory / "target";
    write(target, mismatchLine);
    std::filesystem::create_symlink(target, file);
    EXPECT_FALSE(log().record(Failure::cdHashMismatch));
    EXPECT_EQ(latest(), std::nullopt);
    EXPECT_EQ(contents(target), mismatchLine);
    std::filesystem::remove(file);

    write(file, mismatchLine);
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0) << "the suite runs as root";
    EXPECT_FALSE(log().record(Failure::cdHashMismatch));
    EXPECT_EQ(latest(), std::nullopt);
    EXPECT_EQ(Log::latestEntry(file, 32768, 65534),
              (ClientAuthorizationAuditEntry{fixedNow, Failure::identifierMismatch}));
    EXPECT_EQ(contents(file), mismatchLine);
    std::filesystem::remove(file);

    // Neither side may block on a FIFO, with or without a reader at the other end.
    ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
    EXPECT_FALSE(log().record(Failure::cdHashMismatch));
    EXPECT_EQ(latest(), std::nullopt);
    const int reader = ::open(file.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(log().record(Failure::cdHashMismatch));
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);

    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    EXPECT_FALSE(log().record(Failure::cdHashMismatch));
    EXPECT_EQ(latest(), std::nullopt);
}

TEST_F(AuditLogTest, OnlyTheOwnersLockFileDecidesAndALockHeldThereDropsTheEntryWithoutWaiting) {
    const auto lockFile = directory / "helper-auth.jsonl.lock";
    write(file, mismatchLine);
    // Anyone may read the log and so lock it: that holds no writer off.
    const int reader = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(::flock(reader, LOCK_EX), 0);
    EXPECT_TRUE(log().record(Failure::cdHashMismatch));
    ::close(reader);
    struct stat info {};
    ASSERT_EQ(::stat(lockFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    const int writer = ::open(lockFile.c_str(), O_RDONLY);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);
    EXPECT_FALSE(log().record(Failure::requiredFlagsMissing));
    ::close(writer);
    EXPECT_TRUE(log().record(Failure::requiredFlagsMissing));

    // A lock file of another owner, or a link in its place, is never taken.
    ASSERT_EQ(::chown(lockFile.c_str(), 65534, 65534), 0) << "the suite runs as root";
    EXPECT_FALSE(log().record(Failure::identifierMissing));
    std::filesystem::remove(lockFile);
    std::filesystem::create_symlink(directory / "elsewhere", lockFile);
    EXPECT_FALSE(log().record(Failure::identifierMissing));
    EXPECT_FALSE(std::filesystem::exists(directory / "elsewhere"));
    EXPECT_EQ(latest(), (ClientAuthorizationAuditEntry{fixedNow, Failure::requiredFlagsMissing}));
}

TEST_F(AuditLogTest, ConcurrentWritersOfOneLogLoseNoLine) {
    // Every entry a second of its own, so that no two lines are the same.
    std::atomic<int> tick{0};
    Log audit(file, 1 << 20, ::geteuid(), [&tick] { return fixedNow + seconds(tick++); });
    constexpr int threads = 8, perThread = 40;
    std::vector<std::thread> writers;
    std::atomic<int> failures{0};
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&audit, &failures, t] {
            for (int i = 0; i < perThread; ++i) {
                if (!audit.record(allClientAuthorizationFailures[static_cast<std::size_t>(t)]))
                    ++failures;
            }
        });
    }
    for (auto& writer : writers)
        writer.join();
    EXPECT_EQ(failures.load(), 0);

    std::istringstream lines(contents(file));
    std::map<Failure, int> counts;
    int total = 0;
    for (std::string line; std::getline(lines, line); ++total) {
        const auto entry = ClientAuthorizationAuditEntry::decode(line);
        ASSERT_TRUE(entry.has_value()) << line;
        ++counts[entry->reason];
    }
    EXPECT_EQ(total, threads * perThread);
    for (int t = 0; t < threads; ++t)
        EXPECT_EQ(counts[allClientAuthorizationFailures[static_cast<std::size_t>(t)]], perThread);
}

TEST_F(AuditLogTest, AShortWriteIsTakenBackSoNoFragmentRemains) {
    write(file, mismatchLine);
    // Let the file grow by 10 bytes only: the first write is short, the next fails.
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = previous;
    limited.rlim_cur = mismatchLine.size() + 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool recorded = log().record(Failure::cdHashMismatch);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    ::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(recorded);
    EXPECT_EQ(contents(file), mismatchLine);
    ASSERT_TRUE(log().record(Failure::cdHashMismatch));
    EXPECT_EQ(latest(), (ClientAuthorizationAuditEntry{fixedNow, Failure::cdHashMismatch}));
}

TEST_F(AuditLogTest, LatestEntrySkipsDamagedLinesAndBlankPieces) {
    const std::string older =
        R"({"reason":"guestLookupFailed","timestamp":"2025-01-02T03:04:05Z"})";
    write(file, older + "\n\n" + R"({"reason":"cdHashMismatch","timest)");
    EXPECT_EQ(latest(),
              (ClientAuthorizationAuditEntry{sys_days{year{2025} / 1 / 2} + 3h + 4min + 5s,
                                             Failure::guestLookupFailed}));

    write(file, older + "\n" + R"({"reason":"noSuchReason","timestamp":"2025-01-02T03:04:05Z"})" +
                    "\n" + R"({"reason":"cdHashMismatch","timestamp":"2025-01-02T03:04:05.5Z"})" +
                    "\n");
    EXPECT_EQ(latest()->reason, Failure::guestLookupFailed);

    write(file, "\n\n\n\n");
    EXPECT_EQ(latest(), std::nullopt);
    write(file, "");
    EXPECT_EQ(latest(), std::nullopt);
    std::filesystem::remove(file);
    EXPECT_EQ(latest(), std::nullopt);
}

TEST_F(AuditLogTest, LatestEntryLooksOnlyAtItsWindow) {
    // An entry that starts before the last 32768 bytes is cut by the window and never seen.
    const std::string early = R"({"reason":"cdHashMismatch","timestamp":"2025-01-02T03:04:05Z"})";
    const std::string padding(50000 - early.size() - 1, ' ');
    write(file, padding.substr(0, 10000) + "\n" + early + padding.substr(10000 + 1) + "\n");
    ASSERT_EQ(std::filesystem::file_size(file), 50000u);
    EXPECT_NE(latest(60000), std::nullopt);
    EXPECT_EQ(latest(32768), std::nullopt);

    // A window below 1024 reads 1024 bytes.
    write(file, early + "\n" + std::string(900, ' ') + "\n");
    EXPECT_NE(latest(10), std::nullopt);
    write(file, early + "\n" + std::string(1100, ' ') + "\n");
    EXPECT_EQ(latest(10), std::nullopt);
}

TEST(ClientAuthorizationAuditEntry, DatesAreWholeSecondsInUtcAndOffsetsAreHonoured) {
    const auto date = sys_days{year{2026} / December / 9} + hours{5} + milliseconds{999};
    EXPECT_EQ(iso8601String(date), "2026-12-09T05:00:00Z");
    EXPECT_EQ(iso8601String(sys_days{year{1969} / 12 / 31} + 23h + 59min + 59s + milliseconds{500}),
              "1969-12-31T23:59:59Z");
    EXPECT_EQ(iso8601Date("2026-12-09T06:30:00+01:30"),
              sys_days{year{2026} / December / 9} + hours{5});
    EXPECT_EQ(iso8601Date("2026-12-09T04:00:00-01:00"),
              sys_days{year{2026} / December / 9} + hours{5});
    for (const char* bad : {"2026-02-30T00:00:00Z", "2026-12-09 05:00:00Z", "2026-12-09T24:00:00Z",
                            "2026-12-09T05:00:00", "2026-12-09T05:00:00.000Z",
                            "2026-12-09T05:00:00+0100", "2026-12-09T05:00:00Zjunk"}) {
        EXPECT_EQ(iso8601Date(bad), std::nullopt) << bad;
    }
    // Extra keys are ignored; wrong types are not.
    EXPECT_NE(ClientAuthorizationAuditEntry::decode(
                  R"({"timestamp":"2026-12-09T05:00:00Z","reason":"cdHashMissing","pid":12})"),
              std::nullopt);
    EXPECT_EQ(
        ClientAuthorizationAuditEntry::decode(R"({"reason":7,"timestamp":"2026-12-09T05:00:00Z"})"),
        std::nullopt);
    EXPECT_EQ(ClientAuthorizationAuditEntry::decode(R"(["cdHashMissing"])"), std::nullopt);
}

}  // namespace
}  // namespace ventrella::security
