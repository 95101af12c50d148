#include <QObject>
#include <QQmlEngine>
#include <QQuickItem>

#include "Ventrella/UI/QmlEnvironment.h"
#include "ViewTestFixture.h"

namespace ventrella::uiviewtests {
namespace {

// A bridge as a program makes one: its views reach it as a singleton.
class GreetingBridge : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString greeting MEMBER greeting CONSTANT)

  public:
    explicit GreetingBridge(QString text) : greeting(std::move(text)) {}
    QString greeting;
};

TEST_F(ViewTest, EachEngineReachesTheSingletonItWasGiven) {
    static const int registered = qmlRegisterSingletonType<GreetingBridge>(
        "Ventrella.TestBridge", 1, 0, "Bridge", [](QQmlEngine* engine, QJSEngine*) -> QObject* {
            return ui::QmlEnvironment::provided<GreetingBridge>(engine);
        });
    ASSERT_GE(registered, 0);
    const QByteArray greetingView = R"(import QtQuick
import Ventrella.TestBridge
Text { text: Bridge.greeting })";

    GreetingBridge first(QStringLiteral("hello"));
    ui::QmlEnvironment::provide(view.engine(), first);
    auto* text = view.load(greetingView);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->property("text").toString(), QStringLiteral("hello"));

    uitest::QmlTestView other;
    GreetingBridge second(QStringLiteral("hallo"));
    ui::QmlEnvironment::provide(other.engine(), second);
    auto* otherText = other.load(greetingView);
    ASSERT_NE(otherText, nullptr);
    EXPECT_EQ(otherText->property("text").toString(), QStringLiteral("hallo"));
    EXPECT_TRUE(other.warnings().isEmpty());

    // The engine does not take the bridge: it is still there after the view goes.
    EXPECT_EQ(ui::QmlEnvironment::provided<GreetingBridge>(&view.engine()), &first);
    EXPECT_EQ(ui::QmlEnvironment::provided<GreetingBridge>(nullptr), nullptr);
}

}  // namespace
}  // namespace ventrella::uiviewtests

#include "ProvidedSingletonTests.moc"
