// Temporary files: the contents of "\Temp" and "\Windows\Temp".
#include "app/quillex.h"

DWORD cleanupTemp(int flag) {
    if (flag) writeLog("cleanupTemp");
    DWORD total = sweepFolder(TEXT("\\Temp"), flag);
    total += sweepFolder(TEXT("\\Windows\\Temp"), flag);
    return flag ? 0 : total;
}
