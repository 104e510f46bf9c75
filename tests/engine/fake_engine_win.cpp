// A stand-in for the carving engine, for the engine-run tests only (never shipped). The front end
// starts it as Ember/embsrv.exe exactly as it starts the real one; what it then does is chosen
// by the environment variable TESSERA_FAKE_ENGINE:
//   finds=N       N found files written to the work folder and reported, then the pipe closed;
//                 options may follow, separated by commas:
//                   exit=C        ends with exit code C (0 without it); for 0, 7, 8 and 9 it
//                                 first writes the summary file .ember_summary as the engine does
//                   unreadable=S  the summary's count of unreadable sectors
//                   outside       also reports files outside the work folder (written there too)
//                   killed        dies after the finds without a summary or a last packet
//                   premade=PATH  the finds are not written but taken from the folder PATH
//                                 (f0000000.jpg and on, made beforehand), which is moved into
//                                 the work folder as "found" in one step: a bench's 100,000
//                                 finds would take Wine longer to write than the bench runs
//                   pause=MS      rests MS milliseconds after every hundredth find, as a scan
//                                 of a real card spreads its finds out
//   zero_end      one progress packet, then a zero-length message
//   short         a 100-byte message
//   long          a 300-byte message
//   crash         one packet, then the process dies as a crash ends it
//   hang          connects and never writes
//   stream        a packet every 2 ms (a found file every 10th) until it is killed
//   unterminated  one packet whose path (the work folder, then letters) fills all 264 bytes
//                 without a terminator
//   no_pipe       ends at once without opening the pipe
// With TESSERA_FAKE_ENGINE_LOG set it first writes its command line, byte for byte, to that file.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "contract/pipe_packet.h"

namespace {

HANDLE connect_pipe() {
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE pipe = CreateFileW(L"\\\\.\\pipe\\Ember", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) return pipe;
        WaitNamedPipeW(L"\\\\.\\pipe\\Ember", 50);
        Sleep(10);
    }
    return INVALID_HANDLE_VALUE;
}

bool send_bytes(HANDLE pipe, const void* bytes, DWORD size) {
    DWORD written = 0;
    return WriteFile(pipe, bytes, size, &written, nullptr) && written == size;
}

bool send_packet(HANDLE pipe, uint64_t total, uint64_t current, const std::string& path) {
    pipe_packet_t packet;
    packet.total_sectors = total;
    packet.current_sector = current;
    std::strncpy(packet.found_path, path.c_str(), packet_path_bytes - 1);
    uint8_t bytes[pipe_packet_size];
    encode_pipe_packet(packet, bytes);
    return send_bytes(pipe, bytes, sizeof bytes);
}

// The folder after /d, between its double quotes.
std::string work_folder(const char* command_line) {
    const char* start = std::strstr(command_line, "/d \"");
    if (!start) return {};
    start += 4;
    const char* end = std::strchr(start, '"');
    return end ? std::string(start, end) : std::string();
}

std::string write_found_file(const std::string& folder, int number) {
    char name[32];
    std::snprintf(name, sizeof name, "\\f%07d.jpg", number);
    std::string path = folder + name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        std::string content = "found file " + std::to_string(number);
        DWORD written = 0;
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(file);
    }
    return path;
}

// The number after "key=" in a comma-separated scenario, or `otherwise`.
long long option(const std::string& scenario, const char* key, long long otherwise) {
    std::string needle = std::string(key) + "=";
    size_t at = scenario.find(needle);
    return at == std::string::npos ? otherwise : std::atoll(scenario.c_str() + at + needle.size());
}

