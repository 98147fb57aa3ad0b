#pragma once

#include "applicationinfo.h"
#include "appupdate.h"
#include "updatesource.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

class QNetworkAccessManager;

// Fetches the update feed named by the application information and tells whether it offers
// a newer version, or why it could not find out. Keeps no state between checks.
//
// check() must be called on the thread of the network manager (the main thread in the
// app). Its completion runs on that thread too: at once when there is no feed address,
// otherwise when the reply finishes.
class UpdateChecker final : public UpdateSource
{
public:
    static constexpr std::chrono::milliseconds defaultTransferTimeout{15000};
    static constexpr std::chrono::milliseconds defaultDeadline{30000};
    // A feed is a few hundred bytes; anything past this is not one.
    static constexpr qint64 maxFeedSize = 1024 * 1024;

    // Without a network manager the checker makes and owns one. The transfer timeout ends
    // a transfer that stays idle that long; the deadline ends a check that takes longer
    // in all, however the server trickles its answer.
    explicit UpdateChecker(ApplicationInfo info, QNetworkAccessManager* network = nullptr,
                           std::chrono::milliseconds transferTimeout = defaultTransferTimeout,
                           std::chrono::milliseconds deadline = defaultDeadline);
    ~UpdateChecker() override;
    UpdateChecker(const UpdateChecker&) = delete;
    UpdateChecker& operator=(const UpdateChecker&) = delete;

    // The running version; "0" when unknown.
    QString currentVersion() const override;
    // The name the alerts use; "This app" when unknown.
    QString appName() const override;
    // The feed address; absent when missing or not a valid URL.
    std::optional<QUrl> feedUrl() const;
    // True when there is a feed address.
    bool canCheck() const override;

    // Fetches the feed and calls the completion exactly once: with the update when the
    // feed names a newer version, with nothing when it names none, and otherwise with why
    // the check failed. Returns at once.
    void check(Completion completion) const override;

    // The decoded feed document.
    struct Feed
    {
        QString version;
        QString notes; // empty when absent or null
        QString url;   // still text: it is parsed only once the version counts as newer
    };

    // True when the dotted version `candidate` is strictly later than `running`. Pieces
    // compare as signed 64-bit numbers; a piece that is not one counts as 0, and a missing
    // piece as 0.
    static bool isNewer(const QString& candidate, const QString& running);
    // A JSON object with string "version" and "url" and an optional string or null "notes";
    // other members are ignored. Anything else gives nothing.
    static std::optional<Feed> decodeFeed(const QByteArray& body);
    // A valid URL reference: non-empty text that QUrl accepts in strict mode (no spaces,
    // no stray '%', a well-formed host). Relative references count as valid.
    static std::optional<QUrl> parseUrl(const QString& text);
    // A download page must be an absolute http or https URL with a host, so that a feed
    // can never make us open a local file or start another program.
    static bool isDownloadUrl(const QUrl& url);
    // What a response body means when the running version is `running`: a body that is
    // not a feed, or a newer version without a download page, is a failed check.
    static UpdateCheckResult updateFromBody(const QByteArray& body, const QString& running);

private:
    ApplicationInfo m_info;
    std::unique_ptr<QNetworkAccessManager> m_ownNetwork;
    QNetworkAccessManager* m_network = nullptr;
    std::chrono::milliseconds m_transferTimeout;
    std::chrono::milliseconds m_deadline;
};
