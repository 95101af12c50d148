#include "Platform/Foundation/XDGAutostartLoginItem.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Platform/Foundation/LoginItemError.h"
#include "Support/ScopedEnvironmentVariable.h"
#include "Support/TemporaryPlatformRoot.h"

namespace fs = std::filesystem;
using platform::foundation::LoginItemError;
using platform::foundation::LoginItemStatus;
using platform::foundation::XDGAutostartLoginItem;
using ventrella::testsupport::ScopedEnvironmentVariable;
using ventrella::testsupport::TemporaryPlatformRoot;

namespace {

constexpr const char* kExecutable = "/Applications/Ventrella.app/Contents/MacOS/Ventrella";

std::string slurp(const fs::path& path) {
    std::ifstream stream(path);
    std::stringstream text;
    text << stream.rdbuf();
    return text.str();
}

// The value of `key=` in the entry, as written.
std::string valueOf(const std::string& entry, const std::string& key) {
    std::istringstream lines(entry);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.starts_with(key + "=")) {
            return line.substr(key.size() + 1);
        }
    }
    return "<missing>";
}

class XDGAutostartLoginItemTest : public ::testing::Test {
  protected:
    fs::path autostart() const { return root_.path() / "config/autostart"; }

    XDGAutostartLoginItem item(fs::path executable = kExecutable) const {
        return XDGAutostartLoginItem("com.example.Ventrella", "Ventrella", std::move(executable),
                                     autostart());
    }

    TemporaryPlatformRoot root_;
};

}  // namespace

TEST_F(XDGAutostartLoginItemTest, RegistersAnEntryThatStartsTheExecutableAndRemovesIt) {
    auto subject = item();
    EXPECT_EQ(subject.status(), LoginItemStatus::notRegistered);
    subject.registerItem();
    EXPECT_EQ(subject.status(), LoginItemStatus::enabled);
    const fs::path entry = autostart() / "com.example.Ventrella.desktop";
    EXPECT_EQ(subject.entryFile(), entry);
    EXPECT_EQ(slurp(entry),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Version=1.0\n"
              "Name=Ventrella\n"
              "Exec=\"/Applications/Ventrella.app/Contents/MacOS/Ventrella\"\n"
              "Terminal=false\n"
              "X-GNOME-Autostart-enabled=true\n");
    EXPECT_EQ(fs::status(entry).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    subject.registerItem();  // again: the same entry, nothing else beside it
    EXPECT_EQ(std::distance(fs::directory_iterator(autostart()), fs::directory_iterator()), 1);

    subject.unregisterItem();
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(subject.status(), LoginItemStatus::notRegistered);
    EXPECT_NO_THROW(subject.unregisterItem());
}

// Quoting of the Desktop Entry format: one quoted argument with '"', '`', '$' and '\' escaped,
// '%' doubled, then the string escape doubling every backslash.
TEST_F(XDGAutostartLoginItemTest, QuotesPathsWithReservedCharactersSoTheSessionStartsThemAsIs) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/Apps/My App/Ventrella", R"("/Apps/My App/Ventrella")"},
        {"/Apps/100%/Ventrella", R"("/Apps/100%%/Ventrella")"},
        {"/Apps/$HOME/Ventrella", R"("/Apps/\\$HOME/Ventrella")"},
        {"/Apps/\"q\"/`x`", R"("/Apps/\\"q\\"/\\`x\\`")"},
        {"/Apps/back\\slash", R"("/Apps/back\\\\slash")"},
        {"/Apps/it's;&|<>*?#()~", R"("/Apps/it's;&|<>*?#()~")"},
    };
    for (const auto& [path, exec] : cases) {
        auto subject = item(path);
        subject.registerItem();
        EXPECT_EQ(valueOf(slurp(subject.entryFile()), "Exec"), exec) << path;
        EXPECT_EQ(subject.status(), LoginItemStatus::enabled) << path;
    }
}

