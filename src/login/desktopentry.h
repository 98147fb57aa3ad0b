#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The Desktop Entry Specification's two layers of an Exec value: arguments are quoted (and
// "%" doubled) first, then the whole line gets the string-value escapes on top.
namespace DesktopEntry {

// One argument as it appears on the command line: in double quotes when it holds a reserved
// character, with ", `, $ and \ escaped inside them, and every % written as %%.
QString quoteArgument(const QString& argument);
// The string-value escapes: \\, \n, \t, \r, and \s for a leading space.
QString escapeValue(const QString& text);
QString unescapeValue(const QString& value);

// The Exec value that runs exactly these arguments.
QString commandLine(const QStringList& arguments);
// The inverse of commandLine(): undoes both layers and %%. Field codes other than %% stay
// as they are. Nothing when the value breaks the quoting rules.
std::optional<QStringList> splitCommandLine(const QString& value);

// An autostart entry made from the program's own .desktop file: its Exec runs
// executablePath, and nothing in it lets a desktop skip it (no Hidden, TryExec or D-Bus
// activation). With no usable template, a minimal entry named after the label.
QString autostartEntry(const QString& desktopTemplate, const QString& executablePath,
                       const QString& label);

} // namespace DesktopEntry
