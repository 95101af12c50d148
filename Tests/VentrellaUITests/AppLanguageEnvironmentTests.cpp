#include "Ventrella/UI/AppLanguageEnvironment.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <optional>
#include <string>

#include "Support/ScopedEnvironment.h"
#include "Support/ScopedLocalization.h"
#include "Support/TemporaryBundle.h"
#include "UISupport/QtTestApplication.h"

namespace ventrella::ui {
namespace {

using core::AppLanguage;
using testsupport::ScopedEnvironment;
using testsupport::ScopedLocalization;
using testsupport::TemporaryBundle;

class AppLanguageEnvironmentTest : public testing::Test {
  protected:
    AppLanguageEnvironmentTest() {
        app.addTable("en", R"("Hello" = "Hello";)");
        app.addTable("de", R"("Hello" = "Hallo";)");
        app.addTable("ar", R"("Hello" = "مرحبا";)");
    }
    void SetUp() override { uitest::QtTestApplication::ensure(); }

    TemporaryBundle app;
};

TEST_F(AppLanguageEnvironmentTest, DirectionFollowsTheTableTheTextsComeFromAndLocaleTheChoice) {
    const struct {
        AppLanguage language;
        std::optional<std::string> userLanguages;
        std::optional<std::string> locale;
        bool rightToLeft;
    } cases[] = {
        {AppLanguage::arabic, "de", "ar", true},
        {AppLanguage::german, "ar", "de", false},
        // "system" leaves the locale alone, yet its Arabic texts still run right to left.
        {AppLanguage::system, "ar", std::nullopt, true},
        {AppLanguage::system, "de:ar", std::nullopt, false},
        // A language without a table shows the system's texts, in their direction.
        {AppLanguage::hindi, "ar", "hi", true},
        {AppLanguage::hindi, "en", "hi", false},
        {AppLanguage::simplifiedChinese, std::nullopt, "zh-Hans", false},
    };
    for (const auto& c : cases) {
        const auto environment = ScopedEnvironment::userLocale(c.userLanguages, std::nullopt);
        const ScopedLocalization localization(app.path(), c.language);
        const auto chosen = AppLanguageEnvironment::environmentFor(c.language);
        EXPECT_EQ(chosen.localeIdentifier, c.locale) << core::rawValue(c.language);
        EXPECT_EQ(chosen.rightToLeft, c.rightToLeft) << core::rawValue(c.language);
    }
}

TEST_F(AppLanguageEnvironmentTest, TheViewTypeFollowsItsLanguageProperty) {
    const auto english = ScopedEnvironment::userLocale("en", std::nullopt);
    const ScopedLocalization localization(app.path(), AppLanguage::arabic);
    AppLanguageEnvironment environment;
    QSignalSpy changed(&environment, &AppLanguageEnvironment::languageChanged);
    environment.setLanguage(QStringLiteral("ar"));
    EXPECT_TRUE(environment.rightToLeft());
    EXPECT_TRUE(environment.overridesLocale());
    EXPECT_EQ(environment.localeName(), QStringLiteral("ar"));

    core::L10n::setLanguage(AppLanguage::portugueseBrazil);
    environment.setLanguage(QStringLiteral("pt-BR"));
    EXPECT_FALSE(environment.rightToLeft());
    EXPECT_EQ(environment.localeName(), QStringLiteral("pt_BR"));

    // An unknown raw value counts as "system".
    core::L10n::setLanguage(AppLanguage::system);
    environment.setLanguage(QStringLiteral("klingon"));
    EXPECT_FALSE(environment.overridesLocale());
    EXPECT_EQ(environment.localeName(), QString());
    EXPECT_EQ(changed.count(), 3);
}

TEST(AppLanguageDirection, OnlyRightToLeftScriptsMirror) {
    for (const char* tag : {"ar", "ar-EG", "he", "fa"}) {
        EXPECT_TRUE(AppLanguageEnvironment::isRightToLeft(tag)) << tag;
    }
    for (const char* tag : {"en", "de", "zh-Hans", "hi", "", "xx"}) {
        EXPECT_FALSE(AppLanguageEnvironment::isRightToLeft(tag)) << tag;
    }
}

}  // namespace
}  // namespace ventrella::ui
