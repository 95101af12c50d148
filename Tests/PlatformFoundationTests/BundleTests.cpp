#include "Platform/Foundation/Bundle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Platform/Foundation/ScopedMainBundle.h"
#include "Support/TemporaryBundle.h"

namespace {

using platform::foundation::Bundle;
using platform::foundation::ScopedMainBundle;
using ventrella::testsupport::TemporaryBundle;

TEST(Bundle, AnExecutableBelongsToItsAppOrItsFolder) {
    const std::vector<std::pair<std::filesystem::path, std::filesystem::path>> cases = {
        {"/Applications/Ventrella.app/Contents/MacOS/Ventrella", "/Applications/Ventrella.app"},
        {"/x/Other.bundle/Contents/MacOS/tool", "/x/Other.bundle"},
        {"/build/Tests/CoreTests/CoreTests", "/build/Tests/CoreTests"},
        {"/x/Ventrella.app/Contents/Resources/tool", "/x/Ventrella.app/Contents/Resources"},
        {"/x/MacOS/tool", "/x/MacOS"},
    };
    for (const auto& [executable, expected] : cases) {
        EXPECT_EQ(Bundle::bundlePathForExecutable(executable), expected) << executable;
    }
}

TEST(Bundle, MainFollowsTheRunningProgramUnlessAGuardPointsElsewhere) {
    const auto own = Bundle::main().bundlePath();
    EXPECT_EQ(own, std::filesystem::read_symlink("/proc/self/exe").parent_path());
    {
        TemporaryBundle outer;
        const ScopedMainBundle outerGuard(outer.path());
        EXPECT_EQ(Bundle::main().bundlePath(), outer.path());
        {
            TemporaryBundle inner;
            const ScopedMainBundle innerGuard(inner.path());
            EXPECT_EQ(Bundle::main().bundlePath(), inner.path());
        }
        EXPECT_EQ(Bundle::main().bundlePath(), outer.path());
    }
    EXPECT_EQ(Bundle::main().bundlePath(), own);
}

TEST(Bundle, FindsResourcesInsideItsResourcesFolderOnly) {
    TemporaryBundle app;
    app.write(app.resources() / "install-helper.sh", "#!/bin/sh\n");
    app.addTable("de", "");
    app.write(app.path() / "Contents" / "secret.sh", "");
    auto bundle = Bundle::atPath(app.path());
    ASSERT_TRUE(bundle.has_value());
    EXPECT_EQ(bundle->pathForResource("install-helper", "sh"),
              app.resources() / "install-helper.sh");
    EXPECT_EQ(bundle->pathForResource("de", "lproj"), app.resources() / "de.lproj");
    EXPECT_EQ(bundle->pathForResource("fr", "lproj"), std::nullopt);
    EXPECT_EQ(bundle->pathForResource("../secret", "sh"), std::nullopt);
    EXPECT_EQ(bundle->pathForResource("..", ""), std::nullopt);
    EXPECT_EQ(bundle->pathForResource("", "sh"), std::nullopt);
    EXPECT_EQ(Bundle::atPath(app.path() / "missing"), std::nullopt);
    EXPECT_EQ(Bundle::atPath(app.resources() / "install-helper.sh"), std::nullopt);

    // A language folder opened as a bundle holds its resources itself.
    auto language = Bundle::atPath(app.resources() / "de.lproj");
    ASSERT_TRUE(language.has_value());
    EXPECT_EQ(language->resourcesPath(), app.resources() / "de.lproj");
}

TEST(Bundle, ReadsItsInfoDictionaryTyped) {
    TemporaryBundle app;
    app.addInfoPlist(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>CFBundleShortVersionString</key><string>1.4</string>
  <key>VentrellaUseSMAppService</key><true/>
  <key>VentrellaUpdateFeedEnabled</key><string>true</string>
  <key>Count</key><integer>-3</integer>
  <key>Ratio</key><real>0.5</real>
  <key>Nested</key><dict><key>a</key><string>b</string></dict>
</dict></plist>)");
    const auto info = Bundle::atPath(app.path())->infoDictionary();
    EXPECT_EQ(info.string("CFBundleShortVersionString"), "1.4");
    EXPECT_EQ(info.boolean("VentrellaUseSMAppService"), true);
    // A string where a Boolean belongs reads as absent, and the other way round.
    EXPECT_EQ(info.boolean("VentrellaUpdateFeedEnabled"), std::nullopt);
    EXPECT_EQ(info.string("VentrellaUseSMAppService"), std::nullopt);
    EXPECT_EQ(info.integer("Count"), -3);
    EXPECT_EQ(info.real("Ratio"), 0.5);
    EXPECT_EQ(info.string("Nested"), std::nullopt);
    EXPECT_EQ(info.string("Missing"), std::nullopt);

    const std::vector<std::string> unusable = {
        "", "not a plist", "<plist version=\"1.0\"><array><string>a</string></array></plist>",
        "<plist version=\"1.0\"><dict><key>a</key>"};
    for (const auto& text : unusable) {
        app.addInfoPlist(text);
        EXPECT_TRUE(Bundle::atPath(app.path())->infoDictionary().empty()) << text;
    }
    std::filesystem::remove(app.path() / "Contents" / "Info.plist");
    EXPECT_TRUE(Bundle::atPath(app.path())->infoDictionary().empty());
}

TEST(Bundle, LooksTextsUpInTheFirstOfTheUsersLanguagesWithATable) {
    TemporaryBundle app;
    app.addTable("en", "\"Hello\" = \"Hello\";");
    app.addTable("de", "\"Hello\" = \"Hallo\";");
    app.addTable("pt-BR", "\"Hello\" = \"Olá\";");
    app.addTable("zh-Hans", "\"Hello\" = \"你好\";");
    app.addTable("fr", "\"Other\" = \"Autre\";", "Other");  // a folder without the table
    const auto bundle = *Bundle::atPath(app.path());
    struct Case {
        std::vector<std::string> languages;
        std::string expected;
        std::string tableLanguage;
    };
    const std::vector<Case> cases = {
        {{}, "Hello", "en"},
        {{"de"}, "Hallo", "de"},
        {{"de-AT"}, "Hallo", "de"},
        {{"pt-BR"}, "Olá", "pt-BR"},
        {{"pt-PT"}, "Hello", "en"},
        {{"zh-Hans"}, "你好", "zh-Hans"},
        {{"fr", "ja", "de-CH"}, "Hallo", "de"},
        {{"ja"}, "Hello", "en"},
    };
    for (const auto& [languages, expected, tableLanguage] : cases) {
        const std::string first = languages.empty() ? "" : languages.front();
        EXPECT_EQ(bundle.localizedString("Hello", "Localizable", languages), expected) << first;
        EXPECT_EQ(bundle.tableLanguage("Localizable", languages), tableLanguage) << first;
    }
    EXPECT_EQ(bundle.localizedString("Missing key", "Localizable", {"de"}), "Missing key");
    EXPECT_EQ(bundle.localizedString("Other", "Other", {"fr"}), "Autre");
    EXPECT_EQ(bundle.localizedString("Hello", "de.lproj/Localizable", {"pt-BR"}), "Hello");

    // A language folder opened as a bundle reads its own table whatever the user's languages.
    const auto german = *Bundle::atPath(app.resources() / "de.lproj");
    EXPECT_EQ(german.localizedString("Hello", "Localizable", {"pt-BR"}), "Hallo");
    EXPECT_EQ(german.tableLanguage("Localizable", {"pt-BR"}), std::nullopt);
    EXPECT_EQ(bundle.tableLanguage("Other", {"ja"}), std::nullopt);
}

}  // namespace
