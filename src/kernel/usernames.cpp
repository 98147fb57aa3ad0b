#include "usernames.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

const QString& UserNames::name(quint32 uid)
{
    const auto known = m_names.constFind(uid);
    if (known != m_names.cend())
        return known.value();
    passwd entry = {};
    passwd* found = nullptr;
    std::vector<char> buffer(4096);
    int error;
    while ((error = ::getpwuid_r(uid_t(uid), &entry, buffer.data(), buffer.size(), &found)) ==
               ERANGE &&
           buffer.size() < 1024 * 1024)
        buffer.resize(buffer.size() * 2);
    const QString name = error == 0 && found && found->pw_name[0] != '\0'
                             ? QString::fromLocal8Bit(found->pw_name)
                             : QString::number(uid);
    return m_names.insert(uid, name).value();
}
