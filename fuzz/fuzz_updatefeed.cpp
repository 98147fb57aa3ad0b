// The feed decoder and the version order. Input: three version lines, then the feed body.
// isNewer must be a strict order (irreflexive, antisymmetric, transitive, with "neither is
// newer" an equivalence), decoding must survive any bytes, an update may only ever come
// with a newer version and an http(s) page, and a body fails the check exactly when it is no
// feed or offers a newer version without such a page.
#include "fuzzcheck.h"
#include "updatechecker.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

void checkOrder(const QString& a, const QString& b, const QString& c)
{
    const auto newer = &UpdateChecker::isNewer;
    FUZZ_CHECK(!newer(a, a) && !(newer(a, b) && newer(b, a)));
    FUZZ_CHECK(!(newer(a, b) && newer(b, c)) || newer(a, c));
    if (!newer(a, b) && !newer(b, a)) // the same version
        FUZZ_CHECK(newer(a, c) == newer(b, c) && newer(c, a) == newer(c, b));
}

void checkFeed(const QByteArray& body, const QString& running)
{
    const std::optional<UpdateChecker::Feed> feed = UpdateChecker::decodeFeed(body);
    if (feed) {
        // What was decoded survives a trip through JSON unchanged.
        const QJsonObject object{{QLatin1String("version"), feed->version},
                                 {QLatin1String("url"), feed->url},
                                 {QLatin1String("notes"), feed->notes}};
        const auto again = UpdateChecker::decodeFeed(QJsonDocument(object).toJson());
        FUZZ_CHECK(again && again->version == feed->version && again->url == feed->url &&
                   again->notes == feed->notes);
        const auto url = UpdateChecker::parseUrl(feed->url);
        FUZZ_CHECK(!url || url->isValid());
    }

    const UpdateCheckResult result = UpdateChecker::updateFromBody(body, running);
    const std::optional<AppUpdate>& update = result.update;
    FUZZ_CHECK(result.isFailed() ==
               (!feed || (!update && UpdateChecker::isNewer(feed->version, running))));
    if (!update)
        return;
    FUZZ_CHECK(feed && update->version == feed->version && update->notes == feed->notes);
    FUZZ_CHECK(UpdateChecker::isNewer(update->version, running));
    FUZZ_CHECK(update->url.isValid() && !update->url.host().isEmpty());
    FUZZ_CHECK(update->url.scheme() == QLatin1String("http") ||
               update->url.scheme() == QLatin1String("https"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\n');
    if (parts.size() < 4)
        return 0;
    const QString versions[] = {QString::fromUtf8(parts[0]), QString::fromUtf8(parts[1]),
                                QString::fromUtf8(parts[2])};
    checkOrder(versions[0], versions[1], versions[2]);
    checkFeed(parts.mid(3).join('\n'), versions[0]);
    return 0;
}
