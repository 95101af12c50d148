#pragma once

#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QQmlEngine>
#include <QQmlProperty>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UISupport/QtTestApplication.h"
#include "Ventrella/App/Shell/GlobalPressMonitor.h"
#include "Ventrella/App/Shell/PopoverContent.h"
#include "Ventrella/UI/QmlEnvironment.h"

namespace ventrella::shelltests {

// Makes TestContent.qml at each opening, with a presenter object that notes when it goes.
class TestContentProvider : public shell::PopoverContentProvider {
  public:
    shell::PopoverContent makeContent() override {
        ++openings;
        auto owned = std::make_unique<QObject>();
        owned->setObjectName(QStringLiteral("presenter %1").arg(openings));
        QObject::connect(owned.get(), &QObject::destroyed, [this, name = owned->objectName()] {
            destroyed.push_back(name.toStdString());
        });
        presenters.push_back(owned.get());
        shell::PopoverContent content;
        content.source = QUrl(source);
        content.properties = {{QStringLiteral("opening"), openings}};
        content.owned = std::move(owned);
        return content;
    }

    QString source = QUrl::fromLocalFile(QStringLiteral(SHELL_TEST_CONTENT)).toString();
    int openings = 0;
    std::vector<QPointer<QObject>> presenters;
    std::vector<std::string> destroyed;
};

// A global press monitor the test presses through (press()); one the display does not offer
// while `available` is false.
struct FakeGlobalPressMonitor : shell::GlobalPressMonitor {
    bool available = true;
    std::function<void()> onPress;  // set while it runs

    bool start(std::function<void()> handler) override {
        onPress = available ? std::move(handler) : nullptr;
        return available;
    }
    void stop() override { onPress = nullptr; }
    void press() const {
        if (onPress) {
            onPress();
        }
    }
};

// A window of the application beside the popover, counting the presses it is given.
class OtherWindow : public QWindow {
  public:
    int presses = 0;

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        ++presses;
        event->accept();
    }
};

class ShellTest : public testing::Test {
  protected:
    void SetUp() override {
        uitest::QtTestApplication::ensure();
        capture_ = std::make_unique<uitest::QtMessageCapture>();
        engine = std::make_unique<QQmlEngine>();
        ui::QmlEnvironment::prepare(*engine);
    }

    void TearDown() override {
        uitest::QtTestApplication::processPending();
        EXPECT_TRUE(capture_->warnings().isEmpty())
            << capture_->warnings().join('\n').toStdString();
    }

    // Presses a button at a screen point, with the pointer there, in a window of ours that
    // covers the screen.
    void pressAt(QPoint screenPoint, Qt::MouseButton button = Qt::LeftButton) {
        QCursor::setPos(screenPoint);
        if (!other) {
            other = std::make_unique<OtherWindow>();
            other->setGeometry(QGuiApplication::primaryScreen()->geometry());
            other->show();
        }
        QTest::mousePress(other.get(), button, {}, other->mapFromGlobal(screenPoint));
        QTest::mouseRelease(other.get(), button, {}, other->mapFromGlobal(screenPoint));
    }

    TestContentProvider content;
    std::unique_ptr<QQmlEngine> engine;
    std::unique_ptr<OtherWindow> other;

  private:
    std::unique_ptr<uitest::QtMessageCapture> capture_;
};

}  // namespace ventrella::shelltests
