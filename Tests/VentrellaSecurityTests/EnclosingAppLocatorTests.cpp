#include <gtest/gtest.h>

#include "VentrellaSecurity/EnclosingAppLocator.h"

namespace ventrella::security {
namespace {

using EnclosingAppLocator::appBundleURL;
using Path = std::filesystem::path;

TEST(EnclosingAppLocator, FindsTheNearestEnclosingBundle) {
    EXPECT_EQ(appBundleURL("/Applications/Ventrella.app/Contents/Library/LaunchServices/helper"),
              Path("/Applications/Ventrella.app"));
    EXPECT_EQ(appBundleURL("/Outer.app/Contents/Inner.app/Contents/MacOS/Inner"),
              Path("/Outer.app/Contents/Inner.app"));
    EXPECT_EQ(appBundleURL("/Applications/Ventrella.APP"), Path("/Applications/Ventrella.APP"));
    EXPECT_EQ(appBundleURL("/Applications/Ventrella.app/"), Path("/Applications/Ventrella.app"));
    EXPECT_EQ(appBundleURL("/Applications/Ventrella.app/Contents/../Contents/MacOS/./Ventrella"),
              Path("/Applications/Ventrella.app"));
}

TEST(EnclosingAppLocator, GivesNothingOutsideAnyBundle) {
    EXPECT_EQ(appBundleURL("/Library/PrivilegedHelperTools/com.quillmoor.Ventrella.helper"),
              std::nullopt);
    EXPECT_EQ(appBundleURL("/usr/local/apps/application"), std::nullopt);
    EXPECT_EQ(appBundleURL("/"), std::nullopt);
    EXPECT_EQ(appBundleURL("/.app"), std::nullopt);
}

TEST(EnclosingAppLocator, RelativeAndEmptyPathsTerminate) {
    EXPECT_EQ(appBundleURL(""), std::nullopt);
    EXPECT_EQ(appBundleURL("helper"), std::nullopt);
    EXPECT_EQ(appBundleURL("Ventrella.app/Contents/MacOS/Ventrella"),
              std::filesystem::current_path() / "Ventrella.app");
}

}  // namespace
}  // namespace ventrella::security
