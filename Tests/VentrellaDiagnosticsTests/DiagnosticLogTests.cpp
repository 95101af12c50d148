#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <locale>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>
#include <vector>

#include "DiagnosticLogFixture.h"
#include "ScopedGermanLocale.h"

namespace ventrella::diagnostics::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string repeat(std::string_view piece, std::size_t count) {
    std::string text;
    for (std::size_t index = 0; index < count; ++index) {
        text.append(piece);
    }
    return text;
}

std::vector<json> lines(const std::string& text) {
    std::vector<json> parsed;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        parsed.push_back(json::parse(text.substr(start, end - start)));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return parsed;
}

// A message and metadata that make the line of event "pad" exactly `length` bytes long.
struct Padding {
    std::string message;
    DiagnosticMetadata metadata;
};

Padding paddingFor(std::size_t length) {
    Padding padding{std::string(std::min<std::size_t>(length, 512), 'x'), {}};
    const auto size = [&] {
        return DiagnosticRecord{mayFirst, DiagnosticLevel::info, "pad", padding.message,
                                padding.metadata}
            .jsonLine()
            ->size();
    };
    while (size() < length) {
        padding.metadata["p" + std::to_string(padding.metadata.size())] = std::string(256, 'y');
    }
    padding.message.resize(padding.message.size() - (size() - length));
    return padding;
}

void recordLineOf(DiagnosticLog& log, std::size_t length) {
    const Padding padding = paddingFor(length);
    log.record(DiagnosticLevel::info, "pad", padding.message, padding.metadata);
}

TEST_F(DiagnosticLogFixture, FirstRecordCreatesPrivateFolderAndFileWithOneExactLine) {
    open();
    log->record(DiagnosticLevel::info, "app.started", "Hello / \"quoted\" \\ é\ttab",
                {{"b", "2"}, {"a", std::string("x\x01", 2)}});
    settle();

    EXPECT_EQ(mode(home / "Library"), 0700u);
    EXPECT_EQ(mode(folder), 0700u);
    EXPECT_EQ(mode(log->activeFile()), 0600u);
    EXPECT_EQ(
        contents(log->activeFile()),
        R"({"event":"app.started","level":"info","message":"Hello / \"quoted\" \\ é\u0009tab",)"
        R"("metadata":{"a":"x\u0001","b":"2"},"timestamp":"2024-05-01T10:00:00Z"})"
        "\n");
    EXPECT_FALSE(fs::exists(log->backupFile()));
}

TEST_F(DiagnosticLogFixture, OversizedRecordIsStoredAsAMarkerNamingTheEvent) {
    open(1024);
    log->record(DiagnosticLevel::error, "sensor.read", repeat("é", 600), {});
    settle();
    EXPECT_EQ(contents(log->activeFile()),
              R"({"event":"diagnostics.record_too_large","level":"warning",)"
              R"("message":"Oversized diagnostic event dropped.",)"
              R"("metadata":{"original_event":"sensor.read"},"timestamp":"2024-05-01T10:00:00Z"})"
              "\n");
}

TEST_F(DiagnosticLogFixture, LimitBelowTheSmallestBecomes1024) {
    open(100);
    EXPECT_EQ(log->fileSizeLimit(), 1024);
    recordLineOf(*log, 1024);
    settle();
    EXPECT_EQ(contents(log->activeFile()).size(), 1024u);
    EXPECT_EQ(lines(contents(log->activeFile())).at(0)["event"], "pad");
}

TEST_F(DiagnosticLogFixture, RotatesOnlyWhenTheLineWouldPassTheLimit) {
    struct Case {
        std::size_t existing;  // bytes already in the active file
        std::size_t line;      // bytes of the next line, line feed included
        bool rotates;
    };
    for (const Case& c : {Case{824, 200, false}, Case{825, 200, true}, Case{1000, 200, true},
                          Case{0, 1024, false}, Case{1, 1024, true}}) {
        SCOPED_TRACE(std::to_string(c.existing) + " + " + std::to_string(c.line));
        fs::remove_all(folder);
        const std::string old = std::string(c.existing, 'o');
        write(folder / "Ventrella.jsonl", old);
        write(folder / "Ventrella.previous.jsonl", "older\n");
        open(1024);
        recordLineOf(*log, c.line);
        settle();
        const std::string active = contents(log->activeFile());
        if (c.rotates) {
            EXPECT_EQ(contents(log->backupFile()), old);
            EXPECT_EQ(active.size(), c.line);
        } else {
            EXPECT_EQ(contents(log->backupFile()), "older\n");
            EXPECT_EQ(active.size(), c.existing + c.line);
            EXPECT_EQ(active.substr(0, c.existing), old);
        }
    }
}

