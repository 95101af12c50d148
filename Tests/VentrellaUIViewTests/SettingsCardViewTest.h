#pragma once

#include <gtest/gtest.h>

#include <QQuickItem>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "Support/FileContents.h"
#include "Support/ScopedLocalization.h"
#include "Support/TemporaryBundle.h"
#include "UISupport/QmlTestView.h"
#include "Ventrella/Core/SensorSnapshot.h"
#include "Ventrella/UI/SettingsDraft.h"
#include "Ventrella/UI/TemperaturePreviewSource.h"

namespace ventrella::uiviewtests {

// The settings page's cards in an offscreen window 360 points wide, padded 14 points as the page
// pads them, in English, German or Arabic; any warning fails the test. The shipped English and
// German tables are used; Arabic, which has no table yet, shows the English texts laid out right
// to left.
class SettingsCardViewTest : public testing::Test {
  protected:
    enum class Card { thermalDecision, boost, emergency };

    SettingsCardViewTest() {
        const auto shipped =
            std::filesystem::path(VENTRELLA_APP_BUNDLE_DIR) / "Contents" / "Resources";
        const std::string english = testsupport::readFile(shipped / "en.lproj" / "Localizable.strings");
        bundle.addTable("en", english);
        bundle.addTable("de", testsupport::readFile(shipped / "de.lproj" / "Localizable.strings"));
        bundle.addTable("ar", english);
    }

    void TearDown() override {
        EXPECT_TRUE(view.warnings().isEmpty()) << view.warnings().join('\n').toStdString();
    }

    // The card in a page column of the language ("en", "de", "ar"); null when it cannot load.
    QQuickItem* load(Card card, const std::string& language, bool expanded = true) {
        core::L10n::setLanguage(language == "de"   ? core::AppLanguage::german
                                : language == "ar" ? core::AppLanguage::arabic
                                                   : core::AppLanguage::english);
        const QVariantMap properties = {
            {"chosenLanguage", QString::fromStdString(language)},
            {"draft", QVariant::fromValue(static_cast<QObject*>(&draft))},
            {"previewSource", QVariant::fromValue(static_cast<QObject*>(&previewSource))},
            {"expanded", expanded},
        };
        return view.load(scene(card), properties, 360);
    }

    // The card's item.
    QQuickItem* card() const { return view.find("card"); }

    // The item called `name` inside the item called `within`, searched along the items drawn
    // (a repeater's items belong to the repeater, yet are drawn in its parent).
    QQuickItem* find(const char* within, const char* name) const {
        return uitest::itemBelow(view.find(within), QString::fromLatin1(name));
    }

    static double sceneX(const QQuickItem* item) { return item->mapToScene(QPointF(0, 0)).x(); }

    // A click in the middle of `item`.
    void click(const QQuickItem* item) {
        ASSERT_NE(item, nullptr);
        QTest::mouseClick(&view.window(), Qt::LeftButton, {}, sceneCentre(item).toPoint());
    }

    static QPointF sceneCentre(const QQuickItem* item) {
        return item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    }

    // Every visible text below the card that leaves its content area (the card less its
    // padding) or does not fit its own width.
    QStringList overflowingTexts(double padding) const;

    std::optional<core::SensorSnapshot> snapshot;
    testsupport::TemporaryBundle bundle;
    testsupport::ScopedLocalization localization{bundle.path(), core::AppLanguage::english};
    ui::SettingsDraft draft;
    ui::TemperaturePreviewSource previewSource{
        [this](
            core::TemperatureSource source,
            core::TemperatureAggregation aggregation) -> std::optional<core::TemperatureReading> {
            return snapshot ? snapshot->reading(source, aggregation) : std::nullopt;
        }};
    uitest::QmlTestView view;

    // The item and every item drawn below it.
    static QList<QQuickItem*> drawnBelow(QQuickItem* item) {
        QList<QQuickItem*> items;
        for (auto* child : item->childItems()) {
            items << child << drawnBelow(child);
        }
        return items;
    }

  private:
    static QByteArray scene(Card card);
};

}  // namespace ventrella::uiviewtests
