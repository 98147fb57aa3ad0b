#include "popupplacement.h"

#include <algorithm>
#include <limits>

namespace {

// Squared distance from the point to the nearest point of the rectangle.
qint64 distanceSquared(const QPoint& point, const QRect& rect)
{
    const qint64 dx = std::max({rect.left() - point.x(), 0, point.x() - rect.right()});
    const qint64 dy = std::max({rect.top() - point.y(), 0, point.y() - rect.bottom()});
    return dx * dx + dy * dy;
}

// Moves start so that [start, start + length) lies within [low, high]; a length larger
// than the range starts at low.
int clampInto(int start, int length, int low, int high)
{
    return std::max(low, std::min(start, high - length + 1));
}

} // namespace

int screenIndexFor(const QRect& anchor, const QList<QRect>& screens)
{
    const QPoint centre = anchor.center();
    for (int i = 0; i < screens.size(); ++i) {
        if (screens[i].contains(centre))
            return i;
    }
    int best = -1;
    qint64 bestArea = 0;
    for (int i = 0; i < screens.size(); ++i) {
        const QRect overlap = screens[i].intersected(anchor);
        const qint64 area = qint64(overlap.width()) * overlap.height();
        if (area > bestArea) {
            best = i;
            bestArea = area;
        }
    }
    if (best >= 0)
        return best;
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    for (int i = 0; i < screens.size(); ++i) {
        const qint64 distance = distanceSquared(centre, screens[i]);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

QRect placePopup(const QRect& anchor, const QSize& panelSize, const QRect& available)
{
    int width = std::min(panelSize.width(), available.width());
    int height = std::min(panelSize.height(), available.height());

    // An icon in a side panel lies beside the available area; open sideways, level with it.
    const bool inLeftPanel = anchor.right() < available.left();
    const bool inRightPanel = anchor.left() > available.right();
    int x = 0;
    int y = 0;
    // The room on each side of the anchor, inside the area.
    const auto room = [](int space, int length) { return std::clamp(space, 0, length); };
    const int spaceBelow = room(available.bottom() - anchor.bottom(), available.height());
    const int spaceAbove = room(anchor.top() - available.top(), available.height());
    if (inLeftPanel || inRightPanel) {
        x = inLeftPanel ? anchor.right() + 1 : anchor.left() - width;
        y = anchor.top();
    } else if (spaceBelow > 0 || spaceAbove > 0) {
        // Top or bottom panel, or an anchor inside the area (no work area known, cursor):
        // below unless only the space above is large enough. The panel never covers the
        // icon, which a second click must reach to close it: where the screen is short, the
        // panel is (and its list scrolls).
        const bool below = height <= spaceBelow || spaceBelow >= spaceAbove;
        height = std::min(height, below ? spaceBelow : spaceAbove);
        x = anchor.center().x() - width / 2;
        y = below ? anchor.bottom() + 1 : anchor.top() - height;
    } else {
        // The anchor spans the area's height (a side panel inside it): beside, on the wider
        // side, unless it covers the whole area.
        const int spaceRight = room(available.right() - anchor.right(), available.width());
        const int spaceLeft = room(anchor.left() - available.left(), available.width());
        const bool right = width <= spaceRight || spaceRight >= spaceLeft;
        if (spaceRight > 0 || spaceLeft > 0)
            width = std::min(width, right ? spaceRight : spaceLeft);
        x = right ? anchor.right() + 1 : anchor.left() - width;
        y = available.top();
    }
    x = clampInto(x, width, available.left(), available.right());
    y = clampInto(y, height, available.top(), available.bottom());
    return QRect(x, y, width, height);
}