TEST_F(DiagnosticLogFixture, SanitisingReplacesTheHomeAndLineBreaks) {
    struct Case {
        std::string home;
        std::string message;
        std::string stored;
    };
    for (const Case& c : {
             Case{"/Users/me", "Saved /Users/me/x.txt\r\nnext", "Saved ~/x.txt  next"},
             Case{"/Users/me/", "at /Users/me/a and /Users/me", "at ~/a and ~"},
             Case{"/", "/a/b\n", "/a/b "},
             Case{"", "/a/b", "/a/b"},
             Case{"//", "/a//b", "/a//b"},
         }) {
        SCOPED_TRACE("home \"" + c.home + "\"");
        fs::remove_all(folder);
        open(262144, c.home);
        log->record(DiagnosticLevel::info, "e", c.message, {{"k", c.message}});
        settle();
        const json line = lines(contents(log->activeFile())).at(0);
        EXPECT_EQ(line["message"], c.stored);
        EXPECT_EQ(line["metadata"]["k"], c.stored);
    }
}

TEST_F(DiagnosticLogFixture, CutsCountUnicodeScalarsAndRepairInvalidText) {
    struct Case {
        std::string name;
        std::string event;
        std::string message;
        DiagnosticMetadata metadata;
        json expected;  // the stored event, message and metadata
    };
    const std::string replacement = "\xEF\xBF\xBD";
    const std::vector<Case> cases = {
        {"event of 81 two-byte scalars",
         repeat("é", 81),
         "",
         {},
         {{"event", repeat("é", 80)}, {"message", ""}, {"metadata", json::object()}}},
        {"message of 513 scalars, four-byte ones at the cut",
         "e",
         "a" + repeat("😀", 512),
         {},
         {{"event", "e"}, {"message", "a" + repeat("😀", 511)}, {"metadata", json::object()}}},
        {"invalid bytes become U+FFFD before the cut",
         "e\xE2\x82",
         std::string("ab\xC3(\xFF", 5),
         {},
         {{"event", "e" + replacement},
          {"message", "ab" + replacement + "(" + replacement},
          {"metadata", json::object()}}},
        {"metadata keys to 80 and values to 256 scalars",
         "e",
         "",
         {{repeat("ж", 81), repeat("ß", 257)}, {"bad\xFF", "v\xC0"}},
         {{"event", "e"},
          {"message", ""},
          {"metadata",
           {{repeat("ж", 80), repeat("ß", 256)}, {"bad" + replacement, "v" + replacement}}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder);
        open();
        log->record(DiagnosticLevel::info, c.event, c.message, c.metadata);
        settle();
        json line = lines(contents(log->activeFile())).at(0);
        line.erase("level");
        line.erase("timestamp");
        EXPECT_EQ(line, c.expected);
    }
}

TEST_F(DiagnosticLogFixture, MetadataKeepsTheTwentySmallestKeysAndTheLaterOfCollidingCuts) {
    open();
    DiagnosticMetadata many;
    for (int index = 24; index >= 0; --index) {
        many[(index < 10 ? "k0" : "k") + std::to_string(index)] = std::to_string(index);
    }
    log->record(DiagnosticLevel::info, "many", "", many);
    const std::string stem(80, 'k');
    log->record(DiagnosticLevel::info, "colliding", "",
                {{stem + "a", "first"}, {stem + "b", "second"}, {"z", "last"}});
    settle();
    const auto stored = lines(contents(log->activeFile()));
    ASSERT_EQ(stored.size(), 2u);
    std::vector<std::string> keys;
    for (const auto& item : stored[0]["metadata"].items()) {
        keys.push_back(item.key());
    }
    ASSERT_EQ(keys.size(), 20u);
    EXPECT_EQ(keys.front(), "k00");
    EXPECT_EQ(keys.back(), "k19");
    EXPECT_EQ(stored[1]["metadata"], (json{{stem, "second"}, {"z", "last"}}));
}

TEST_F(DiagnosticLogFixture, AnObstacleDropsTheRecordAndTheNextOneAfterItGoesIsWritten) {
    write(folder, "not a folder");
    open();
    EXPECT_NO_THROW(log->record(DiagnosticLevel::error, "lost", "", {}));
    settle();
    EXPECT_EQ(contents(folder), "not a folder");

    fs::remove(folder);
    log->record(DiagnosticLevel::info, "kept", "", {});
    settle();
    const auto stored = lines(contents(log->activeFile()));
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]["event"], "kept");

    // Links at the logs' places are never followed: the active one gives way to a fresh file,
    // and the report reads past them.
    const fs::path elsewhere = scratch / "elsewhere.jsonl";
    write(elsewhere, "not the log's\n");
    fs::remove(log->activeFile());
    fs::create_symlink(elsewhere, log->activeFile());
    fs::create_symlink(elsewhere, log->backupFile());
    log->record(DiagnosticLevel::info, "fresh", "", {});
    settle();
    EXPECT_EQ(contents(elsewhere), "not the log's\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(log->activeFile())));
    EXPECT_EQ(lines(contents(log->activeFile())).at(0)["event"], "fresh");
    const fs::path report = scratch / "report.txt";
    log->writeReport(report, {});
    EXPECT_EQ(contents(report).find("not the log's"), std::string::npos);
    EXPECT_NE(contents(report).find("\"event\":\"fresh\""), std::string::npos);
}

TEST_F(DiagnosticLogFixture, ConcurrentRecordsAreAllWrittenAsWholeLines) {
    open(64 * 1024 * 1024);
    constexpr int threads = 8;
    constexpr int perThread = 500;
    std::vector<std::thread> workers;
    for (int thread = 0; thread < threads; ++thread) {
        workers.emplace_back([this, thread] {
            for (int index = 0; index < perThread; ++index) {
                log->record(DiagnosticLevel::info, "load", "",
                            {{"thread", std::to_string(thread)}, {"index", std::to_string(index)}});
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    settle();
    std::set<std::pair<std::string, std::string>> seen;
    for (const json& line : lines(contents(log->activeFile()))) {
        seen.emplace(line["metadata"]["thread"], line["metadata"]["index"]);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(threads * perThread));
}

TEST_F(DiagnosticLogFixture, TimesDoNotFollowTheProcessLocale) {
    const fs::path report = scratch / "report.txt";
    {
        ScopedGermanLocale german;
        open();
        log->record(DiagnosticLevel::info, "e", "", {});
        log->writeReport(report, {});
    }
    EXPECT_EQ(lines(contents(log->activeFile())).at(0)["timestamp"], "2024-05-01T10:00:00Z");
    EXPECT_NE(contents(report).find("generated_at: 2024-05-01T10:00:00Z\n"), std::string::npos);
}

TEST_F(DiagnosticLogFixture, DrainWritesWhatWasQueuedAndDropsWhatComesAfter) {
    open();
    for (int index = 0; index < 200; ++index) {
        log->record(DiagnosticLevel::info, "monitor.sample", "", {});
    }
    log->record(DiagnosticLevel::info, "app.terminating", "", {});
    EXPECT_TRUE(log->drain(5.0));
    log->record(DiagnosticLevel::info, "too.late", "", {});
    settle();
    const auto stored = lines(contents(log->activeFile()));
    ASSERT_EQ(stored.size(), 201u);
    EXPECT_EQ(stored.back()["event"], "app.terminating");
}

TEST_F(DiagnosticLogFixture, DrainGivesUpAtItsBoundAndDropsRecordsNotYetBegun) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> entered;
    open(262144, std::nullopt, [&, released](const std::string& text) {
        if (text == "Ventrella Diagnostic Report") {
            entered.set_value();
            released.wait();
        }
        return text;
    });
    // A report holds the queue until released.
    std::thread reporter([this] { log->writeReport(scratch / "held.txt", {}); });
    entered.get_future().wait();
    log->record(DiagnosticLevel::info, "queued", "", {});
    EXPECT_FALSE(log->drain(0.05));
    release.set_value();
    reporter.join();
    log.reset();  // runs whatever is left on the queue
    EXPECT_FALSE(fs::exists(folder / "Ventrella.jsonl"));
}

}  // namespace
}  // namespace ventrella::diagnostics::testing
