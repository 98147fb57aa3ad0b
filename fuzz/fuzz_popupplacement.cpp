// Popup placement over bounded but otherwise arbitrary geometry: coordinates within a
// million pixels either way, sizes up to 65536, as screens and tray icons can be. The
// panel always lies inside the available area, never over the anchor unless the anchor covers
// the area, whole where it fits below or above the anchor and else cut to the larger side,
// and against the area's edge nearest an anchor that lies beyond it.
#include "fuzzcheck.h"
#include "popupplacement.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

namespace {

QRect consumeRect(FuzzedDataProvider& input)
{
    constexpr int limit = 1 << 20;
    const int x = input.ConsumeIntegralInRange(-limit, limit);
    const int y = input.ConsumeIntegralInRange(-limit, limit);
    return QRect(x, y, input.ConsumeIntegralInRange(1, 1 << 16),
                 input.ConsumeIntegralInRange(1, 1 << 16));
}

void checkPlacement(const QRect& anchor, const QSize& panelSize, const QRect& available)
{
    const QRect placed = placePopup(anchor, panelSize, available);
    const QSize wanted = panelSize.boundedTo(available.size());
    FUZZ_CHECK(placed.width() <= wanted.width() && placed.height() <= wanted.height());
    // Inside by coordinates, so that a panel of no size counts too.
    FUZZ_CHECK(placed.x() >= available.x() && placed.y() >= available.y() &&
               qint64(placed.x()) + placed.width() <= qint64(available.x()) + available.width() &&
               qint64(placed.y()) + placed.height() <= qint64(available.y()) + available.height());
    // Never over the icon, which the click that closes the panel must reach.
    FUZZ_CHECK(placed.isEmpty() || anchor.contains(available) || !placed.intersects(anchor));

    const bool inLeftPanel = anchor.right() < available.left();
    const bool inRightPanel = anchor.left() > available.right();
    FUZZ_CHECK(!inLeftPanel || placed.left() == available.left());
    FUZZ_CHECK(!inRightPanel || placed.right() == available.right());
    if (inLeftPanel || inRightPanel) {
        FUZZ_CHECK(placed.size() == wanted);
        return;
    }
    FUZZ_CHECK(anchor.bottom() >= available.top() || placed.top() == available.top());
    FUZZ_CHECK(anchor.top() <= available.bottom() || placed.bottom() == available.bottom());
    // Whole where it fits below or above, and below where it fits there; else cut to the
    // larger of the two.
    const qint64 spaceBelow =
        std::clamp<qint64>(qint64(available.bottom()) - anchor.bottom(), 0, available.height());
    const qint64 spaceAbove =
        std::clamp<qint64>(qint64(anchor.top()) - available.top(), 0, available.height());
    if (spaceBelow == 0 && spaceAbove == 0)
        return; // beside an anchor as tall as the area
    if (wanted.height() <= spaceBelow)
        FUZZ_CHECK(placed.size() == wanted &&
                   (placed.height() == 0 || placed.top() > anchor.bottom()));
    else if (wanted.height() <= spaceAbove)
        FUZZ_CHECK(placed.size() == wanted);
    else
        FUZZ_CHECK(placed.width() == wanted.width() &&
                   placed.height() == std::max(spaceBelow, spaceAbove));
}

void checkScreenChoice(const QRect& anchor, const QList<QRect>& screens)
{
    const int index = screenIndexFor(anchor, screens);
    FUZZ_CHECK(screens.isEmpty() ? index == -1 : index >= 0 && index < screens.size());
    const auto holdsCentre = [&anchor](const QRect& screen) {
        return screen.contains(anchor.center());
    };
    const auto first = std::find_if(screens.cbegin(), screens.cend(), holdsCentre);
    if (first != screens.cend())
        FUZZ_CHECK(index == first - screens.cbegin());
    else if (std::any_of(screens.cbegin(), screens.cend(),
                         [&anchor](const QRect& screen) { return screen.intersects(anchor); }))
        FUZZ_CHECK(screens[index].intersects(anchor));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QRect anchor = consumeRect(input);
    const QSize panelSize(input.ConsumeIntegralInRange(0, 1 << 16),
                          input.ConsumeIntegralInRange(0, 1 << 16));
    QList<QRect> screens(input.ConsumeIntegralInRange(0, 4));
    for (QRect& screen : screens)
        screen = consumeRect(input);
    checkScreenChoice(anchor, screens);
    checkPlacement(anchor, panelSize, screens.isEmpty() ? consumeRect(input) : screens.first());
    return 0;
}
