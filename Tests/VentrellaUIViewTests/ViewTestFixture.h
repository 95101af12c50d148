#pragma once

#include <gtest/gtest.h>

#include <QQmlProperty>
#include <QStringList>

#include "Support/ScopedLocalization.h"
#include "Support/TemporaryBundle.h"
#include "UISupport/QmlTestView.h"

namespace ventrella::uiviewtests {

// A view under test in an offscreen window, with an application bundle that has English and
// Arabic tables; any warning fails the test.
class ViewTest : public testing::Test {
  protected:
    ViewTest() {
        bundle.addTable("en", R"("Quit" = "Quit";)");
        bundle.addTable("ar", R"("Quit" = "إنهاء";
"Boost" = "تعزيز";)");
    }

    void TearDown() override {
        EXPECT_TRUE(view.warnings().isEmpty()) << view.warnings().join('\n').toStdString();
    }

    static double number(QObject* object, const char* property) {
        return QQmlProperty::read(object, QString::fromLatin1(property)).toDouble();
    }

    // The item's left edge in the window.
    static double sceneX(QQuickItem* item) { return item->mapToScene(QPointF(0, 0)).x(); }

    testsupport::TemporaryBundle bundle;
    testsupport::ScopedLocalization localization{bundle.path(), core::AppLanguage::english};
    uitest::QmlTestView view;
};

}  // namespace ventrella::uiviewtests
