#include "sshcommand.h"

namespace SshCommand {

bool isUsableHost(QStringView host)
{
    if (host.isEmpty() || host.startsWith(u'-'))
        return false;
    for (const QChar c : host) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return false;
    }
    return true;
}

QStringList arguments(const QString& host, const QString& remoteCommand,
                      const QStringList& extraOptions, const QStringList& extraArguments)
{
    if (!isUsableHost(host))
        return {};
    QStringList arguments{QStringLiteral("-o"), QStringLiteral("BatchMode=yes"),
                          QStringLiteral("-o"), QStringLiteral("ConnectTimeout=10")};
    for (const QString& option : extraOptions)
        arguments << QStringLiteral("-o") << option;
    arguments << extraArguments << QStringLiteral("--") << host;
    if (!remoteCommand.isEmpty())
        arguments << remoteCommand;
    return arguments;
}

const QString& listCommand()
{
    // The remote login shell may be any shell, so the script goes to /bin/sh as one
    // single-quoted word on one line, without single quotes or "!" inside (csh and fish read
    // such a word as sh does). The proc way says the machine's byte order ("1" little-endian,
    // "16777216" big-endian), since the tables hold addresses in it.
    static const QString command = QStringLiteral(
        "exec /bin/sh -c '"
        "if command -v tidewatch-ports >/dev/null 2>&1; then "
        "echo tidewatch-remote tidewatch-ports; exec tidewatch-ports --json; fi; "
        "if command -v ss >/dev/null 2>&1 && s=$(ss -Hltunp 2>/dev/null); then "
        "echo tidewatch-remote ss; printf \"%s\\n\" \"$s\"; exit 0; fi; "
        "[ -r /proc/net/tcp ] || { echo \"neither tidewatch-ports, ss nor /proc/net here\" >&2; exit 1; }; "
        "echo tidewatch-remote proc $(printf \"\\001\\000\\000\\000\" | od -An -tu4 2>/dev/null); "
        "for t in tcp tcp6 udp udp6; do "
        "if [ -r /proc/net/$t ]; then echo table $t; cat /proc/net/$t || exit 1; fi; done"
        "'");
    return command;
}

} // namespace SshCommand
