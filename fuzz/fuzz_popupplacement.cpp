// Popup placement over bounded but otherwise arbitrary geometry: coordinates within a
// million pixels either way, sizes up to 65536, as screens and tray icons can be. The
// panel always lies inside the available area, at its wanted size cut down to the area,
// off the anchor whenever there is room for that, and against the area's edge nearest an
// anchor that lies beyond it.
#include "fuzzcheck.h"
#include "popupplacement.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

constexpr int coordinateLimit = 1 << 20;
constexpr int sizeLimit = 1 << 16;

QRect consumeRect(FuzzedDataProvider& input, int minSize)
{
    const int x = input.ConsumeIntegralInRange(-coordinateLimit, coordinateLimit);
    const int y = input.ConsumeIntegralInRange(-coordinateLimit, coordinateLimit);
    const int width = input.ConsumeIntegralInRange(minSize, sizeLimit);
    const int height = input.ConsumeIntegralInRange(minSize, sizeLimit);
    return QRect(x, y, width, height);
}

// Inside by coordinates, so that a zero-sized panel counts too.
bool liesWithin(const QRect& inner, const QRect& outer)
{
    return inner.x() >= outer.x() && inner.y() >= outer.y() &&
           qint64(inner.x()) + inner.width() <= qint64(outer.x()) + outer.width() &&
           qint64(inner.y()) + inner.height() <= qint64(outer.y()) + outer.height();
}

void checkPlacement(const QRect& anchor, const QSize& panelSize, const QRect& available)
{
    const QRect placed = placePopup(anchor, panelSize, available);
    FUZZ_CHECK(placed.width() == std::min(panelSize.width(), available.width()));
    FUZZ_CHECK(placed.height() == std::min(panelSize.height(), available.height()));
    FUZZ_CHECK(liesWithin(placed, available));

    const bool inLeftPanel = anchor.right() < available.left();
    const bool inRightPanel = anchor.left() > available.right();
    if (inLeftPanel)
        FUZZ_CHECK(placed.left() == available.left());
    if (inRightPanel)
        FUZZ_CHECK(placed.right() == available.right());
    if (inLeftPanel || inRightPanel)
        return;
    if (anchor.bottom() < available.top())
        FUZZ_CHECK(placed.top() == available.top());
    if (anchor.top() > available.bottom())
        FUZZ_CHECK(placed.bottom() == available.bottom());
    const bool roomBelow = placed.height() <= available.bottom() - anchor.bottom();
    const bool roomAbove = placed.height() <= anchor.top() - available.top();
    if (placed.height() > 0 && (roomBelow || roomAbove))
        FUZZ_CHECK(placed.bottom() < anchor.top() || placed.top() > anchor.bottom());
    if (placed.height() > 0 && roomBelow)
        FUZZ_CHECK(placed.top() > anchor.bottom());
}

void checkScreenChoice(const QRect& anchor, const QList<QRect>& screens)
{
    const int index = screenIndexFor(anchor, screens);
    if (screens.isEmpty()) {
        FUZZ_CHECK(index == -1);
        return;
    }
    FUZZ_CHECK(index >= 0 && index < screens.size());
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
    const QRect anchor = consumeRect(input, 1);
    const QSize panelSize(input.ConsumeIntegralInRange(0, sizeLimit),
                          input.ConsumeIntegralInRange(0, sizeLimit));
    QList<QRect> screens;
    const int screenCount = input.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < screenCount; ++i)
        screens.append(consumeRect(input, 1));
    checkScreenChoice(anchor, screens);
    const QRect available = screens.isEmpty() ? consumeRect(input, 1) : screens.first();
    checkPlacement(anchor, panelSize, available);
    return 0;
}
