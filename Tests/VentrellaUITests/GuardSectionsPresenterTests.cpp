#include "Ventrella/UI/GuardSectionsPresenter.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "Support/ScopedLocalization.h"
#include "UISupport/QtTestApplication.h"

namespace ventrella::ui {
namespace {

using core::AppLanguage;
using core::GuardSettings;

class GuardSectionsPresenterTest : public testing::Test {
  protected:
    void SetUp() override { uitest::QtTestApplication::ensure(); }

    testsupport::ScopedLocalization english{VENTRELLA_APP_BUNDLE_DIR, AppLanguage::english};
};

TEST_F(GuardSectionsPresenterTest, ConfirmationTakesTheSamplesTimesTheRoundedInterval) {
    const struct {
        double interval;
        std::int64_t samples;
        const char* text;
    } cases[] = {
        {3, 3, "9 sec"},  {3, 10, "30 sec"},  {3, 20, "1 min"},     {3, 25, "1 min 15 sec"},
        {5, 60, "5 min"}, {2.5, 20, "1 min"}, {1.49, 59, "59 sec"}, {5, 120, "10 min"},
    };
    for (const auto& c : cases) {
        GuardSettings settings;
        settings.pollIntervalSeconds = c.interval;
        EXPECT_EQ(GuardSectionsPresenter::confirmationDuration(settings, c.samples), c.text)
            << c.interval << " × " << c.samples;
    }
}

TEST_F(GuardSectionsPresenterTest, DetailsFollowTheDraftsUnsavedIntervalAndTheLanguage) {
    SettingsDraft draft;
    GuardSectionsPresenter presenter;
    presenter.setDraft(&draft);
    QSignalSpy texts(&presenter, &GuardSectionsPresenter::textsChanged);

    EXPECT_EQ(presenter.boostStartDetail(), QStringLiteral("Above threshold · ≈ 9 sec"));
    EXPECT_EQ(presenter.boostCooldownDetail(), QStringLiteral("Below threshold · ≈ 30 sec"));
    EXPECT_EQ(presenter.emergencyCooldownDetail(), QStringLiteral("Below threshold · ≈ 1 min"));
    // The sign before the number, in every language.
    EXPECT_EQ(presenter.boostPercentText(), QStringLiteral("%55"));

    draft.setPollIntervalBinding(5);
    EXPECT_EQ(texts.count(), 1);
    EXPECT_EQ(presenter.boostStartDetail(), QStringLiteral("Above threshold · ≈ 15 sec"));
    EXPECT_EQ(presenter.emergencyCooldownDetail(),
              QStringLiteral("Below threshold · ≈ 1 min 40 sec"));
    draft.setBoostPercentBinding(72);
    EXPECT_EQ(presenter.boostPercentText(), QStringLiteral("%72"));

    core::L10n::setLanguage(AppLanguage::german);
    presenter.setLanguage(QStringLiteral("de"));
    EXPECT_EQ(texts.count(), 3);
    EXPECT_EQ(presenter.boostCooldownDetail(), QStringLiteral("Unter der Schwelle · ≈ 50 Sek."));
    EXPECT_EQ(presenter.boostPercentText(), QStringLiteral("%72"));

    const QList<double> presets = {0, 15, 30, 45, 60, 90, 120, 180, 300, 600, 900, 1800};
    EXPECT_EQ(presenter.durationPresets(), presets);
}

}  // namespace
}  // namespace ventrella::ui
