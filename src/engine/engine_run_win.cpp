#include "engine/engine_run_win.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/path_text.h"
#include "app/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "contract/pipe_packet.h"
#include "engine/work_folders_win.h"

namespace {

constexpr DWORD pipe_output_buffer = 0x4000;
constexpr DWORD pipe_input_buffer = 0x100000;

void make_cache_folder(const std::u16string& folder) {
    if (folder.empty() || PathIsDirectoryW(wide(folder))) return;
    SHCreateDirectoryExW(nullptr, wide(folder), nullptr);
}

bool start_engine(engine_run_t& run, const std::string& command_line) {
    std::vector<char> writable(command_line.begin(), command_line.end());
    writable.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    run.engine_process_id = 0;
    if (!CreateProcessA(engine_program, writable.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info))
        return false;
    run.engine_process.reset(info.hProcess);
    run.engine_thread.reset(info.hThread);
    run.engine_process_id = info.dwProcessId;
    run.engine_thread_id = info.dwThreadId;
    return true;
}

constexpr DWORD connect_poll_ms = 20;

bool is_connect_success(DWORD error) {
    // Connected before we asked, or connected and already closed by the engine: either way
    // what it wrote is read next.
    return error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA;
}

// Waits until the engine has opened the pipe, or has ended without doing so (it crashed on the
// way), which a blocking connect would wait out forever. The pipe listens without blocking
// meanwhile and goes back to blocking reads afterwards.
bool wait_for_engine(HANDLE pipe, HANDLE engine, reader_gate_c& gate, const std::atomic<bool>& must_end) {
    DWORD mode = PIPE_READMODE_MESSAGE | PIPE_NOWAIT;
    if (!engine || !SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
        return gate.release_during([&] { return ConnectNamedPipe(pipe, nullptr) != FALSE; }) ||
               is_connect_success(GetLastError());
    }
    bool is_connected = false;
    for (;;) {
        bool has_ended = WaitForSingleObject(engine, 0) == WAIT_OBJECT_0;
        if (ConnectNamedPipe(pipe, nullptr) || is_connect_success(GetLastError())) {
            is_connected = true;
            break;
        }
        if (GetLastError() != ERROR_PIPE_LISTENING || has_ended || must_end) break;
        gate.release_during([&] { return WaitForSingleObject(engine, connect_poll_ms); });
    }
    mode = PIPE_READMODE_MESSAGE | PIPE_WAIT;
    SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
    return is_connected;
}

}  // namespace

reader_gate_c::reader_gate_c(HANDLE gate) : gate_(gate) { enter(); }
reader_gate_c::~reader_gate_c() { leave(); }

void reader_gate_c::enter() {
    if (gate_) WaitForSingleObject(gate_, INFINITE);  // an abandoned gate counts as taken
}

void reader_gate_c::leave() {
    if (gate_) ReleaseMutex(gate_);
}

HANDLE create_engine_pipe() {
    return CreateNamedPipeW(engine_pipe_name, PIPE_ACCESS_DUPLEX,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                            pipe_output_buffer, pipe_input_buffer, 0, nullptr);
}

void close_engine_pipe(engine_run_t& run) {
    file_handle_c pipe(run.pipe.exchange(INVALID_HANDLE_VALUE));
    if (!pipe.is_valid()) return;
    FlushFileBuffers(pipe.get());
    DisconnectNamedPipe(pipe.get());
}

int32_t read_engine_pipe(engine_run_t& run) {
    reader_gate_c gate(run.reader_gate.get());
    HANDLE pipe = run.pipe.load();
    if (!wait_for_engine(pipe, run.engine_process.get(), gate, run.must_end)) {
        file_handle_c unconnected(run.pipe.exchange(INVALID_HANDLE_VALUE));  // closed on return
        return -1;
    }
    for (;;) {
        uint8_t bytes[pipe_packet_size];
        DWORD got = 0;
        bool is_read = gate.release_during(
            [&] { return ReadFile(pipe, bytes, pipe_packet_size, &got, nullptr) != FALSE; });
        // A failed read covers a closed client and a message longer than a packet.
        if (!is_read || run.must_end) return -1;
        if (got == 0) return 0;
        pipe_packet_t packet;
        if (!decode_pipe_packet(bytes, got, packet)) return -1;
        run.total_sectors.store(packet.total_sectors);
        run.current_sector.store(packet.current_sector);
        size_t path_length = packet_path_length(packet);
        if (path_length > 0) queue_found_file(packet.found_path, path_length);
    }
}

int32_t run_engine(void* param) {
    auto& run = *static_cast<engine_run_t*>(param);
    {
        // Everything this block allocates is freed before the gate is left: a reader killed
        // outside the gate must not be inside the heap.
        reader_gate_c gate(run.reader_gate.get());
        if (run.reader_started.is_valid()) SetEvent(run.reader_started.get());
        reset_found_queue();
        const scan_request_t& request = run.request;
        std::string search_options =
            build_search_options(request.want_photo, request.want_video, request.want_audio);
        std::u16string cache_dir = from_ansi(std::string(request.cache_dir, strnlen(request.cache_dir, request_text_capacity)));
        delete_work_files(cache_dir);
        make_cache_folder(cache_dir);
        std::string command_line = build_engine_command_line(request, search_options).command_line;
        if (run.must_end || !start_engine(run, command_line)) return -1;
    }
    int32_t result = read_engine_pipe(run);
    // The run is over once the pipe is; an engine that has not ended by itself shortly after
    // is ended here rather than left scanning and writing into a work folder nobody reads.
    reader_gate_c gate(run.reader_gate.get());
    HANDLE process = run.engine_process.get();
    if (process && gate.release_during([&] { return WaitForSingleObject(process, engine_exit_grace_ms); }) == WAIT_TIMEOUT)
        TerminateProcess(process, 0xFFFFFFFF);
    return result;
}
