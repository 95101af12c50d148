#include <gtest/gtest.h>

#include <unistd.h>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DiagnosticLogFixture.h"
#include "Platform/Dispatch/ManualExecutor.h"
#include "Platform/Dispatch/TaskScope.h"
#include "SampleReportContext.h"
#include "Support/FakeSavePanel.h"
#include "Support/ScopedEnvironmentVariable.h"
#include "Support/ScopedLocalization.h"
#include "Support/TemporaryPlatformRoot.h"
#include "Ventrella/Diagnostics/DiagnosticReportCoordinator.h"
#include "Ventrella/Diagnostics/DiagnosticReportError.h"
#include "Ventrella/Diagnostics/DiagnosticSummary.h"

namespace ventrella::diagnostics::testing {
namespace {

namespace fs = std::filesystem;
using fakes::FakeSavePanel;

const std::string auditLine = R"({"reason":"cdHashMismatch","timestamp":"2024-04-30T08:15:00Z"})";

// Keeps what it was asked to write; can fail instead.
class RecordingExporter : public DiagnosticReportExporting {
  public:
    struct Call {
        fs::path destination;
        std::map<std::string, std::string> header;
    };
    std::optional<DiagnosticReportError> failure;
    std::vector<Call> calls;

    void writeReport(const fs::path& destination,
                     const std::map<std::string, std::string>& header) override {
        calls.push_back({destination, header});
        if (failure) {
            throw *failure;
        }
    }
};

class DiagnosticReportCoordinatorTest : public DiagnosticLogFixture {
  protected:
    fs::path auditFile() const { return scratch / "helper-auth.jsonl"; }

    DiagnosticReportCoordinator coordinator(std::shared_ptr<DiagnosticReportExporting> exporter,
                                            std::optional<std::uint32_t> owner = std::nullopt) {
        return DiagnosticReportCoordinator(
            std::move(exporter), panel, [this] { return now; },
            HelperAuditSource{auditFile(), owner.value_or(::getuid())});
    }

    // Exports as the model does: the panel at once, then the writing awaited on a main
    // executor. False when the user cancelled; the writing's error is thrown.
    static bool exportWith(DiagnosticReportCoordinator coordinator) {
        auto writing = coordinator.exportReport(sampleReportContext());
        if (!writing) {
            return false;
        }
        platform::dispatch::ManualExecutor executor;
        platform::dispatch::TaskScope scope(executor);
        std::exception_ptr failure;
        bool done = false;
        scope.spawn(awaitWriting(std::move(*writing), &failure, &done));
        executor.runUntilIdle();
        EXPECT_TRUE(done);
        if (failure) {
            std::rethrow_exception(failure);
        }
        return true;
    }

    std::shared_ptr<FakeSavePanel> panel = std::make_shared<FakeSavePanel>();

