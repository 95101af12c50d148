#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "Ventrella/Diagnostics/DiagnosticLog.h"

namespace ventrella::diagnostics::testing {

using namespace std::chrono;

// 2024-05-01T10:00:00Z
inline const system_clock::time_point mayFirst = sys_days{year{2024} / May / 1} + hours{10};

// A temporary home with the log under "Library/Logs/Ventrella" and a clock the test sets.
class DiagnosticLogFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ventrella-diagnostics-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        scratch = pattern;
        home = scratch / "home";
        folder = home / "Library/Logs/Ventrella";
    }
    void TearDown() override {
        log.reset();
        std::filesystem::remove_all(scratch);
    }

    DiagnosticLog& open(std::int64_t limit = 262144, std::optional<std::string> homeText = {},
                        DiagnosticLog::TextLookup lookup = &DiagnosticLog::untranslated) {
        log = std::make_unique<DiagnosticLog>(
            folder, limit, [this] { return now; }, homeText.value_or(home.string()),
            std::move(lookup));
        return *log;
    }

    // Waits until every record queued so far is on disk (the report runs on the log's queue).
    void settle() {
        try {
            log->writeReport(scratch / "settle.txt", {});
        } catch (const std::exception&) {
            // A folder that cannot hold logs cannot be read either; the queue has still run.
        }
    }

    static std::string contents(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        return buffer.str();
    }
    static void write(const std::filesystem::path& path, const std::string& text) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }
    static unsigned mode(const std::filesystem::path& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0xFFFF;
    }

    std::filesystem::path scratch;
    std::filesystem::path home;
    std::filesystem::path folder;
    system_clock::time_point now = mayFirst + milliseconds{750};
    std::unique_ptr<DiagnosticLog> log;
};

}  // namespace ventrella::diagnostics::testing
