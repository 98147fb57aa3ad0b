#include "freeresult.h"

#include <QCoreApplication>

namespace {

QString restartedBy(const RestartCause& cause)
{
    switch (cause.kind) {
    case RestartCause::Kind::Unit:
        return QCoreApplication::translate("FreeResult", ", restarted by unit %1").arg(cause.unit);
    case RestartCause::Kind::Container:
        return cause.containerName.isEmpty()
                   ? QCoreApplication::translate("FreeResult", ", restarted by container %1")
                         .arg(cause.container)
                   : QCoreApplication::translate("FreeResult", ", restarted by container %1 (%2)")
                         .arg(cause.containerName, cause.container);
    case RestartCause::Kind::Supervisor:
        return QCoreApplication::translate("FreeResult", ", started by %1 (pid %2)")
            .arg(cause.program)
            .arg(cause.pid);
    case RestartCause::Kind::None:
        break;
    }
    return {};
}

} // namespace

QString freeResultLine(const FreeResult& result)
{
    const QString port = QString::number(result.port);
    const QString user = result.user.isEmpty()
                             ? QCoreApplication::translate("FreeResult", "another user")
                             : result.user;
    switch (result.state) {
    case FreeResult::State::Free:
        return QCoreApplication::translate("FreeResult", "%1: free").arg(port);
    case FreeResult::State::StillListening:
        return (result.killed
                    ? QCoreApplication::translate(
                          "FreeResult",
                          "%1: still listening: pid %2 (%3) did not end, even when killed")
                    : QCoreApplication::translate(
                          "FreeResult", "%1: still listening: pid %2 (%3) ignored the request; "
                                        "--force ends it"))
            .arg(port)
            .arg(result.pid)
            .arg(result.program);
    case FreeResult::State::ListeningAgain:
        if (result.pid <= 0)
            return QCoreApplication::translate("FreeResult", "%1: listening again: a process of %2")
                .arg(port, user);
        return QCoreApplication::translate("FreeResult", "%1: listening again: pid %2 (%3)")
                   .arg(port)
                   .arg(result.pid)
                   .arg(result.program) +
               restartedBy(result.cause);
    case FreeResult::State::NotPermitted:
        if (result.pid <= 0)
            return QCoreApplication::translate(
                       "FreeResult",
                       "%1: not ended: a process of %2 listens, not one of this user's; nothing "
                       "was ended")
                .arg(port, user);
        return QCoreApplication::translate(
                   "FreeResult",
                   "%1: not ended: pid %2 (%3) belongs to %4, not to this user; nothing was ended")
            .arg(port)
            .arg(result.pid)
            .arg(result.program, user);
    case FreeResult::State::Refused:
        return QCoreApplication::translate(
                   "FreeResult",
                   "%1: not ended: pid %2 (%3) is a service manager, holding the port for a "
                   "socket unit; stop that unit instead")
            .arg(port)
            .arg(result.pid)
            .arg(result.program);
    }
    return {};
}
