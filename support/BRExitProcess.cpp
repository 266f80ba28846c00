#include "BRExitProcess.h"

#include "BRLog.h"
#include "platform/EndProcess.h"

void BRExitProcess(int status) {
    BRLog::flushLog();
    platform::endProcess(status);
}
