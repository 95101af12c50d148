#include "VentrellaLayoutTests/TextLayoutChecker.h"

#include <QFont>
#include <QFontMetricsF>
#include <QQmlProperty>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace ventrella::layouttests {

namespace {

// Half a point either way is rounding, not a fault.
constexpr double tolerance = 0.5;

bool inside(const QRectF& inner, const QRectF& outer, bool leadingEdgeFree) {
    return (leadingEdgeFree || inner.left() >= outer.left() - tolerance) &&
           inner.right() <= outer.right() + tolerance && inner.top() >= outer.top() - tolerance &&
           inner.bottom() <= outer.bottom() + tolerance;
}

double number(const QQuickItem& item, const char* property) {
    return item.property(property).toDouble();
}

// The widest piece of `text` that may not be broken across lines (a word; in scripts that break
// between characters, a character), in the item's font.
double widestUnbreakable(const QQuickItem& item, const QString& text) {
    const QFontMetricsF metrics(item.property("font").value<QFont>());
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    double widest = 0;
    qsizetype start = 0;
    for (qsizetype at = breaks.toNextBoundary(); at != -1; at = breaks.toNextBoundary()) {
        const QString piece = text.mid(start, at - start).trimmed();
        widest = std::max(widest, metrics.horizontalAdvance(piece));
        start = at;
    }
    return widest;
}

}  // namespace

TextLayoutChecker::TextLayoutChecker(QQuickItem& root, Exemptions exemptions)
    : root_(root), exemptions_(std::move(exemptions)) {}

bool TextLayoutChecker::named(const QQuickItem& item, const QStringList& names) const {
    return !item.objectName().isEmpty() && names.contains(item.objectName());
}

void TextLayoutChecker::collect(QQuickItem& item, const QString& path, double opacity,
                                Exempt exempt, std::vector<Found>& found) const {
    const double shown = opacity * item.opacity();
    if (!item.isVisible() || shown < 0.01) {
        return;
    }
    // What an exempt item holds is exempt too.
    exempt.modelMessage = exempt.modelMessage || named(item, exemptions_.modelMessages);
    exempt.pastLeadingEdge = exempt.pastLeadingEdge || named(item, exemptions_.pastLeadingEdge);
    const QString here =
        item.objectName().isEmpty() ? path : (path.isEmpty() ? "" : path + "/") + item.objectName();
    if (item.inherits("QQuickText")) {
        const QString text = item.property("text").toString();
        if (!text.trimmed().isEmpty()) {
            Found entry;
            entry.item = &item;
            entry.exempt = exempt;
            entry.placement.text = text;
            entry.placement.path = here;
            const double width = item.width();
            const double height = item.height();
            const double contentWidth = number(item, "contentWidth");
            const double contentHeight = number(item, "contentHeight");
            const int horizontal = item.property("effectiveHorizontalAlignment").toInt();
            const int vertical = item.property("verticalAlignment").toInt();
            const double left = (horizontal & Qt::AlignRight) != 0     ? width - contentWidth
                                : (horizontal & Qt::AlignHCenter) != 0 ? (width - contentWidth) / 2
                                                                       : 0;
            const double top = (vertical & Qt::AlignBottom) != 0    ? height - contentHeight
                               : (vertical & Qt::AlignVCenter) != 0 ? (height - contentHeight) / 2
                                                                    : 0;
            entry.placement.box = QRectF(item.mapToItem(&root_, QPointF(0, 0)), item.size());
            entry.placement.drawn = QRectF(item.mapToItem(&root_, QPointF(left, top)),
                                           QSizeF(contentWidth, contentHeight));
            entry.placement.neededWidth = number(item, "implicitWidth");
            found.push_back(std::move(entry));
        }
    }
    for (QQuickItem* child : item.childItems()) {
        collect(*child, here, shown, exempt, found);
    }
}

QQuickItem* TextLayoutChecker::clippingAncestor(QQuickItem& item) const {
    for (QQuickItem* above = item.parentItem(); above != nullptr; above = above->parentItem()) {
        if (above == &root_ || above->clip()) {
            return above;
        }
    }
    return &root_;
}

