#pragma once

#include <QByteArrayView>
#include <QString>

// A process's command name as the kernel gives it, made printable the way lsof's field
// output does it under a UTF-8 locale, so every source reports the same text and no raw
// control character reaches the screen:
//   \b \f \n \r \t      as those two characters
//   other bytes < 0x20  as ^ and the byte + 0x40 (ESC is ^[)
//   a backslash         doubled
//   DEL                 as \x7f
//   UTF-8 characters    unchanged when printable, otherwise each byte as \xNN (lower case)
//   invalid UTF-8       each offending byte as \xNN
// (lsof under the C locale also writes every printable non-ASCII byte as \xNN; a desktop
// session runs under a UTF-8 locale, and that is the form we follow.)
QString escapeCommandName(QByteArrayView raw);
