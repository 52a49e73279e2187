// The program entry. The saver links no C runtime, so the system calls this routine directly,
// with nothing set up. SaverMain needs nothing set up: it reads the command line itself, the
// process-wide records are initialised data in the image (no constructor runs), and it ends the
// process itself.
//
// WinMainCRTStartup is the name the linker takes as a GUI program's entry.
#include "startup/modes.h"

// The system does not promise the 16-byte stack alignment that compiled code assumes on i686;
// the attribute realigns it (on x86-64 the calling convention already gives it).
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void WinMainCRTStartup(void) {
    SaverMain();
    // SaverMain ends the process; should it ever come back, so does the entry.
    ExitProcess(0);
}
