// Moving a file pointer without its high half: the handheld, as the platform documents it,
// fails when the new position does not fit 32 bits (a file of 4 GiB or more, moved to its
// end). Wine moves there and returns the low half, as if the file were 4 GiB shorter.
#include "port/win32/port.h"

#undef SetFilePointer

DWORD WINAPI portSetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
    if (!distanceHigh) {
        LARGE_INTEGER base = {};
        LARGE_INTEGER none = {};
        bool known = moveMethod == FILE_BEGIN ||
                     (moveMethod == FILE_CURRENT && SetFilePointerEx(file, none, &base, FILE_CURRENT)) ||
                     (moveMethod == FILE_END && GetFileSizeEx(file, &base));
        if (known && base.QuadPart + distance > 0xFFFFFFFFLL) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
        }
    }
    return SetFilePointer(file, distance, distanceHigh, moveMethod);
}
