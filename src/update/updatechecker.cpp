#include "updatechecker.h"

#include <QCoreApplication>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <utility>

namespace {

// A piece of a dotted version: an optional sign and ASCII digits, fitting in 64 bits.
// Anything else (letters, spaces, "-beta", a lone sign, overflow) counts as 0.
qint64 versionPiece(QStringView piece)
{
    QStringView digits = piece;
    if (digits.startsWith(u'+') || digits.startsWith(u'-'))
        digits = digits.mid(1);
    if (digits.isEmpty())
        return 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
    }
    // from_chars takes a '-' but no '+'.
    const QByteArray text = (piece.startsWith(u'+') ? digits : piece).toLatin1();
    qint64 value = 0;
    const auto [end, error] = std::from_chars(text.cbegin(), text.cend(), value);
    if (error != std::errc() || end != text.cend())
        return 0;
    return value;
}

QList<qint64> versionPieces(const QString& version)
{
    QList<qint64> pieces;
    for (const QStringView piece : QStringView(version).split(u'.', Qt::SkipEmptyParts))
        pieces.append(versionPiece(piece));
    return pieces;
}

// Whether the reply carries the server's whole answer: the server answered with a status,
// and nothing broke off the transfer. Qt turns many statuses into errors of its own (400
// and 418 into ProtocolInvalidOperationError, 407 into ProxyAuthenticationRequiredError)
// but keeps their bodies, which are decoded like any other. Transport and protocol
// failures leave at most part of a body, which is discarded.
bool hasWholeBody(const QNetworkReply& reply)
{
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const QNetworkReply::NetworkError error = reply.error();
    const int code = int(error);
    const bool contentError =
        code >= QNetworkReply::ContentAccessDenied && code <= QNetworkReply::UnknownContentError;
    const bool serverError =
        code >= QNetworkReply::InternalServerError && code <= QNetworkReply::UnknownServerError;
    return error == QNetworkReply::NoError || contentError || serverError ||
           error == QNetworkReply::ProxyAuthenticationRequiredError ||
           error == QNetworkReply::ProtocolInvalidOperationError ||
           error == QNetworkReply::ProtocolUnknownError;
}

QString transferFailure(const QNetworkReply& reply)
{
    // Nothing of ours aborts a reply without saying why first, so a cancel is Qt's
    // transfer timeout.
    if (reply.error() == QNetworkReply::OperationCanceledError)
        return QCoreApplication::translate("UpdateChecker", "The update server stopped answering.");
    return reply.errorString() + u'.';
}

// One request in flight. Whatever ends it, the completion runs exactly once: when the reply
// finishes, or with a failure when the reply is destroyed unfinished (the network manager
// going away takes its replies with it).
struct PendingCheck
{
    using Completion = UpdateChecker::Completion;

    Completion completion;
    QString runningVersion;
    QByteArray body;
    QString failure; // set before we abort the reply ourselves

    void complete(const UpdateCheckResult& result)
    {
        if (Completion done = std::exchange(completion, {}))
            done(result);
    }
    void fail(QNetworkReply* reply, const QString& why)
    {
        failure = why;
        reply->abort();
    }
    ~PendingCheck()
    {
        complete({std::nullopt,
                  QCoreApplication::translate("UpdateChecker", "The check was interrupted.")});
    }
};

QString tooLarge()
{
    return QCoreApplication::translate("UpdateChecker",
                                       "The answer is over 1 MiB, too large for an update feed.");
}

} // namespace

UpdateChecker::UpdateChecker(ApplicationInfo info, QNetworkAccessManager* network,
                             std::chrono::milliseconds transferTimeout,
                             std::chrono::milliseconds deadline)
    : m_info(std::move(info)), m_network(network), m_transferTimeout(transferTimeout),
      m_deadline(deadline)
{
    if (!m_network) {
        m_ownNetwork = std::make_unique<QNetworkAccessManager>();
        m_network = m_ownNetwork.get();
    }
}

UpdateChecker::~UpdateChecker() = default;

QString UpdateChecker::currentVersion() const
{
    return m_info.version.isEmpty() ? QStringLiteral("0") : m_info.version;
}

QString UpdateChecker::appName() const
{
    return m_info.name.isEmpty() ? QCoreApplication::translate("UpdateChecker", "This app")
                                 : m_info.name;
}

