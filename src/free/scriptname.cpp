#include "scriptname.h"

#include <climits>

namespace {

bool isInterpreter(QByteArrayView name)
{
    // python3, python3.11 and the like: the version only follows the name.
    for (const QByteArrayView prefix : {"python", "node", "perl", "ruby", "php"}) {
        if (name.startsWith(prefix)) {
            const QByteArrayView rest = name.sliced(prefix.size());
            if (std::all_of(rest.begin(), rest.end(),
                            [](char c) { return (c >= '0' && c <= '9') || c == '.'; }))
                return true;
        }
    }
    return name == "nodejs" || name == "sh" || name == "bash" || name == "dash" || name == "zsh" ||
           name == "ksh";
}

} // namespace

QByteArray scriptName(QByteArrayView commandName, QByteArrayView commandLine)
{
    if (!isInterpreter(commandName))
        return {};
    const qsizetype first = commandLine.indexOf('\0');
    if (first < 0)
        return {};
    const qsizetype end = commandLine.indexOf('\0', first + 1);
    // An argument the read cut tells nothing.
    if (end < 0)
        return {};
    const QByteArrayView script = commandLine.sliced(first + 1, end - first - 1);
    if (script.isEmpty() || script.startsWith('-'))
        return {};
    const QByteArrayView base = script.sliced(script.lastIndexOf('/') + 1);
    if (base.isEmpty() || base.size() > NAME_MAX)
        return {};
    return base.toByteArray();
}