void write_summary(const std::string& folder, uint64_t total, uint64_t unreadable, int files, int exit_code) {
    std::string temporary = folder + "\\.ember_summary.tmp";
    FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) return;
    std::fprintf(out, "total_sectors=%llu\nscanned_sectors=%llu\nunreadable_sectors=%llu\nfiles=%d\nexit=%d\n",
                 static_cast<unsigned long long>(total), static_cast<unsigned long long>(total),
                 static_cast<unsigned long long>(unreadable), files, exit_code);
    std::fclose(out);
    MoveFileExA(temporary.c_str(), (folder + "\\.ember_summary").c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int main() {
    const char* command_line = GetCommandLineA();
    if (const char* log = std::getenv("TESSERA_FAKE_ENGINE_LOG")) {
        if (FILE* out = std::fopen(log, "wb")) {
            std::fwrite(command_line, 1, std::strlen(command_line), out);
            std::fclose(out);
        }
    }
    const char* scenario_text = std::getenv("TESSERA_FAKE_ENGINE");
    std::string scenario = scenario_text ? scenario_text : "finds=3";
    std::string folder = work_folder(command_line);
    CreateDirectoryA(folder.c_str(), nullptr);

    if (scenario == "no_pipe") return 3;
    HANDLE pipe = connect_pipe();
    if (pipe == INVALID_HANDLE_VALUE) return 2;

    if (scenario.rfind("finds=", 0) == 0) {
        int count = std::atoi(scenario.c_str() + 6);
        int exit_code = static_cast<int>(option(scenario, "exit", 0));
        uint64_t total = uint64_t(count) * 10;
        send_packet(pipe, 0, 0, "");  // size not known yet
        if (scenario.find("outside") != std::string::npos) {
            // A sibling whose name starts like the work folder's, and a climb out of it.
            std::string sibling = folder + "2";
            CreateDirectoryA(sibling.c_str(), nullptr);
            send_packet(pipe, total, 0, write_found_file(sibling, 90));
            write_found_file(folder + "\\..", 91);
            send_packet(pipe, total, 0, folder + "\\..\\f0000091.jpg");
        }
        std::string premade;
        if (size_t at = scenario.find("premade="); at != std::string::npos) {
            premade = scenario.substr(at + 8);
            premade = premade.substr(0, premade.find(','));
            if (!MoveFileA(premade.c_str(), (folder + "\\found").c_str())) premade.clear();
        }
        const long long pause_ms = option(scenario, "pause", 0);
        for (int i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "\\found\\f%07d.jpg", i);
            std::string path = premade.empty() ? write_found_file(folder, i) : folder + name;
            send_packet(pipe, total, uint64_t(i) * 10, path);
            if (pause_ms > 0 && i % 100 == 99) Sleep(static_cast<DWORD>(pause_ms));
        }
        if (scenario.find("killed") != std::string::npos) TerminateProcess(GetCurrentProcess(), 1);
        send_packet(pipe, total, exit_code == 9 ? total / 2 : total, "");
        if (exit_code == 0 || (exit_code >= 7 && exit_code <= 9))
            write_summary(folder, total, static_cast<uint64_t>(option(scenario, "unreadable", 0)), count, exit_code);
        FlushFileBuffers(pipe);
        CloseHandle(pipe);
        return exit_code;
    } else if (scenario == "zero_end") {
        send_packet(pipe, 100, 50, "");
        send_bytes(pipe, "", 0);
    } else if (scenario == "short") {
        char bytes[100] = {};
        send_bytes(pipe, bytes, sizeof bytes);
    } else if (scenario == "long") {
        char bytes[300] = {};
        send_bytes(pipe, bytes, sizeof bytes);
    } else if (scenario == "crash") {
        send_packet(pipe, 100, 10, "");
        Sleep(100);
        // Dies the way a crash ends a process, without closing anything itself. (A real fault
        // would start Wine's debugger, which keeps the process alive.)
        TerminateProcess(GetCurrentProcess(), 0xC0000005);
    } else if (scenario == "hang") {
        Sleep(INFINITE);
    } else if (scenario == "stream") {
        for (uint64_t i = 1;; ++i) {
            std::string path = i % 10 == 0 ? write_found_file(folder, static_cast<int>(i / 10)) : "";
            if (!send_packet(pipe, 1000000, i, path)) break;
            Sleep(2);
        }
    } else if (scenario == "unterminated") {
        pipe_packet_t packet;
        packet.total_sectors = 8;
        packet.current_sector = 4;
        std::memset(packet.found_path, 'a', packet_path_bytes);
        std::memcpy(packet.found_path, (folder + "\\").data(), folder.size() + 1);
        uint8_t bytes[pipe_packet_size];
        encode_pipe_packet(packet, bytes);
        send_bytes(pipe, bytes, sizeof bytes);
    }
    FlushFileBuffers(pipe);
    CloseHandle(pipe);
    return 0;
}
