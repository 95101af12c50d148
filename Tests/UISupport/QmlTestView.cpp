#include "UISupport/QmlTestView.h"

#include <QImage>
#include <QQmlComponent>
#include <QtMath>

#include "Ventrella/UI/QmlEnvironment.h"

namespace ventrella::uitest {

QQuickItem* itemBelow(QQuickItem* item, const QString& objectName) {
    if (item == nullptr) {
        return nullptr;
    }
    for (auto* child : item->childItems()) {
        if (child->objectName() == objectName) {
            return child;
        }
        if (auto* found = itemBelow(child, objectName)) {
            return found;
        }
    }
    return nullptr;
}

QmlTestView::QmlTestView() {
    QtTestApplication::ensure();
    engine_ = std::make_unique<QQmlEngine>();
    ui::QmlEnvironment::prepare(*engine_);
    window_ = std::make_unique<QQuickWindow>();
}

QmlTestView::~QmlTestView() {
    delete root_;
    component_.reset();
    window_.reset();
    engine_.reset();
    QtTestApplication::processPending();
}

QQuickItem* QmlTestView::load(const QByteArray& qml, const QVariantMap& properties, double width) {
    component_ = std::make_unique<QQmlComponent>(engine_.get());
    component_->setData(qml, QUrl(QStringLiteral("qrc:/test/View.qml")));
    return show(
        component_->isError() ? nullptr : component_->createWithInitialProperties(properties),
        width);
}

QQuickItem* QmlTestView::load(const QUrl& source, const QVariantMap& properties, double width) {
    component_ =
        std::make_unique<QQmlComponent>(engine_.get(), source, QQmlComponent::PreferSynchronous);
    return show(
        component_->isError() ? nullptr : component_->createWithInitialProperties(properties),
        width);
}

QQuickItem* QmlTestView::show(QObject* object, double width) {
    auto* item = qobject_cast<QQuickItem*>(object);
    if (item == nullptr) {
        for (const auto& error : component_->errors()) {
            qWarning("%s", qPrintable(error.toString()));
        }
        delete object;
        return nullptr;
    }
    delete root_;
    root_ = item;
    item->setParentItem(window_->contentItem());
    const double shownWidth = width > 0 ? width : item->implicitWidth();
    item->setWidth(shownWidth);
    item->setHeight(item->implicitHeight());
    window_->resize(qMax(1, qCeil(shownWidth)), qMax(1, qCeil(item->implicitHeight())));
    window_->show();
    QtTestApplication::processUntil([this] { return window_->isExposed(); }, 2.0);
    QtTestApplication::processPending();
    return item;
}

void QmlTestView::fitWindow() {
    if (root_ == nullptr) {
        return;
    }
    // Layouts work out their sizes when the window polishes its items, which drawing it does.
    (void)window_->grabWindow();
    root_->setHeight(root_->implicitHeight());
    const QSize size(qMax(1, qCeil(root_->width())), qMax(1, qCeil(root_->height())));
    window_->resize(size);
    QtTestApplication::processUntil([this, size] { return window_->size() == size; }, 2.0);
    QtTestApplication::processPending();
}

bool QmlTestView::grab(const std::filesystem::path& file) {
    const QImage image = window_->grabWindow();
    return !image.isNull() && image.save(QString::fromStdString(file.string()));
}

}  // namespace ventrella::uitest
