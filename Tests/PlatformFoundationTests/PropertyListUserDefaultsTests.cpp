#include "Platform/Foundation/PropertyListUserDefaults.h"

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <sstream>

#include "Platform/Foundation/UserDefaultsError.h"
#include "Support/ScopedEnvironmentVariable.h"
#include "Support/TemporaryPlatformRoot.h"

namespace fs = std::filesystem;
using platform::foundation::kMaximumPropertyListBytes;
using platform::foundation::PropertyListUserDefaults;
using platform::foundation::UserDefaultsError;
using ventrella::testsupport::ScopedEnvironmentVariable;
using ventrella::testsupport::TemporaryPlatformRoot;

namespace {

constexpr const char* kKey = "guardSettings";

std::string slurp(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    std::stringstream bytes;
    bytes << stream.rdbuf();
    return bytes.str();
}

void write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string xmlWithData(const std::string& key, const std::string& base64) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>" + key +
           "</key><data>" + base64 + "</data></dict></plist>\n";
}

class PropertyListUserDefaultsTest : public ::testing::Test {
  protected:
    fs::path preferences() const { return root_.path() / "home/Library/Preferences"; }
    fs::path file() const { return preferences() / "com.example.app.plist"; }

    // Every file left in the preferences folder: the plist, never a temporary beside it.
    std::vector<std::string> filesInPreferences() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(preferences())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    TemporaryPlatformRoot root_;
};

}  // namespace

TEST_F(PropertyListUserDefaultsTest, DomainFileLivesInTheHomesPreferencesAndMustBeAPlainName) {
    const ScopedEnvironmentVariable home("HOME", (root_.path() / "home").string());
    EXPECT_EQ(PropertyListUserDefaults::preferencesFile("com.example.app"), file());
    for (const char* domain : {"", ".", "..", "../evil", "a/b"}) {
        EXPECT_THROW(PropertyListUserDefaults::preferencesFile(domain), std::invalid_argument)
            << domain;
    }
}

TEST_F(PropertyListUserDefaultsTest, StoresDataInABinaryPlistThatANewReaderSeesWithOtherKeys) {
    // A file written by hand, as XML, with a key of its own that must survive.
    write(file(), xmlWithData("other", "AAEC"));
    {
        PropertyListUserDefaults defaults(file());
        EXPECT_EQ(defaults.data("other"), std::string("\x00\x01\x02", 3));
        EXPECT_FALSE(defaults.data(kKey).has_value());
        defaults.setData(kKey, R"({"pollIntervalSeconds":3})");
        defaults.setData(kKey, std::string("\0binary\xff", 8));
        EXPECT_EQ(defaults.data(kKey), std::string("\0binary\xff", 8));
    }
    EXPECT_TRUE(slurp(file()).starts_with("bplist00"));
    const PropertyListUserDefaults reread(file());
    EXPECT_EQ(reread.data(kKey), std::string("\0binary\xff", 8));
    EXPECT_EQ(reread.data("other"), std::string("\x00\x01\x02", 3));
    EXPECT_EQ(filesInPreferences(), std::vector<std::string>{"com.example.app.plist"});
}

TEST_F(PropertyListUserDefaultsTest, AnythingButAWellFormedDictionaryReadsAsEmptyAndIsSetAside) {
    using SetAside = PropertyListUserDefaults::SetAside;
    const std::string large = xmlWithData(kKey, std::string(kMaximumPropertyListBytes, 'A'));
    const fs::path aside = file().string() + ".unreadable";
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::string reason;  // empty: nothing to set aside
    };
    const std::vector<Case> cases = {
        {"missing", [] {}, ""},
        {"text where data belongs",
         [&] {
             write(file(),
                   "<plist><dict><key>guardSettings</key><string>x</string></dict>"
                   "</plist>");
         },
         ""},
        {"empty", [&] { write(file(), ""); }, "not a property list"},
        {"garbage", [&] { write(file(), "not a property list \x01\x02"); }, "not a property list"},
        {"truncated binary", [&] { write(file(), "bplist00\xd1\x01\x02"); }, "not a property list"},
        {"array root", [&] { write(file(), "<plist><array><data>AA==</data></array></plist>"); },
         "not a dictionary"},
        {"over the size bound", [&] { write(file(), large); }, "larger than 65536 bytes"},
        {"a directory", [&] { fs::create_directories(file() / "inside"); }, "not a regular file"},
        // Opened for reading, a FIFO would wait for a writer forever.
        {"a FIFO",
         [&] {
             fs::create_directories(preferences());
             ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
         },
         "not a regular file"},
        {"an earlier unreadable file is kept",
         [&] {
             write(aside, "earlier");
             write(file(), "garbage");
         },
         "not a property list"},
    };
    for (const auto& [name, prepare, reason] : cases) {
        SCOPED_TRACE(name);
        fs::remove_all(preferences());
        prepare();
        const auto type = fs::symlink_status(file()).type();
        const std::string before = fs::is_regular_file(file()) ? slurp(file()) : "";
        std::vector<SetAside> told;
        PropertyListUserDefaults defaults(file(),
                                          [&](const SetAside& moved) { told.push_back(moved); });
        EXPECT_FALSE(defaults.data(kKey).has_value());
        EXPECT_TRUE(told.empty()) << "nothing moves before a write";
        defaults.setData(kKey, "fresh");
        defaults.setData(kKey, "fresh again");
        EXPECT_EQ(PropertyListUserDefaults(file()).data(kKey), "fresh again");
        if (reason.empty()) {
            EXPECT_TRUE(told.empty());
            EXPECT_FALSE(fs::exists(aside));
            continue;
        }
        const bool earlier = fs::exists(file().string() + ".unreadable.1");
        const fs::path keptAs = earlier ? fs::path(file().string() + ".unreadable.1") : aside;
        EXPECT_EQ(told, (std::vector<SetAside>{{reason, keptAs}})) << "once, at the first write";
        EXPECT_EQ(fs::symlink_status(keptAs).type(), type);
        if (type == fs::file_type::regular) {
            EXPECT_EQ(slurp(keptAs), before);
        }
        if (earlier) {
            EXPECT_EQ(slurp(aside), "earlier");
        }
    }
}

