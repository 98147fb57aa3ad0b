#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Where the panel goes, as plain arithmetic so it can be checked with numbers.

// The screen that holds the anchor (the tray icon, or the cursor where the host does not
// tell where its icon is): the one containing the anchor's centre, else the one it overlaps
// most, else the nearest. -1 only when there are no screens.
int screenIndexFor(const QRect& anchor, const QList<QRect>& screens);

// The panel's geometry next to the anchor, entirely inside the available area and never
// over the anchor (unless the anchor covers the whole area). It opens away from the screen
// edge the anchor sits on (below an icon in a top panel, to the right of one in a left
// panel, ...). The size is cut down only to the room on the side it opens to.
QRect placePopup(const QRect& anchor, const QSize& panelSize, const QRect& available);
