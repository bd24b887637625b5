// Everything the program may call of the device platform. The program includes this
// header (or one family of it) and the C++ standard library, nothing else.
#pragma once

#include "wintypes.h"
#include "winstring.h"
#include "wintime.h"
#include "winfile.h"
#include "winreg.h"
#include "winnotify.h"
#include "winmem.h"
#include "winproc.h"
#include "winuser.h"
#include "winres.h"
#include "wingdi.h"
#include "commctrl.h"
#include "aygshell.h"
#include "winnls.h"

// The program's entry point, called by the platform's start-up code with the command
// line that follows the program's name. Its result is the process exit code.
int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand);
