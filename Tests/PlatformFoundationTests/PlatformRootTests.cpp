#include "Platform/Foundation/PlatformRoot.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class ScopedRoot {
  public:
    explicit ScopedRoot(const char* value) {
        if (const char* old = std::getenv("VIRTUAL_MAC_ROOT")) {
            saved_ = old;
            hadValue_ = true;
        }
        if (value == nullptr) {
            ::unsetenv("VIRTUAL_MAC_ROOT");
        } else {
            ::setenv("VIRTUAL_MAC_ROOT", value, 1);
        }
    }
    ~ScopedRoot() {
        if (hadValue_) {
            ::setenv("VIRTUAL_MAC_ROOT", saved_.c_str(), 1);
        } else {
            ::unsetenv("VIRTUAL_MAC_ROOT");
        }
    }

  private:
    std::string saved_;
    bool hadValue_ = false;
};

TEST(PlatformRoot, ResolvesMacPathsUnderTheConfiguredRoot) {
    ScopedRoot root("/tmp/mac");
    EXPECT_EQ(platform::foundation::resolveMacPath("/Library/Application Support/Ventrella"),
              "/tmp/mac/Library/Application Support/Ventrella");
    EXPECT_EQ(platform::foundation::resolveMacPath("var/run"), "/tmp/mac/var/run");
}

TEST(PlatformRoot, UnsetOrEmptyRootIsTheRealRoot) {
    {
        ScopedRoot root(nullptr);
        EXPECT_EQ(platform::foundation::platformRoot(), "/");
        EXPECT_EQ(platform::foundation::resolveMacPath("/Library"), "/Library");
    }
    {
        ScopedRoot root("");
        EXPECT_EQ(platform::foundation::platformRoot(), "/");
    }
}

}  // namespace
