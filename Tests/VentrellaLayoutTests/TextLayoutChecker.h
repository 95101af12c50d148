#pragma once

#include <QQuickItem>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace ventrella::layouttests {

// Finds the texts of a view that a reader cannot read whole: every visible text item below a
// layer (the popover's content, or an alert) must show all of its text (not elided; a
// single-line text no wider than its box, a wrapping one with no word wider than its box), lie
// inside its nearest clipping ancestor and inside the popover's root, and overlap no other text
// of the layer.
class TextLayoutChecker {
  public:
    struct Exemptions {
        // Items (by objectName, the text's own or an ancestor's) that show the model's own
        // messages: they wrap or elide as the model's text needs, and only their place is checked.
        QStringList modelMessages;
        // Items whose texts may run past the leading (left) edge of their surroundings.
        QStringList pastLeadingEdge;
    };

    // A text as the checker saw it, in the root's coordinates.
    struct Placement {
        QString text;
        QString path;  // the objectNames from the layer down to the text
        QRectF box;    // the text item's own rectangle
        QRectF drawn;  // where its glyphs are drawn, from its alignment and content size
        double neededWidth = 0;
    };

    struct Fault {
        QString text;
        QString path;
        std::string problem;
    };

    TextLayoutChecker(QQuickItem& root, Exemptions exemptions);

    // The faults of the texts below `layer` (which may be the root itself, or an alert's item,
    // which lives outside the root but is placed over it).
    std::vector<Fault> check(QQuickItem& layer) const;

    // The visible texts below `layer`, in the order they are found.
    std::vector<Placement> texts(QQuickItem& layer) const;

  private:
    struct Exempt {
        bool modelMessage = false;
        bool pastLeadingEdge = false;
    };
    struct Found {
        Placement placement;
        QQuickItem* item = nullptr;
        Exempt exempt;
    };

    void collect(QQuickItem& item, const QString& path, double opacity, Exempt exempt,
                 std::vector<Found>& found) const;
    bool named(const QQuickItem& item, const QStringList& names) const;
    QQuickItem* clippingAncestor(QQuickItem& item) const;
    static std::string geometry(const QRectF& rect);

    QQuickItem& root_;
    Exemptions exemptions_;
};

}  // namespace ventrella::layouttests
