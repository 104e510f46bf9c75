// embsrv for Linux: the same command line as on Windows, rebuilt from the arguments (the work
// folder, and any argument with a space, in double quotes).
#include <string>

#include "engine_main.h"

int main(int argc, char** argv) {
    std::string line = "embsrv";
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool is_quoted = std::string(argv[i - 1]) == "/d" || arg.find(' ') != std::string::npos;
        line += ' ';
        line += is_quoted ? "\"" + arg + "\"" : arg;
    }
    return ember::engine_main(line);
}