std::optional<QUrl> UpdateChecker::feedUrl() const
{
    return parseUrl(m_info.updateFeedUrl);
}

bool UpdateChecker::canCheck() const
{
    return feedUrl().has_value();
}

void UpdateChecker::check(Completion completion) const
{
    const std::optional<QUrl> url = feedUrl();
    if (!url) {
        completion({std::nullopt, QCoreApplication::translate(
                                      "UpdateChecker", "This build has no update feed to check.")});
        return;
    }

    QNetworkRequest request(*url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Restarts with every byte that comes in; the deadline below bounds the whole check.
    request.setTransferTimeout(int(m_transferTimeout.count()));

    auto pending = std::make_shared<PendingCheck>();
    pending->completion = std::move(completion);
    pending->runningVersion = currentVersion();

    QNetworkReply* reply = m_network->get(request);
    // The lambdas hold the pending check; it dies with the reply's connections.
    // Precise: a coarse timer may fire 5% late, past the deadline.
    QTimer::singleShot(m_deadline, Qt::PreciseTimer, reply, [reply, pending] {
        pending->fail(reply, QCoreApplication::translate(
                                 "UpdateChecker", "The update server took too long to answer."));
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, pending] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxFeedSize)
            pending->fail(reply, tooLarge());
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, pending] {
        if (!pending->failure.isEmpty())
            return;
        pending->body += reply->read(maxFeedSize + 1 - pending->body.size());
        if (pending->body.size() > maxFeedSize)
            pending->fail(reply, tooLarge());
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, pending] {
        reply->deleteLater();
        if (!pending->failure.isEmpty())
            return pending->complete({std::nullopt, pending->failure});
        if (!hasWholeBody(*reply))
            return pending->complete({std::nullopt, transferFailure(*reply)});
        pending->body += reply->read(maxFeedSize + 1 - pending->body.size());
        if (pending->body.size() > maxFeedSize)
            return pending->complete({std::nullopt, tooLarge()});
        UpdateCheckResult result = updateFromBody(pending->body, pending->runningVersion);
        // What an error page means is better told by its status.
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (result.isFailed() && (status < 200 || status > 299)) {
            result.failure =
                QCoreApplication::translate("UpdateChecker", "The update server answered %1 %2.")
                    .arg(QString::number(status),
                         reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
        }
        pending->complete(result);
    });
}

bool UpdateChecker::isNewer(const QString& candidate, const QString& running)
{
    const QList<qint64> a = versionPieces(candidate);
    const QList<qint64> b = versionPieces(running);
    const qsizetype count = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 x = i < a.size() ? a.at(i) : 0;
        const qint64 y = i < b.size() ? b.at(i) : 0;
        if (x != y)
            return x > y;
    }
    return false;
}

std::optional<UpdateChecker::Feed> UpdateChecker::decodeFeed(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;

    const QJsonObject object = document.object();
    const QJsonValue version = object.value(QLatin1String("version"));
    const QJsonValue url = object.value(QLatin1String("url"));
    const QJsonValue notes = object.value(QLatin1String("notes"));
    if (!version.isString() || !url.isString())
        return std::nullopt;
    if (!notes.isUndefined() && !notes.isNull() && !notes.isString())
        return std::nullopt;
    return Feed{version.toString(), notes.toString(), url.toString()};
}

std::optional<QUrl> UpdateChecker::parseUrl(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

bool UpdateChecker::isDownloadUrl(const QUrl& url)
{
    // QUrl keeps schemes in lower case, so "HTTPS:" is covered.
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

UpdateCheckResult UpdateChecker::updateFromBody(const QByteArray& body, const QString& running)
{
    const std::optional<Feed> feed = decodeFeed(body);
    if (!feed)
        return {std::nullopt,
                QCoreApplication::translate("UpdateChecker", "The answer is not an update feed.")};
    if (!isNewer(feed->version, running))
        return {};
    const std::optional<QUrl> url = parseUrl(feed->url);
    if (!url || !isDownloadUrl(*url))
        return {std::nullopt,
                QCoreApplication::translate(
                    "UpdateChecker", "The update feed's download address is not a web page.")};
    return {AppUpdate{feed->version, feed->notes, *url}, {}};
}
