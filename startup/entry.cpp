// The program entry. The runtime has started when WinMain runs; SaverMain reads the command line
// itself and ends the process, so the arguments are not used.
#include "startup/modes.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    SaverMain();
    return 0;
}
