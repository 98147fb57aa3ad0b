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
    const int width = std::min(panelSize.width(), available.width());
    const int height = std::min(panelSize.height(), available.height());

    // An icon in a side panel lies beside the available area; open sideways, level with it.
    const bool inLeftPanel = anchor.right() < available.left();
    const bool inRightPanel = anchor.left() > available.right();
    int x = 0;
    int y = 0;
    if (inLeftPanel || inRightPanel) {
        x = inLeftPanel ? anchor.right() + 1 : anchor.left() - width;
        y = anchor.top();
    } else {
        // Top or bottom panel, or an anchor inside the area (no work area known, cursor):
        // below unless only the space above is large enough.
        const int spaceBelow = available.bottom() - anchor.bottom();
        const int spaceAbove = anchor.top() - available.top();
        const bool below = height <= spaceBelow || spaceBelow >= spaceAbove;
        x = anchor.center().x() - width / 2;
        y = below ? anchor.bottom() + 1 : anchor.top() - height;
    }
    x = clampInto(x, width, available.left(), available.right());
    y = clampInto(y, height, available.top(), available.bottom());
    return QRect(x, y, width, height);
}
