#include "desktopentry.h"

#include <algorithm>

namespace DesktopEntry {

namespace {

bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

bool isEscapedInQuotes(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
           c == QLatin1Char('\\');
}

const QString mainGroup = QStringLiteral("[Desktop Entry]");

// The key of a "Key=value" or "Key[locale]=value" line, or nothing for any other line.
QString keyOf(const QString& line)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return {};
    QString key = line.left(equals).trimmed();
    const qsizetype bracket = key.indexOf(QLatin1Char('['));
    if (bracket >= 0)
        key.truncate(bracket);
    return key;
}

bool isGroupHeader(const QString& line)
{
    return line.trimmed().startsWith(QLatin1Char('['));
}

} // namespace

QString quoteArgument(const QString& argument)
{
    // "=" is not reserved, but a bare one in the program's path is not allowed either.
    const bool quoted = argument.isEmpty() || argument.contains(QLatin1Char('=')) ||
                        std::any_of(argument.cbegin(), argument.cend(), isReserved);
    QString result;
    result.reserve(argument.size() + 8);
    if (quoted)
        result += QLatin1Char('"');
    for (const QChar c : argument) {
        if (quoted && isEscapedInQuotes(c))
            result += QLatin1Char('\\');
        else if (c == QLatin1Char('%'))
            result += QLatin1Char('%');
        result += c;
    }
    if (quoted)
        result += QLatin1Char('"');
    return result;
}

QString escapeValue(const QString& text)
{
    QString result;
    result.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\'))
            result += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            result += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            result += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            result += QLatin1String("\\r");
        else if (c == QLatin1Char(' ') && i == 0)
            result += QLatin1String("\\s"); // readers trim the space after "="
        else
            result += c;
    }
    return result;
}

QString unescapeValue(const QString& value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            result += c;
            continue;
        }
        switch (value.at(i + 1).unicode()) {
        case 's':
            result += QLatin1Char(' ');
            break;
        case 'n':
            result += QLatin1Char('\n');
            break;
        case 't':
            result += QLatin1Char('\t');
            break;
        case 'r':
            result += QLatin1Char('\r');
            break;
        case '\\':
            result += QLatin1Char('\\');
            break;
        default: // not a string escape: left for the next layer
            result += c;
            result += value.at(i + 1);
        }
        ++i;
    }
    return result;
}

QString commandLine(const QStringList& arguments)
{
    QStringList quoted;
    quoted.reserve(arguments.size());
    for (const QString& argument : arguments)
        quoted.append(quoteArgument(argument));
    return escapeValue(quoted.join(QLatin1Char(' ')));
}

std::optional<QStringList> splitCommandLine(const QString& value)
{
    const QString line = unescapeValue(value);
    QStringList unquoted;
    qsizetype i = 0;
    while (i < line.size()) {
        if (line.at(i) == QLatin1Char(' ')) {
            ++i;
            continue;
        }
        QString argument;
        if (line.at(i) == QLatin1Char('"')) {
            ++i;
            for (;;) {
                if (i == line.size())
                    return std::nullopt; // unterminated
                const QChar c = line.at(i++);
                if (c == QLatin1Char('"'))
                    break;
                if (c == QLatin1Char('\\')) {
                    if (i == line.size() || !isEscapedInQuotes(line.at(i)))
                        return std::nullopt;
                    argument += line.at(i++);
                } else {
                    argument += c;
                }
            }
            // Arguments are quoted in whole: the next thing is a separator or the end.
            if (i < line.size() && line.at(i) != QLatin1Char(' '))
                return std::nullopt;
        } else {
            for (; i < line.size() && line.at(i) != QLatin1Char(' '); ++i) {
                if (isReserved(line.at(i)))
                    return std::nullopt;
                argument += line.at(i);
            }
        }
        unquoted.append(argument);
    }

    // Field codes come last, once the quoting is undone.
    QStringList arguments;
    arguments.reserve(unquoted.size());
    for (const QString& argument : std::as_const(unquoted)) {
        QString expanded;
        expanded.reserve(argument.size());
        for (qsizetype j = 0; j < argument.size(); ++j) {
            if (argument.at(j) != QLatin1Char('%')) {
                expanded += argument.at(j);
                continue;
            }
            if (j + 1 == argument.size())
                return std::nullopt;
            if (argument.at(j + 1) == QLatin1Char('%'))
                expanded += QLatin1Char('%');
            else
                expanded += argument.mid(j, 2);
            ++j;
        }
        arguments.append(expanded);
    }
    return arguments;
}

QString autostartEntry(const QString& desktopTemplate, const QString& executablePath,
                       const QString& label)
{
    const QString exec = QStringLiteral("Exec=") + commandLine({executablePath});
    const QString enabled = QStringLiteral("X-GNOME-Autostart-enabled=true");

    QStringList lines = desktopTemplate.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.constLast().trimmed().isEmpty())
        lines.removeLast();

    const bool hasMainGroup = std::any_of(lines.cbegin(), lines.cend(), [](const QString& line) {
        return line.trimmed() == mainGroup;
    });
    if (!hasMainGroup) {
        return mainGroup + QStringLiteral("\nType=Application\nName=") + escapeValue(label) +
               QLatin1Char('\n') + exec + QLatin1Char('\n') + enabled + QLatin1Char('\n');
    }

    // Keys that could stop a desktop from starting the entry, or start something else.
    static const QStringList dropped = {QStringLiteral("Exec"), QStringLiteral("TryExec"),
                                        QStringLiteral("DBusActivatable"), QStringLiteral("Hidden"),
                                        QStringLiteral("X-GNOME-Autostart-enabled")};

    QStringList result;
    bool inMainGroup = false;
    bool wroteExec = false;
    for (const QString& line : std::as_const(lines)) {
        if (isGroupHeader(line)) {
            inMainGroup = line.trimmed() == mainGroup;
            result.append(line);
            if (inMainGroup && !wroteExec) {
                result.append(exec);
                result.append(enabled);
                wroteExec = true;
            }
            continue;
        }
        if (inMainGroup && dropped.contains(keyOf(line)))
            continue;
        result.append(line);
    }
    return result.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace DesktopEntry
