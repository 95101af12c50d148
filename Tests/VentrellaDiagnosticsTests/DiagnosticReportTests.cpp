#include <gtest/gtest.h>

#include "DiagnosticLogFixture.h"
#include "Ventrella/Diagnostics/DiagnosticReportError.h"

namespace ventrella::diagnostics::testing {
namespace {

namespace fs = std::filesystem;

const std::string marker = "\n\n--- event_log_jsonl (oldest -> newest) ---\n";

std::string bracketed(const std::string& text) {
    return "«" + text + "»";
}

TEST_F(DiagnosticLogFixture, ReportHasTheSanitisedSortedHeaderThenThePreviousAndActiveLog) {
    write(folder / "Ventrella.previous.jsonl", "{\"old\":1}\n");
    write(folder / "Ventrella.jsonl", "{\"new\":2}\n");
    open(262144, std::nullopt, &bracketed);
    const fs::path report = scratch / "report.txt";
    log->writeReport(report, {{"b_key", "two\r\nlines in " + home.string() + "/x"},
                              {"a_key", std::string(1100, 'v')},
                              {std::string(90, 'k'), "long key"}});
    EXPECT_EQ(contents(report),
              "«Ventrella Diagnostic Report»\n"
              "generated_at: 2024-05-01T10:00:00Z\n"
              "a_key: " +
                  std::string(1024, 'v') +
                  "\n"
                  "b_key: two  lines in ~/x\n" +
                  std::string(80, 'k') + ": long key" + marker + "{\"old\":1}\n{\"new\":2}\n");
    EXPECT_EQ(mode(report), 0644u);
    // Over a file of the user's, no wider than it was.
    fs::permissions(report, fs::perms::owner_read | fs::perms::owner_write);
    log->writeReport(report, {});
    EXPECT_EQ(mode(report), 0600u);
}

TEST_F(DiagnosticLogFixture, OfALogLongerThanItsBoundTheReportShowsTheNewestWholeLines) {
    // Grown by something else: 100 lines of 40 bytes against a limit of 1024, 2048 read.
    std::string longer;
    for (int index = 0; index < 100; ++index) {
        std::string line = "{\"n\":" + std::to_string(1000 + index) + ",\"pad\":\"";
        line += std::string(40 - line.size() - 3, 'x') + "\"}\n";
        longer += line;
    }
    ASSERT_EQ(longer.size(), 4000u);
    write(folder / "Ventrella.previous.jsonl", longer);
    write(folder / "Ventrella.jsonl", "{\"new\":2}\n");
    open(1024);
    const fs::path report = scratch / "report.txt";
    log->writeReport(report, {});
    const std::string text = contents(report);
    // The last 2048 bytes begin inside line 48 (at byte 1952): from line 49 on.
    EXPECT_EQ(text.substr(text.find(marker) + marker.size()),
              "--- Ventrella.previous.jsonl: the first 1960 of 4000 bytes left out ---\n" +
                  longer.substr(1960) + "{\"new\":2}\n");
}

TEST_F(DiagnosticLogFixture, ReportWithoutEventsSaysSo) {
    open(262144, std::nullopt, &bracketed);
    const fs::path report = scratch / "report.txt";
    const std::string expected =
        "«Ventrella Diagnostic Report»\n"
        "generated_at: 2024-05-01T10:00:00Z\n"
        "app_version: 1.4 (27)" +
        marker + "«No recorded events.»\n";
    log->writeReport(report, {{"app_version", "1.4 (27)"}});
    EXPECT_EQ(contents(report), expected) << "both files missing";

    write(folder / "Ventrella.previous.jsonl", "");
    write(folder / "Ventrella.jsonl", "");
    log->writeReport(report, {{"app_version", "1.4 (27)"}});
    EXPECT_EQ(contents(report), expected) << "both files empty";
}

TEST_F(DiagnosticLogFixture, ReportSeesEveryRecordQueuedBeforeIt) {
    open();
    for (int index = 0; index < 100; ++index) {
        log->record(DiagnosticLevel::info, "queued", "", {});
    }
    const fs::path report = scratch / "report.txt";
    log->writeReport(report, {});
    const std::string text = contents(report);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 2 + 100);
}

TEST_F(DiagnosticLogFixture, ReportFailuresThrowAndLeaveNothingBehind) {
    using Reason = DiagnosticReportError::Reason;
    const fs::path destination = scratch / "out" / "report.txt";
    struct Case {
        std::string name;
        std::function<void()> prepare;
        Reason reason;
        fs::path file;
    };
    const std::vector<Case> cases = {
        {"invalid UTF-8 in the active log",
         [&] { write(folder / "Ventrella.jsonl", std::string("{\"a\":\"\xFF\"}\n")); },
         Reason::logNotText, folder / "Ventrella.jsonl"},
        {"a log that is a folder",
         [&] { fs::create_directories(folder / "Ventrella.previous.jsonl"); },
         Reason::logUnreadable, folder / "Ventrella.previous.jsonl"},
        {"a destination that is a folder", [&] { fs::create_directories(destination); },
         Reason::reportUnwritable, destination},
        {"a destination in a missing folder", [&] { fs::remove_all(destination.parent_path()); },
         Reason::reportUnwritable, destination},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder);
        fs::remove_all(destination.parent_path());
        fs::create_directories(destination.parent_path());
        c.prepare();
        open();
        try {
            log->writeReport(destination, {});
            ADD_FAILURE() << "no error";
        } catch (const DiagnosticReportError& error) {
            EXPECT_EQ(error, DiagnosticReportError(c.reason, c.file));
            EXPECT_EQ(std::string(error.what()).find(scratch.string()), std::string::npos);
        }
        if (fs::exists(destination.parent_path())) {
            std::size_t files = 0;
            for (const auto& entry : fs::directory_iterator(destination.parent_path())) {
                files += entry.is_regular_file() ? 1 : 0;
            }
            EXPECT_EQ(files, 0u) << "a partial report was left behind";
        }
    }
}

}  // namespace
}  // namespace ventrella::diagnostics::testing