std::string TextLayoutChecker::geometry(const QRectF& rect) {
    char text[96];
    std::snprintf(text, sizeof text, "%.1f×%.1f at (%.1f, %.1f)", rect.width(), rect.height(),
                  rect.x(), rect.y());
    return text;
}

std::vector<TextLayoutChecker::Placement> TextLayoutChecker::texts(QQuickItem& layer) const {
    std::vector<Found> found;
    collect(layer, QString(), 1.0, {}, found);
    std::vector<Placement> placements;
    for (auto& entry : found) {
        placements.push_back(std::move(entry.placement));
    }
    return placements;
}

std::vector<TextLayoutChecker::Fault> TextLayoutChecker::check(QQuickItem& layer) const {
    std::vector<Found> found;
    collect(layer, QString(), 1.0, {}, found);
    std::vector<Fault> faults;
    const auto fault = [&faults](const Found& entry, std::string problem) {
        faults.push_back({entry.placement.text, entry.placement.path, std::move(problem)});
    };
    const QRectF popover(0, 0, root_.width(), root_.height());
    for (const auto& entry : found) {
        const auto& placed = entry.placement;
        QQuickItem& item = *entry.item;
        const bool wraps = item.property("wrapMode").toInt() != 0;
        if (!entry.exempt.modelMessage) {
            if (item.property("truncated").toBool()) {
                fault(entry, "is cut short: its box is " + geometry(placed.box) + " but it needs " +
                                 std::to_string(static_cast<int>(std::ceil(placed.neededWidth))) +
                                 " points");
            } else if (!wraps && placed.neededWidth > item.width() + tolerance) {
                fault(entry, "is wider than its box: " +
                                 std::to_string(static_cast<int>(std::ceil(placed.neededWidth))) +
                                 " points in a box " + geometry(placed.box));
            } else if (wraps) {
                // Wrapping shows a word whole only when the box holds it.
                const double word =
                    std::max(number(item, "contentWidth"), widestUnbreakable(item, placed.text));
                if (word > item.width() + tolerance) {
                    fault(entry, "has a word wider than its box, broken or cut: " +
                                     std::to_string(static_cast<int>(std::ceil(word))) +
                                     " points in a box " + geometry(placed.box));
                }
            }
        }
        QQuickItem* clip = clippingAncestor(item);
        const QRectF clipRect(clip->mapToItem(&root_, QPointF(0, 0)), clip->size());
        if (clip != &root_ && !inside(placed.drawn, clipRect, entry.exempt.pastLeadingEdge)) {
            fault(entry,
                  "is cut off by " +
                      (clip->objectName().isEmpty() ? std::string(clip->metaObject()->className())
                                                    : clip->objectName().toStdString()) +
                      " " + geometry(clipRect) + ": drawn " + geometry(placed.drawn));
        }
        if (!inside(placed.drawn, popover, entry.exempt.pastLeadingEdge)) {
            fault(entry, "runs out of the " + std::to_string(static_cast<int>(popover.width())) +
                             "-point popover " + geometry(popover) + ": drawn " +
                             geometry(placed.drawn));
        }
    }
    for (std::size_t first = 0; first < found.size(); ++first) {
        const QRectF a =
            found[first].placement.drawn.adjusted(tolerance, tolerance, -tolerance, -tolerance);
        for (std::size_t second = first + 1; second < found.size(); ++second) {
            const QRectF b = found[second].placement.drawn.adjusted(tolerance, tolerance,
                                                                    -tolerance, -tolerance);
            if (a.intersects(b)) {
                fault(found[first], "overlaps \"" + found[second].placement.text.toStdString() +
                                        "\" [" + found[second].placement.path.toStdString() +
                                        "]: " + geometry(found[first].placement.drawn) + " and " +
                                        geometry(found[second].placement.drawn));
            }
        }
    }
    return faults;
}

}  // namespace ventrella::layouttests
