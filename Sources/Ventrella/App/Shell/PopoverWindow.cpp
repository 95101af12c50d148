#include "Ventrella/App/Shell/PopoverWindow.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QScreen>
#include <QtMath>

#include "Ventrella/App/Shell/PopoverLayout.h"
#include "Ventrella/App/Shell/ShellLog.h"
#include "Ventrella/UI/Theme.h"

namespace ventrella::shell {

namespace {

void logErrors(const char* what, const QList<QQmlError>& errors) {
    for (const QQmlError& error : errors) {
        shellLog().error(applog::AppLogMessage() << "popover." << what << " error="
                                                 << applog::pub(error.toString().toStdString()));
    }
}

QScreen* screenFor(const QRectF& anchor) {
    const QPoint middle(qRound(anchor.left() + anchor.width() / 2.0),
                        qRound(anchor.top() + anchor.height() / 2.0));
    if (QScreen* screen = QGuiApplication::screenAt(middle)) {
        return screen;
    }
    return QGuiApplication::primaryScreen();
}

}  // namespace

PopoverWindow::PopoverWindow(QQmlEngine& engine, PopoverContentProvider& provider, QObject* parent)
    : QObject(parent), engine_(engine), provider_(provider) {
    window_.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window_.setTitle(QStringLiteral("Ventrella"));
    window_.setColor(ui::Theme().background());
    QQmlComponent edge(&engine_, QUrl(QStringLiteral("qrc:/qt/qml/Ventrella/UI/PopoverFrame.qml")));
    if (auto* item = qobject_cast<QQuickItem*>(edge.create())) {
        item->setParent(&window_);
        item->setParentItem(window_.contentItem());
        frame_ = item;
    } else {
        logErrors("frame", edge.errors());
    }
}

PopoverWindow::~PopoverWindow() {
    // The tree goes before what it binds to, and both before the window.
    if (content_) {
        if (owned_) {
            owned_.release()->setParent(content_);
        }
        delete content_.data();
    }
}

bool PopoverWindow::open(const QRectF& anchor) {
    QQuickItem* fresh = build();
    if (fresh == nullptr) {
        return false;
    }
    anchor_ = anchor;
    fitToContent();
    // Shown on top (it stays there) and active: losing activation is how clicks elsewhere
    // reach the global monitor, and Escape needs the keyboard focus.
    window_.show();
    window_.requestActivate();
    emit opened();
    return true;
}

void PopoverWindow::close() {
    if (!window_.isVisible()) {
        return;
    }
    window_.hide();
    emit closed();
}

bool PopoverWindow::isShown() const {
    return window_.isVisible();
}

std::vector<QRectF> PopoverWindow::interactiveFrames() const {
    std::vector<QRectF> frames;
    if (!isShown()) {
        return frames;
    }
    frames.emplace_back(window_.frameGeometry());
    for (QWindow* child : QGuiApplication::allWindows()) {
        if (child != &window_ && child->isVisible() && child->transientParent() == &window_) {
            frames.emplace_back(child->frameGeometry());
        }
    }
    return frames;
}

QQuickItem* PopoverWindow::build() {
    PopoverContent content = provider_.makeContent();
    if (!component_ || component_->url() != content.source) {
        component_ = std::make_unique<QQmlComponent>(&engine_, content.source,
                                                     QQmlComponent::PreferSynchronous);
    }
    if (component_->isError()) {
        logErrors("load", component_->errors());
        return nullptr;
    }
    QObject* object = component_->createWithInitialProperties(content.properties);
    auto* item = qobject_cast<QQuickItem*>(object);
    if (item == nullptr) {
        logErrors("create", component_->errors());
        delete object;
        return nullptr;
    }
    retire();
    QQmlEngine::setObjectOwnership(item, QQmlEngine::CppOwnership);
    item->setParent(&window_);
    item->setParentItem(window_.contentItem());
    content_ = item;
    owned_ = std::move(content.owned);
    connect(item, &QQuickItem::implicitWidthChanged, this, [this, item] {
        if (item == content_) {
            fitToContent();
        }
    });
    connect(item, &QQuickItem::implicitHeightChanged, this, [this, item] {
        if (item == content_) {
            fitToContent();
        }
    });
    return item;
}

void PopoverWindow::retire() {
    if (!content_) {
        owned_.reset();
        return;
    }
    QQuickItem* old = content_;
    content_ = nullptr;
    old->setVisible(false);
    old->setParentItem(nullptr);
    // What the old tree binds to goes with it, after it.
    if (owned_) {
        owned_.release()->setParent(old);
    }
    old->deleteLater();
}

void PopoverWindow::fitToContent() {
    if (!content_) {
        return;
    }
    const QSizeF size =
        PopoverLayout::contentSize(QSizeF(content_->implicitWidth(), content_->implicitHeight()));
    const QSize pixels(qCeil(size.width()), qCeil(size.height()));
    content_->setSize(QSizeF(pixels));
    if (frame_) {
        frame_->setSize(QSizeF(pixels));
    }
    const QRectF frame =
        PopoverLayout::frame(anchor_, QSizeF(pixels), screenFor(anchor_)->availableGeometry());
    window_.setGeometry(QRect(QPoint(qRound(frame.x()), qRound(frame.y())), pixels));
}

}  // namespace ventrella::shell
