#include "engine/engine_run_win.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/path_text.h"
#include "base/wide_text_win.h"
#include "engine/find_index_file_win.h"
#include "engine/found_queue_win.h"
#include "contract/pipe_packet.h"
#include "engine/work_folders_win.h"
#include "engine/work_path.h"

namespace {

constexpr DWORD pipe_output_buffer = 0x4000;
constexpr DWORD pipe_input_buffer = 0x100000;

// The longest name the engine writes into its work folder: a dot while unfinished, "f", a start
// sector of up to 20 digits, a dot and an extension of up to 8 characters; and the separator.
constexpr size_t longest_work_file_name = 1 + 1 + 1 + 20 + 1 + 8;

// The summary the engine left in the work folder, read with a bound.
bool read_summary(const std::string& work_dir, run_summary_t& summary) {
    std::string path = append_path_component(work_dir, run_summary_name);
    file_handle_c file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.is_valid()) return false;
    char bytes[max_run_summary_bytes + 1];
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes, sizeof bytes, &got, nullptr)) return false;
    return parse_run_summary(std::string_view(bytes, got), summary);
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

// The volume name ("\\?\Volume{...}\") of a scan source given as a volume name, a drive ("X:",
// "X:\", "\\.\X:") or of the volume holding a folder; empty when it is none of these (an image
// file as source) or the system cannot tell.
std::wstring volume_name_of(std::wstring path, bool is_folder) {
    wchar_t name[MAX_PATH] = {};
    if (is_folder) {
        wchar_t mount[MAX_PATH] = {};
        if (!GetVolumePathNameW(path.c_str(), mount, MAX_PATH)) return {};
        path = mount;
    } else {
        if (path.rfind(L"\\\\.\\", 0) == 0) path.erase(0, 4);
        if (path.rfind(L"\\\\?\\Volume{", 0) != 0 && !(path.size() <= 3 && path.size() >= 2 && path[1] == L':'))
            return {};
    }
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    path.push_back(L'\\');
    if (path.rfind(L"\\\\?\\Volume{", 0) == 0) return path;  // already a volume name
    if (!GetVolumeNameForVolumeMountPointW(path.c_str(), name, MAX_PATH)) return {};
    return name;
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

run_end_t check_before_start(const scan_request_t& request) {
    DWORD attributes = GetFileAttributesA(engine_program);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return run_end_t::no_engine;
    std::string cache(request.cache_dir, strnlen(request.cache_dir, request_text_capacity));
    size_t wide_length = 0;
    while (wide_length < request_text_capacity && request.cache_path[wide_length] != u'\0') ++wide_length;
    std::u16string wide_cache(request.cache_path, wide_length);
    // "?" is what the code page puts for a character it cannot hold, and never part of a path.
    bool is_lost = cache.empty() || cache.find('?') != std::string::npos ||
                   (!wide_cache.empty() && from_ansi(cache) != wide_cache);
    std::string work = build_engine_command_line(request, {}).work_dir;
    if (is_lost || work.size() + longest_work_file_name > max_found_path) return run_end_t::bad_cache_path;
    // The work folder is made before the engine starts: on the card being scanned it would be
    // written onto the card, so it is refused here (the options page refuses it first).
    std::string volume(request.volume, strnlen(request.volume, request_text_capacity));
    std::wstring source = volume_name_of(reinterpret_cast<const wchar_t*>(from_ansi(volume).c_str()), false);
    if (!source.empty() && lstrcmpiW(source.c_str(), volume_name_of(reinterpret_cast<const wchar_t*>(from_ansi(cache).c_str()), true).c_str()) == 0)
        return run_end_t::not_started;
    return run_end_t::none;
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
    find_index_file_c index(from_ansi(run.work_dir));
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
        if (path_length > 0 && is_path_inside_folder(std::string_view(packet.found_path, path_length), run.work_dir)) {
            // Ember writes a find's index line before its packet, so the line is there to read.
            std::string_view path(packet.found_path, path_length);
            size_t separator = path.find_last_of("\\/");
            find_origin_t origin;
            bool is_known = index.take(std::string(path.substr(separator == std::string_view::npos ? 0 : separator + 1)), origin);
            queue_found_file(packet.found_path, path_length, is_known ? &origin : nullptr);
        }
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
        // The previous work folders are set aside in one rename each and deleted meanwhile; the
        // new scan waits for none of it.
        std::u16string work_dir = prepare_work_folder(cache_dir);
        start_deleting_set_aside_folders(cache_dir);
        run.work_dir = to_ansi(work_dir);
        if (run.must_end) {
            run.end = run_end_t::stopped;
            return -1;
        }
        if (work_dir.empty() || !start_engine(run, build_engine_command_line(request, search_options, run.work_dir).command_line)) {
            run.end = run_end_t::not_started;
            return -1;
        }
    }
    int32_t result = read_engine_pipe(run);
    // The run is over once the pipe is; an engine that has not ended by itself shortly after
    // is ended here rather than left scanning and writing into a work folder nobody reads.
    reader_gate_c gate(run.reader_gate.get());
    HANDLE process = run.engine_process.get();
    if (process && gate.release_during([&] { return WaitForSingleObject(process, engine_exit_grace_ms); }) == WAIT_TIMEOUT) {
        TerminateProcess(process, 0xFFFFFFFF);
        gate.release_during([&] { return WaitForSingleObject(process, engine_exit_grace_ms); });
    }
    DWORD exit_code = 0xFFFFFFFF;
    if (!process || !GetExitCodeProcess(process, &exit_code) || exit_code == STILL_ACTIVE) exit_code = 0xFFFFFFFF;
    run.has_summary = read_summary(run.work_dir, run.summary);
    run.end = run.must_end ? run_end_t::stopped : run_end_of_exit_code(exit_code);
    return result;
}
