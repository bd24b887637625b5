// The keyboard's state: which keys are down as of the last input message taken from the
// queue, as GetKeyState reports it.
#pragma once

#include "platform/winuser.h"

namespace device {

// The state follows every input message taken from the queue.
void keyStateNote(const MSG& message);

// Every key up (the process's windows are being forgotten).
void keyStateReset();

}  // namespace device
