// Exec quoting round trips. Input: UTF-8 text whose NUL-separated parts are the arguments;
// the first is also the program's path, the second a label, the third a desktop file
// template. NUL is the one character no path or desktop file holds.
#include "desktopentry.h"
#include "fuzzcheck.h"

namespace {

// The Exec values of the main group, as a desktop file reader finds them.
QStringList mainGroupExecValues(const QString& entry)
{
    QStringList values;
    bool inMainGroup = false;
    for (const QString& line : entry.split(QLatin1Char('\n'))) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (line.trimmed().startsWith(QLatin1Char('[')))
            inMainGroup = line.trimmed() == QLatin1String("[Desktop Entry]");
        else if (inMainGroup && equals > 0 && line.left(equals).trimmed() == QLatin1String("Exec"))
            values.append(line.mid(equals + 1));
    }
    return values;
}

void checkAutostartEntry(const QString& desktopTemplate, const QString& path, const QString& label)
{
    const QStringList exec =
        mainGroupExecValues(DesktopEntry::autostartEntry(desktopTemplate, path, label));
    // One Exec line, and readers drop the blanks after "=".
    FUZZ_CHECK(exec.size() == 1 && !exec[0].startsWith(QLatin1Char(' ')) &&
               !exec[0].startsWith(QLatin1Char('\t')));
    FUZZ_CHECK(DesktopEntry::splitCommandLine(exec[0]) == QStringList{path});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList parts = text.split(QChar(0));
    const QString& path = parts.first();

    FUZZ_CHECK(DesktopEntry::unescapeValue(DesktopEntry::escapeValue(text)) == text);

    // One line, whatever the arguments hold.
    const QString line = DesktopEntry::commandLine(parts);
    FUZZ_CHECK(!line.contains(QLatin1Char('\n')) && !line.contains(QLatin1Char('\r')));
    FUZZ_CHECK(DesktopEntry::splitCommandLine(line) == parts);
    FUZZ_CHECK(DesktopEntry::splitCommandLine(DesktopEntry::commandLine({path})) ==
               QStringList{path});

    // Whatever a value splits into, writing that out splits back the same.
    if (const auto arguments = DesktopEntry::splitCommandLine(text))
        FUZZ_CHECK(DesktopEntry::splitCommandLine(DesktopEntry::commandLine(*arguments)) ==
                   *arguments);

    checkAutostartEntry(parts.value(2), path, parts.value(1));
    checkAutostartEntry(QString(), path, parts.value(1));
    return 0;
}
