#pragma once

class QProcess;

// Makes the process, when started, end (SIGTERM) as soon as this program dies, however it
// dies, where the system offers that (Linux); elsewhere only the program's own orderly end
// ends it. For the forwards' ssh, which would otherwise hold their ports here for ever.
void endWithThisProgram(QProcess& process);
