// embsrv.exe: the command line exactly as the front end wrote it.
#include <windows.h>

#include "engine_main.h"

int main() { return ember::engine_main(GetCommandLineA()); }
