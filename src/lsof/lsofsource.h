#pragma once

#include "portsource.h"

#include <QString>
#include <QStringList>

#include <chrono>

// Runs lsof for the listening TCP and the UDP sockets and reads its field output.
class LsofSource final : public PortSource
{
public:
    static constexpr std::chrono::milliseconds defaultTimeout = std::chrono::seconds(30);
    static QString defaultExecutable() { return QStringLiteral("/usr/sbin/lsof"); }
    // The arguments, in this order.
    static QStringList arguments();

    explicit LsofSource(QString executable = defaultExecutable(),
                        std::chrono::milliseconds timeout = defaultTimeout);

    QueryResult query() override;

private:
    QString m_executable;
    std::chrono::milliseconds m_timeout;
};

// One query with the given lister. A non-zero exit is not a failure: whatever it wrote is
// parsed. It fails when the lister cannot start, writes something that is not UTF-8, or
// runs past the bound (it is then killed and reaped).
QueryResult queryLsof(const QString& executable,
                      std::chrono::milliseconds timeout = LsofSource::defaultTimeout);
