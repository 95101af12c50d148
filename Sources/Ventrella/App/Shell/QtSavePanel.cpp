#include "Ventrella/App/Shell/QtSavePanel.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

namespace ventrella::shell {

namespace {

// Tells the flag's owner that a modal dialog runs, for as long as the object lives.
class ModalScope {
  public:
    explicit ModalScope(const std::function<void(bool)>& flag) : flag_(flag) {
        if (flag_) {
            flag_(true);
        }
    }
    ~ModalScope() {
        if (flag_) {
            flag_(false);
        }
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

  private:
    const std::function<void(bool)>& flag_;
};

}  // namespace

QtSavePanel::QtSavePanel(std::function<void(bool)> modalRunning,
                         std::optional<std::filesystem::path> startDirectory)
    : modalRunning_(std::move(modalRunning)), startDirectory_(std::move(startDirectory)) {}

std::optional<std::filesystem::path> QtSavePanel::chooseDestination(
    const diagnostics::SavePanelOptions& options) {
    const QString directory =
        startDirectory_ ? QString::fromStdString(startDirectory_->string()) : QDir::homePath();
    QFileDialog dialog(nullptr, QString::fromStdString(options.title), directory);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Without permission to create folders the dialog changes nothing but the file it saves.
    dialog.setOption(QFileDialog::ReadOnly, !options.canCreateDirectories);
    if (!options.allowedFileExtensions.empty()) {
        QStringList patterns;
        for (const auto& extension : options.allowedFileExtensions) {
            patterns << QStringLiteral("*.") + QString::fromStdString(extension);
        }
        dialog.setNameFilter(patterns.join(u' '));
        dialog.setDefaultSuffix(QString::fromStdString(options.allowedFileExtensions.front()));
    }
    dialog.selectFile(QString::fromStdString(options.proposedFileName));

    int result = QDialog::Rejected;
    {
        const ModalScope modal(modalRunning_);
        result = dialog.exec();
    }
    const QStringList chosen = dialog.selectedFiles();
    if (result != QDialog::Accepted || chosen.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(chosen.front().toStdString());
}

}  // namespace ventrella::shell
