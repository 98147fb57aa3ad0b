#include "childlifetime.h"

void endWithThisProgram(QProcess&)
{
    // No such request here: the forwards end with the program's orderly end only.
}
