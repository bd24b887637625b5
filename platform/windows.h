// Everything the program may call of the device platform. The program includes this
// header (or one family of it) and the C++ standard library, nothing else. The families up
// to winnls.h are shared with desktop Win32; the last three are the handheld's own, which
// a desktop build takes from here on top of its own system headers.
#pragma once

#include "wintypes.h"
#include "winstring.h"
#include "wintime.h"
#include "winfile.h"
#include "winreg.h"
#include "winmem.h"
#include "winproc.h"
#include "winuser.h"
#include "winres.h"
#include "wingdi.h"
#include "commctrl.h"
#include "winnls.h"

#include "winnotify.h"
#include "aygshell.h"
#include "handheld.h"

// The program's entry point, called by the platform's start-up code with the command
// line that follows the program's name. Its result is the process exit code.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand);
