#include "sshconfighosts.h"

#include "sshcommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>
#include <utility>

namespace {

// Far more than any hand-written configuration; a runaway file must not fill memory.
constexpr qint64 maximumFileSize = 1024 * 1024;
constexpr int maximumIncludeDepth = 16;

// A line's keyword and its arguments: words split at blanks, a double-quoted word kept
// whole, the keyword ended by blanks or `=`, and nothing from an unquoted `#` on.
QStringList configWords(const QString& line)
{
    QStringList words;
    QString word;
    bool quoted = false;
    bool inWord = false;
    bool equals = false;
    for (const QChar c : line) {
        if (quoted) {
            if (c == u'"')
                quoted = false;
            else
                word += c;
            continue;
        }
        // One '=' may stand between the keyword and its arguments, blanks around it or not.
        const bool keywordEnds = c == u'=' && words.size() == int(!inWord) && !equals;
        equals = equals || keywordEnds;
        const bool separator = c.isSpace() || keywordEnds;
        if (separator) {
            if (inWord)
                words.append(std::exchange(word, {}));
            inWord = false;
        } else if (c == u'#' && !inWord) {
            break;
        } else if (c == u'"') {
            quoted = inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

bool isOneMachine(const QString& name)
{
    return SshCommand::isUsableHost(name) && !name.startsWith(u'!') && !name.contains(u'*') &&
           !name.contains(u'?');
}

void addHosts(const QByteArray& text, QStringList& hosts,
              const std::function<void(const QString&)>& include)
{
    for (const QByteArray& raw : text.split('\n')) {
        const QStringList words = configWords(QString::fromUtf8(raw));
        if (words.isEmpty())
            continue;
        const QString keyword = words.constFirst().toLower();
        if (keyword == u"include" && include) {
            for (qsizetype i = 1; i < words.size(); ++i)
                include(words.at(i));
            continue;
        }
        if (keyword != u"host")
            continue;
        for (qsizetype i = 1; i < words.size(); ++i) {
            const QString& name = words.at(i);
            if (isOneMachine(name) && !hosts.contains(name, Qt::CaseInsensitive))
                hosts.append(name);
        }
    }
}

void readInto(const QString& path, const QString& sshFolder, int depth, QStringList& hosts)
{
    QFile file(path);
    if (depth > maximumIncludeDepth || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray text = file.read(maximumFileSize);
    addHosts(text, hosts, [&](const QString& pattern) {
        QString target = pattern;
        if (target.startsWith(QLatin1String("~/")))
            target = QDir::home().filePath(target.mid(2));
        const QFileInfo where(QDir(sshFolder), target);
        const QDir folder = where.dir();
        const QStringList names =
            folder.entryList({where.fileName()}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QString& name : names)
            readInto(folder.filePath(name), sshFolder, depth + 1, hosts);
    });
}

} // namespace

QStringList sshConfigHosts(const QByteArray& text)
{
    QStringList hosts;
    addHosts(text, hosts, {});
    return hosts;
}

QStringList readSshConfigHosts(const QString& path, const QString& sshFolder)
{
    QStringList hosts;
    readInto(path, sshFolder, 0, hosts);
    return hosts;
}
