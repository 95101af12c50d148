#include "DemoProgram.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace ventrella::shelluitests {

namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

DemoProgram::DemoProgram(const testsupport::VirtualDesktop& desktop,
                         std::vector<std::string> arguments, const std::string& name)
    : output_(testsupport::testArtifact(name + ".out")),
      errors_(testsupport::testArtifact(name + ".err")) {
    arguments.insert(arguments.begin(), SHELL_DEMO_PROGRAM);
    testsupport::ChildProcess::Options options;
    options.arguments = std::move(arguments);
    options.environment = desktop.environment();
    options.output = output_;
    options.errors = errors_;
    process_ = std::make_unique<testsupport::ChildProcess>(std::move(options));
}

std::vector<std::string> DemoProgram::lines() const {
    std::vector<std::string> lines;
    std::ifstream in(output_);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string DemoProgram::errors() const {
    return readAll(errors_);
}

int DemoProgram::countLines(const std::string& prefix) const {
    int count = 0;
    for (const auto& line : lines()) {
        count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
}

std::string DemoProgram::waitForLine(const std::string& prefix, int count, double seconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        int seen = 0;
        std::string last;
        for (const auto& line : lines()) {
            if (line.rfind(prefix, 0) == 0) {
                ++seen;
                last = line;
            }
        }
        if (seen >= count) {
            return last;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::optional<testsupport::DisplayWindow> trayIcon(const testsupport::VirtualDesktop& desktop) {
    for (const auto& window : desktop.visibleWindows("^ventrella-shell-demo$", true)) {
        if (window.y < testsupport::VirtualDesktop::panelHeight && window.width <= 32) {
            return window;
        }
    }
    return std::nullopt;
}

std::optional<testsupport::DisplayWindow> popover(const testsupport::VirtualDesktop& desktop) {
    const auto windows = desktop.visibleWindows("^Ventrella$");
    if (windows.empty()) {
        return std::nullopt;
    }
    return windows.front();
}

}  // namespace ventrella::shelluitests
