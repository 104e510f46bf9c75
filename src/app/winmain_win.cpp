// The process entry: one running copy, COM and the common controls, start-up, the main window.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/single_instance_win.h"
#include "app/startup_win.h"
#include "media/video_decode_win.h"
#include "ui/message_loop_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command) {
    if (check_single_instance() != 0) return -1;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    app_module.init();
    int result = -1;
    // Nothing may unwind out of the entry point; an exception during start-up ends the run.
    try {
        if (init_application() == 0) result = run_main_window(show_command);
    } catch (...) {
        result = -1;
    }
    app_module.term();
    CoUninitialize();
    // A video reader stuck inside the system's decoders must not be unloaded under.
    end_process_if_readers_run(unsigned(result));
    return result;
}
