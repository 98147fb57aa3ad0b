#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>

// User names by uid, each looked up once: a scan asks for the same few users again and
// again. Cleared now and then, so that a user renamed or added shows in time.
class UserNames
{
public:
    // The user's name; the uid in decimal when the user database has none.
    const QString& name(quint32 uid);
    void clear() { m_names.clear(); }

private:
    QHash<quint32, QString> m_names;
};
