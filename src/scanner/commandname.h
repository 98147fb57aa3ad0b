#pragma once

#include <QByteArrayView>
#include <QString>

// A process's command name as the kernel gives it, made printable the way lsof's field
// output does it (a tab becomes the two characters "\t"), so every source reports the
// same text and no raw control character reaches the screen.
QString escapeCommandName(QByteArrayView raw);