TEST_F(PropertyListUserDefaultsTest, ReplacesTheFileInOneStepNeverWritingIntoTheOldOne) {
    PropertyListUserDefaults defaults(file());
    defaults.setData(kKey, "first");
    // A second name for the old file: an in-place write would change what it shows.
    const fs::path keep = root_.path() / "old-file";
    fs::create_hard_link(file(), keep);
    const std::string before = slurp(keep);
    defaults.setData(kKey, "second");
    EXPECT_EQ(slurp(keep), before);
    EXPECT_EQ(PropertyListUserDefaults(keep).data(kKey), "first");
    EXPECT_EQ(PropertyListUserDefaults(file()).data(kKey), "second");
    EXPECT_EQ(fs::status(file()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(PropertyListUserDefaultsTest, AFailedWriteKeepsTheOldValueOnDiskAndInMemory) {
    PropertyListUserDefaults defaults(file());
    defaults.setData(kKey, "old");
    const std::string onDisk = slurp(file());

    // The file system refuses to write more than a few bytes (works for root as well).
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    try {
        defaults.setData(kKey, "new and longer than sixteen bytes");
        ADD_FAILURE() << "the write succeeded";
    } catch (const UserDefaultsError& error) {
        EXPECT_EQ(error.kind(), UserDefaultsError::Kind::writeFailed);
        EXPECT_EQ(error.description(),
                  "The preferences file \"com.example.app.plist\" could not be saved: File too "
                  "large.");
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(defaults.data(kKey), "old");
    EXPECT_EQ(slurp(file()), onDisk);
    EXPECT_EQ(filesInPreferences(), std::vector<std::string>{"com.example.app.plist"});
}

TEST_F(PropertyListUserDefaultsTest, RefusesWritesItCouldNotReadBackOrPlaceAndSaysWhy) {
    PropertyListUserDefaults defaults(file());
    defaults.setData(kKey, "old");

    EXPECT_THROW(
        {
            try {
                defaults.setData(kKey, std::string(kMaximumPropertyListBytes, 'x'));
            } catch (const UserDefaultsError& error) {
                EXPECT_EQ(error, UserDefaultsError::tooLarge(file()));
                EXPECT_NE(error.description().find("larger than 64 KB"), std::string::npos);
                throw;
            }
        },
        UserDefaultsError);
    EXPECT_THROW(defaults.setData(std::string("bad\0key", 7), "x"), UserDefaultsError);
    EXPECT_EQ(defaults.data(kKey), "old");
    EXPECT_EQ(PropertyListUserDefaults(file()).data(kKey), "old");

    // A file where the preferences folder belongs.
    const fs::path blocked = root_.path() / "blocked/Library/Preferences/com.example.app.plist";
    write(root_.path() / "blocked/Library/Preferences", "a file");
    PropertyListUserDefaults nowhere(blocked);
    try {
        nowhere.setData(kKey, "value");
        ADD_FAILURE() << "the write succeeded";
    } catch (const UserDefaultsError& error) {
        EXPECT_EQ(error.kind(), UserDefaultsError::Kind::writeFailed);
        EXPECT_NE(error.description().find("could not be saved: "), std::string::npos);
    }
    EXPECT_FALSE(nowhere.data(kKey).has_value());

    // An unreadable file with every place beside it taken stays as it is.
    write(file(), "garbage");
    write(file().string() + ".unreadable", "kept");
    for (int number = 1; number < PropertyListUserDefaults::maximumSetAside; ++number) {
        write(file().string() + ".unreadable." + std::to_string(number), "kept");
    }
    PropertyListUserDefaults crowded(file());
    EXPECT_THROW(crowded.setData(kKey, "value"), UserDefaultsError);
    EXPECT_EQ(slurp(file()), "garbage");
}
