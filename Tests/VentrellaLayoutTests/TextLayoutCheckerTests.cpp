#include <gtest/gtest.h>

#include <string>

#include "UISupport/QmlTestView.h"
#include "VentrellaLayoutTests/TextLayoutChecker.h"

namespace ventrella::layouttests {
namespace {

// The checker on small views 360 points wide: each case is one fault or none.
TEST(TextLayoutCheckerTest, FindsEachKindOfFaultAndHonoursItsExemptions) {
    const struct {
        const char* name;
        const char* body;
        const char* problem;  // a part of the one fault's text, or "" for none
    } cases[] = {
        {"texts apart", R"(Text { text: "Boost" }
            Text { y: 20; width: 200; text: "A long sentence that wraps"; wrapMode: Text.Wrap })",
         ""},
        {"elided", R"(Text { width: 30; elide: Text.ElideRight; text: "Emergency cooling" })",
         "is cut short"},
        {"wider than its box", R"(Text { width: 30; text: "Emergency cooling" })",
         "is wider than its box"},
        {"a word wider than its box",
         R"(Text { width: 30; wrapMode: Text.WordWrap; text: "Notfallkühlung" })",
         "has a word wider than its box"},
        {"a word broken across lines",
         R"(Text { width: 60; wrapMode: Text.Wrap; text: "Aktualisierungen" })",
         "has a word wider than its box"},
        {"characters that break anywhere", R"(Text { width: 80; wrapMode: Text.Wrap
                text: "ファン制御にはインストールが必要" })",
         ""},
        {"overlapping", R"(Text { text: "Boost" }
            Text { x: 10; text: "Emergency" })",
         "overlaps"},
        {"past the popover's trailing edge", R"(Text { x: 330; text: "Emergency" })",
         "runs out of the 360-point popover"},
        {"cut off by a clipping parent", R"(Item { objectName: "frame"; width: 50; height: 20
                clip: true; Text { x: 20; text: "Emergency" } })",
         "is cut off by frame"},
        {"a hidden text", R"(Text { visible: false; x: 330; text: "Emergency" })", ""},
        {"a transparent text", R"(Item { opacity: 0; Text { x: 330; text: "Emergency" } })", ""},
        {"the model's message elides",
         R"(Item { objectName: "statusMessage"; width: 100; height: 20
                Text { width: 30; elide: Text.ElideRight; text: "Settings saved." } })",
         ""},
        {"a gauge label past the leading edge",
         R"(Item { objectName: "boostLabel"; Text { x: -20; text: "Boost" } })", ""},
        {"another text past the leading edge", R"(Item { Text { x: -20; text: "Boost" } })",
         "runs out of the 360-point popover"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        uitest::QmlTestView view;
        const QByteArray qml =
            QByteArray("import QtQuick\nItem { implicitWidth: 360; implicitHeight: 100\n") +
            c.body + "\n}";
        QQuickItem* root = view.load(qml, {}, 360);
        ASSERT_NE(root, nullptr) << view.warnings().join('\n').toStdString();
        const TextLayoutChecker checker(*root, {.modelMessages = {QStringLiteral("statusMessage")},
                                                .pastLeadingEdge = {QStringLiteral("boostLabel")}});
        const auto faults = checker.check(*root);
        if (std::string(c.problem).empty()) {
            EXPECT_TRUE(faults.empty()) << faults.front().problem;
        } else {
            ASSERT_EQ(faults.size(), 1u);
            EXPECT_NE(faults.front().problem.find(c.problem), std::string::npos)
                << faults.front().problem;
        }
        EXPECT_TRUE(view.warnings().isEmpty()) << view.warnings().join('\n').toStdString();
    }
}

}  // namespace
}  // namespace ventrella::layouttests
