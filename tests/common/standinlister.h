#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Stand-in listers: shell scripts that print what a test row needs, in place of lsof.
class StandInListers
{
public:
    // A lister for the current row that notes its pid in PATH.pid; a null body leaves it
    // missing.
    QString forRow(const QByteArray& body)
    {
        QFile file(m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) +
                                  QString::fromLatin1(QTest::currentDataTag())));
        if (!body.isNull() && file.open(QIODevice::WriteOnly)) {
            file.write("#!/bin/sh\necho $$ > \"$0.pid\"\n" + body + '\n');
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
        return file.fileName();
    }

private:
    QTemporaryDir m_dir;
};
