// The feed decoder and the version order. Input: three version lines, then the feed body.
// isNewer must be a strict order (irreflexive, antisymmetric, transitive, with "neither is
// newer" an equivalence), decoding must survive any bytes, an update may only ever come
// with a newer version and an http(s) page, and a body fails the check exactly when it is no
// feed or offers a newer version without such a page.
#include "fuzzcheck.h"
#include "updatechecker.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

namespace {

bool sameVersion(const QString& a, const QString& b)
{
    return !UpdateChecker::isNewer(a, b) && !UpdateChecker::isNewer(b, a);
}

void checkOrder(const QString& a, const QString& b, const QString& c)
{
    FUZZ_CHECK(!UpdateChecker::isNewer(a, a));
    FUZZ_CHECK(!(UpdateChecker::isNewer(a, b) && UpdateChecker::isNewer(b, a)));
    if (UpdateChecker::isNewer(a, b) && UpdateChecker::isNewer(b, c))
        FUZZ_CHECK(UpdateChecker::isNewer(a, c));
    if (sameVersion(a, b)) {
        FUZZ_CHECK(UpdateChecker::isNewer(a, c) == UpdateChecker::isNewer(b, c));
        FUZZ_CHECK(UpdateChecker::isNewer(c, a) == UpdateChecker::isNewer(c, b));
    }
}

void checkFeed(const QByteArray& body, const QString& running)
{
    const std::optional<UpdateChecker::Feed> feed = UpdateChecker::decodeFeed(body);
    if (feed) {
        // What was decoded survives a trip through JSON unchanged.
        QJsonObject object;
        object.insert(QLatin1String("version"), feed->version);
        object.insert(QLatin1String("url"), feed->url);
        object.insert(QLatin1String("notes"), feed->notes);
        const auto again = UpdateChecker::decodeFeed(QJsonDocument(object).toJson());
        FUZZ_CHECK(again && again->version == feed->version && again->url == feed->url &&
                   again->notes == feed->notes);
        if (const auto url = UpdateChecker::parseUrl(feed->url))
            FUZZ_CHECK(url->isValid());
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
    QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    QString versions[3];
    for (QString& version : versions) {
        const qsizetype newline = input.indexOf('\n');
        if (newline < 0)
            return 0;
        version = QString::fromUtf8(input.first(newline));
        input.remove(0, newline + 1);
    }
    checkOrder(versions[0], versions[1], versions[2]);
    checkFeed(input, versions[0]);
    return 0;
}