TEST_F(XDGAutostartLoginItemTest, AnEntryThatWouldNotStartThisExecutableIsNotRegistered) {
    auto subject = item();
    const std::string ours =
        "[Desktop Entry]\nType=Application\nExec=\"" + std::string(kExecutable) + "\"\n";
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"hidden", ours + "Hidden=true\n"},
        {"switched off", ours + "X-GNOME-Autostart-enabled = false\n"},
        {"another copy", "[Desktop Entry]\nExec=\"/Old/Ventrella.app/Contents/MacOS/Ventrella\"\n"},
        {"another group", "[Desktop Action x]\nExec=\"" + std::string(kExecutable) + "\"\n"},
        {"no Exec", "[Desktop Entry]\nType=Application\n"},
    };
    fs::create_directories(autostart());
    for (const auto& [name, text] : cases) {
        std::ofstream(subject.entryFile()) << text;
        EXPECT_EQ(subject.status(), LoginItemStatus::notRegistered) << name;
    }
    std::ofstream(subject.entryFile()) << "# comment\n\n" << ours << "Hidden=false\n";
    EXPECT_EQ(subject.status(), LoginItemStatus::enabled);
    // Registering replaces a stale entry with one of ours.
    std::ofstream(subject.entryFile()) << cases[0].second;
    subject.registerItem();
    EXPECT_EQ(subject.status(), LoginItemStatus::enabled);
}

TEST_F(XDGAutostartLoginItemTest, EachOperationFailsWithADescriptionWhenTheFileSystemRefuses) {
    // The autostart folder is a file: nothing can be registered there.
    fs::create_directories(autostart().parent_path());
    std::ofstream(autostart()) << "not a folder";
    auto blocked = item();
    try {
        blocked.registerItem();
        ADD_FAILURE() << "registered";
    } catch (const LoginItemError& error) {
        EXPECT_EQ(error.kind(), LoginItemError::Kind::registrationFailed);
        EXPECT_TRUE(error.description().starts_with("The login item could not be registered: "));
    }
    fs::remove(autostart());

    // The entry is a folder with something in it: unreadable and not removable.
    auto subject = item();
    fs::create_directories(subject.entryFile() / "inside");
    EXPECT_THROW(
        {
            try {
                (void)subject.status();
            } catch (const LoginItemError& error) {
                EXPECT_EQ(error.kind(), LoginItemError::Kind::statusUnavailable);
                throw;
            }
        },
        LoginItemError);
    EXPECT_THROW(
        {
            try {
                subject.unregisterItem();
            } catch (const LoginItemError& error) {
                EXPECT_EQ(error.kind(), LoginItemError::Kind::unregistrationFailed);
                throw;
            }
        },
        LoginItemError);

    // A line break would end the Exec line early.
    EXPECT_THROW(item("/Apps/two\nlines").registerItem(), LoginItemError);
}

TEST_F(XDGAutostartLoginItemTest, FindsTheAutostartFolderAndRefusesUnsafeNames) {
    const ScopedEnvironmentVariable home("HOME", "/home/someone");
    {
        const ScopedEnvironmentVariable config("XDG_CONFIG_HOME", "/custom/config");
        EXPECT_EQ(XDGAutostartLoginItem::defaultDirectory(), "/custom/config/autostart");
    }
    for (const std::optional<std::string>& ignored :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("relative/config")}) {
        const ScopedEnvironmentVariable config("XDG_CONFIG_HOME", ignored);
        EXPECT_EQ(XDGAutostartLoginItem::defaultDirectory(), "/home/someone/.config/autostart");
    }
    for (const char* identifier : {"", ".", "..", "a/b"}) {
        EXPECT_THROW(XDGAutostartLoginItem(identifier, "V", kExecutable, autostart()),
                     std::invalid_argument)
            << identifier;
    }
    EXPECT_THROW(XDGAutostartLoginItem("id", "V", "relative/Ventrella", autostart()),
                 std::invalid_argument);
}
