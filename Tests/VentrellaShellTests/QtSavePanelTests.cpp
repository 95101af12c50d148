#include "Ventrella/App/Shell/QtSavePanel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "UISupport/QtTestApplication.h"

namespace ventrella::shelltests {
namespace {

// Runs `answer` on the dialog once it is the modal widget (the panel's own event loop runs
// meanwhile).
void whenTheDialogShows(std::function<void(QFileDialog&)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, answer = std::move(answer)] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(*dialog);
        }
    });
    poll->start();
}

TEST(QtSavePanel, RaisesTheModalFlagWhileItsOwnDialogRunsAndGivesTheChosenFile) {
    uitest::QtTestApplication::ensure();
    const auto folder = std::filesystem::temp_directory_path() / "ventrella-save-panel";
    std::filesystem::create_directories(folder);
    std::vector<bool> flags;
    shell::QtSavePanel panel([&](bool running) { flags.push_back(running); }, folder);
    const diagnostics::SavePanelOptions options{
        .title = "Save Ventrella Diagnostic Report",
        .proposedFileName = "Ventrella-Diagnostics.txt",
        .allowedFileExtensions = {"txt"},
        .canCreateDirectories = true,
    };

    bool sawFlagUp = false;
    whenTheDialogShows([&](QFileDialog& dialog) {
        sawFlagUp = flags == std::vector<bool>{true};
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog.windowTitle(), "Save Ventrella Diagnostic Report");
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_FALSE(dialog.testOption(QFileDialog::ReadOnly));
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->text(), "Ventrella-Diagnostics.txt");
        // A name without the extension gets it.
        name->setText(QStringLiteral("report"));
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    const auto chosen = panel.chooseDestination(options);
    EXPECT_TRUE(sawFlagUp);
    EXPECT_EQ(flags, (std::vector<bool>{true, false}));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, folder / "report.txt");

    whenTheDialogShows([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(panel.chooseDestination(options), std::nullopt);
    EXPECT_EQ(flags, (std::vector<bool>{true, false, true, false}));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace ventrella::shelltests
