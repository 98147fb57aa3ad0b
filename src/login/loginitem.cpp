#include "loginitem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <filesystem>
#include <system_error>

namespace {

// Like `test -e`, but a dangling symbolic link counts too: it is an item at the path.
bool itemExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// QDir::mkpath says only yes or no; the user deserves the reason.
std::optional<LoginItem::Failure> makeFolder(const QString& path)
{
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(path).toStdString(), error);
    if (!error)
        return std::nullopt;
    return LoginItem::Failure(
        QCoreApplication::translate("LoginItem", "Couldn't create the folder “%1”: %2.")
            .arg(QDir::toNativeSeparators(path), QString::fromStdString(error.message())));
}

} // namespace

LoginItem::LoginItem(const Environment& environment, const QString& entryPath)
    : m_environment(environment), m_label(labelFor(environment)), m_entryPath(entryPath)
{}

QString LoginItem::labelFor(const Environment& environment)
{
    return environment.identifier.isEmpty() ? QStringLiteral("com.kestrel.unknown")
                                            : environment.identifier;
}

bool LoginItem::isEnabled() const
{
    return itemExists(m_entryPath);
}

std::optional<LoginItem::Failure> LoginItem::setEnabled(bool enabled)
{
    return enabled ? enable() : disable();
}

std::optional<LoginItem::Failure> LoginItem::enable()
{
    const QString& executable = m_environment.executablePath;
    if (executable.isEmpty() || !itemExists(executable))
        return Failure(QCoreApplication::translate("LoginItem", "Couldn't find the app on disk."));

    if (auto failure = makeFolder(QFileInfo(m_entryPath).absolutePath()))
        return failure;

    // QSaveFile writes through a symbolic link, over whatever file it points to; the entry
    // must replace the link itself and leave that file alone.
    if (QFileInfo(m_entryPath).isSymLink()) {
        QFile link(m_entryPath);
        if (!link.remove()) {
            return Failure(
                QCoreApplication::translate("LoginItem", "Couldn't replace the link “%1”: %2.")
                    .arg(QDir::toNativeSeparators(m_entryPath), link.errorString()));
        }
    }

    // Atomic: a failed write leaves any earlier entry whole.
    QSaveFile file(m_entryPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(entryContents()) < 0 || !file.commit()) {
        return Failure(QCoreApplication::translate("LoginItem", "Couldn't write “%1”: %2.")
                           .arg(QDir::toNativeSeparators(m_entryPath), file.errorString()));
    }
    return std::nullopt;
}

std::optional<LoginItem::Failure> LoginItem::disable()
{
    beforeRemoving();
    if (!itemExists(m_entryPath))
        return std::nullopt;
    // A plain file removal: a folder someone put here is reported, not deleted with its contents.
    QFile file(m_entryPath);
    if (!file.remove()) {
        return Failure(QCoreApplication::translate("LoginItem", "Couldn't remove “%1”: %2.")
                           .arg(QDir::toNativeSeparators(m_entryPath), file.errorString()));
    }
    return std::nullopt;
}