  private:
    static platform::dispatch::Task<void> awaitWriting(platform::dispatch::Task<void> writing,
                                                       std::exception_ptr* failure, bool* done) {
        try {
            co_await std::move(writing);
        } catch (...) {
            *failure = std::current_exception();
        }
        *done = true;
    }
};

TEST_F(DiagnosticReportCoordinatorTest, WritesTheWholeReportWithTheLastRejectionInSortedPlace) {
    write(folder / "Ventrella.previous.jsonl", "{\"event\":\"older\"}\n");
    open();
    log->record(DiagnosticLevel::info, "diagnostics.export_requested", "", {});
    write(auditFile(),
          "{\"reason\":\"identifierMismatch\",\"timestamp\":\"2024-04-29T07:00:00Z\"}\n" +
              auditLine + "\n");
    const fs::path destination = scratch / "chosen.txt";
    panel->answer = destination;

    std::shared_ptr<DiagnosticLog> exporter(log.get(), [](DiagnosticLog*) {});
    EXPECT_TRUE(exportWith(coordinator(exporter)));
    EXPECT_EQ(contents(destination),
              "Ventrella Diagnostic Report\n"
              "generated_at: 2024-05-01T10:00:00Z\n"
              "app_version: 1.4 (27)\n"
              "control_enabled: true\n"
              "fans: F0:actual=1834 min=1200 max=5800 target=0 mode=automatic\n"
              "guard_mode: Boost\n"
              "hardware: Mac15,6 · Apple M3 Pro\n"
              "helper_auth_last_rejection: 2024-04-30T08:15:00Z cdHashMismatch\n"
              "helper_ready: true\n"
              "macos: Version 14.5 (Build 23F79)\n"
              "sensors: cpu[1]=Tp01=61.2C | gpu[0]=\n"
              "settings: language=system temperature_source=cpu temperature_aggregation=average "
              "boost=72.0-80.0C@55% emergency=80.0-90.0C poll=3.0s\n"
              "temperature_c: 71.2\n"
              "\n"
              "--- event_log_jsonl (oldest -> newest) ---\n"
              "{\"event\":\"older\"}\n"
              "{\"event\":\"diagnostics.export_requested\",\"level\":\"info\",\"message\":\"\","
              "\"metadata\":{},\"timestamp\":\"2024-05-01T10:00:00Z\"}\n");
}

TEST_F(DiagnosticReportCoordinatorTest, AsksForAPlainTextFileNamedAfterTheLocalTime) {
    testsupport::ScopedEnvironmentVariable zone("TZ", "XYZ-2");  // two hours east of UTC
    auto exporter = std::make_shared<RecordingExporter>();
    exportWith(coordinator(exporter));
    ASSERT_EQ(panel->requests().size(), 1u);
    EXPECT_EQ(panel->requests()[0],
              (SavePanelOptions{"Save Ventrella Diagnostic Report",
                                "Ventrella-Diagnostic-Report-20240501-120000.txt",
                                {"txt"},
                                true}));

    testsupport::ScopedLocalization german(VENTRELLA_APP_BUNDLE_DIR, core::AppLanguage::german);
    exportWith(coordinator(exporter));
    EXPECT_EQ(panel->requests().at(1).title, "Ventrella-Diagnosebericht sichern");
}

TEST_F(DiagnosticReportCoordinatorTest, CancellingWritesNothing) {
    auto exporter = std::make_shared<RecordingExporter>();
    for (const auto& answer : {std::optional<fs::path>(), std::optional<fs::path>(fs::path())}) {
        panel->answer = answer;
        EXPECT_FALSE(exportWith(coordinator(exporter)));
    }
    EXPECT_TRUE(exporter->calls.empty());
}

TEST_F(DiagnosticReportCoordinatorTest, AddsTheLastRejectionOnlyFromTheOwnersRegularFile) {
    struct Case {
        std::string name;
        std::function<void()> prepare;
        std::optional<std::uint32_t> owner;
        bool added;
    };
    const fs::path elsewhere = scratch / "elsewhere.jsonl";
    const std::vector<Case> cases = {
        {"no audit log", [] {}, std::nullopt, false},
        {"an entry", [&] { write(auditFile(), auditLine + "\n"); }, std::nullopt, true},
        {"another owner's file", [&] { write(auditFile(), auditLine + "\n"); }, ::getuid() + 1,
         false},
        {"a symbolic link to an entry",
         [&] {
             write(elsewhere, auditLine + "\n");
             fs::create_symlink(elsewhere, auditFile());
         },
         std::nullopt, false},
        {"no decodable line", [&] { write(auditFile(), "{\"reason\":\"shrug\"}\n"); }, std::nullopt,
         false},
    };
    panel->answer = scratch / "report.txt";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(auditFile());
        fs::remove(elsewhere);
        c.prepare();
        auto exporter = std::make_shared<RecordingExporter>();
        EXPECT_TRUE(exportWith(coordinator(exporter, c.owner)));
        ASSERT_EQ(exporter->calls.size(), 1u);
        auto expected = sampleReportContext().header();
        if (c.added) {
            expected["helper_auth_last_rejection"] = "2024-04-30T08:15:00Z cdHashMismatch";
        }
        EXPECT_EQ(exporter->calls[0].header, expected);
        EXPECT_EQ(exporter->calls[0].destination, scratch / "report.txt");
    }
}

TEST_F(DiagnosticReportCoordinatorTest, ReadsTheHelpersAuditLogUnderThePlatformRoot) {
    testsupport::TemporaryPlatformRoot root;
    write(root.path() / "Library/Application Support/Ventrella/helper-auth.jsonl",
          auditLine + "\n");
    panel->answer = scratch / "report.txt";
    auto exporter = std::make_shared<RecordingExporter>();
    DiagnosticReportCoordinator coordinator(
        exporter, panel, [this] { return now; }, HelperAuditSource{std::nullopt, ::getuid()});
    EXPECT_TRUE(exportWith(coordinator));
    ASSERT_EQ(exporter->calls.size(), 1u);
    EXPECT_EQ(exporter->calls[0].header.at("helper_auth_last_rejection"),
              "2024-04-30T08:15:00Z cdHashMismatch");
}

TEST_F(DiagnosticReportCoordinatorTest, WriteErrorsReachTheCaller) {
    auto exporter = std::make_shared<RecordingExporter>();
    const DiagnosticReportError failure(DiagnosticReportError::Reason::reportUnwritable,
                                        scratch / "report.txt");
    exporter->failure = failure;
    panel->answer = scratch / "report.txt";
    try {
        exportWith(coordinator(exporter));
        ADD_FAILURE() << "no error";
    } catch (const DiagnosticReportError& error) {
        EXPECT_EQ(error, failure);
    }
}

// The process's log reports in the interface language.
TEST_F(DiagnosticReportCoordinatorTest, SharedLogWritesItsReportInTheInterfaceLanguage) {
    testsupport::ScopedEnvironmentVariable homeVariable("HOME", home.string());
    testsupport::ScopedLocalization german(VENTRELLA_APP_BUNDLE_DIR, core::AppLanguage::german);
    DiagnosticLog& shared = DiagnosticLog::shared();
    EXPECT_EQ(shared.directory(), folder);
    shared.writeReport(scratch / "shared.txt", {});
    const std::string text = contents(scratch / "shared.txt");
    EXPECT_TRUE(text.starts_with("Ventrella-Diagnosebericht\n")) << text;
    EXPECT_TRUE(text.ends_with("\nKeine aufgezeichneten Ereignisse.\n")) << text;
}

}  // namespace
}  // namespace ventrella::diagnostics::testing
