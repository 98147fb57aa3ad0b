#include "lsofsource.h"

#include "childprocess.h"
#include "lsofparser.h"

QStringList LsofSource::arguments()
{
    return {QStringLiteral("-iTCP"), QStringLiteral("-sTCP:LISTEN"), QStringLiteral("-iUDP"),
            QStringLiteral("-P"),    QStringLiteral("-n"),           QStringLiteral("-F"),
            QStringLiteral("pcPn")};
}

LsofSource::LsofSource(QString executable, std::chrono::milliseconds timeout)
    : m_executable(std::move(executable)), m_timeout(timeout)
{}

QueryResult LsofSource::query()
{
    return queryLsof(m_executable, m_timeout);
}

QueryResult queryLsof(const QString& executable, std::chrono::milliseconds timeout)
{
    const ChildRun run = ChildRun::run(executable, LsofSource::arguments(), timeout);
    switch (run.status) {
    case ChildRun::Status::StartFailed:
        return QueryResult::failure(
            QueryError::StartFailed,
            QStringLiteral("could not start %1: %2").arg(executable, qt_error_string(run.error)));
    case ChildRun::Status::TimedOut:
        return QueryResult::failure(QueryError::TimedOut,
                                    QStringLiteral("%1 did not finish within %2 ms and was stopped")
                                        .arg(executable)
                                        .arg(timeout.count()));
    case ChildRun::Status::TooMuchOutput:
        return QueryResult::failure(
            QueryError::TooMuchOutput,
            QStringLiteral("too much output: %1 wrote more than %2 MiB and was stopped")
                .arg(executable)
                .arg(ChildRun::defaultMaxOutput / (1024 * 1024)));
    case ChildRun::Status::Exited:
        break;
    }
    auto ports = LsofParser::parse(QByteArrayView(run.output));
    if (!ports)
        return QueryResult::failure(
            QueryError::InvalidUtf8,
            QStringLiteral("the output of %1 is not valid UTF-8").arg(executable));
    return QueryResult{std::move(*ports), QueryError::None, {}};
}
