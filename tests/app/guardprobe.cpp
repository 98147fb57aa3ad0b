// Runs only the single-instance guard, for the tests that need real processes:
//   guardprobe IDENTIFIER LOCKDIR
// Prints "duplicate" and exits 0, or prints "holding" and keeps the lock until its standard
// input closes.
#include "singleinstance.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3)
        return 2;
    const SingleInstanceGuard guard(arguments[1], arguments[2]);
    if (guard.isDuplicate()) {
        std::puts("duplicate");
        return 0;
    }
    std::puts("holding");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}
