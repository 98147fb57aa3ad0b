#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The script an interpreter runs, as a user knows the program: "nodemon" for
// "node /usr/bin/nodemon app.js", "loop.sh" for "sh ./loop.sh". commandName is the kernel's
// name of the process, commandLine its arguments ended by NUL bytes. Empty when the process
// is no interpreter (node, python, perl, ruby, php or a shell), or it runs no script file (an
// option first: "python3 -m http.server", "bash -c ..."); at most NAME_MAX bytes.
QByteArray scriptName(QByteArrayView commandName, QByteArrayView commandLine);
