#include "media/video_decode_win.h"

#include <windows.h>
#include <process.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <memory>
#include <vector>

#include "base/unicode_text.h"
#include "base/wide_text_win.h"
#include "media/iso_media_time.h"
#include "media/thumbnail_group.h"
#include "media/yuv_frame.h"
#include "base/handles_win.h"
#include "media/file_byte_source_win.h"

namespace {

// The first use starts GStreamer under Wine (about 0.6 s) and a large HEVC frame takes about
// 0.5 s more; a video still undecoded after this is given up.
constexpr DWORD frame_timeout_ms = 15000;
// Readers given up on and still running. Past this many the decoder is taken to be stuck and no
// more videos are handed to it until one of them ends.
constexpr int max_stuck_readers = 2;
std::atomic<int> stuck_readers{0};
// Reader threads started and not yet ended, stuck or not: while one runs, it may be inside Media
// Foundation and the decoders under it.
std::atomic<int> running_readers{0};

// Set once when the program closes: no wait for a reader lasts past it. Made on first use and
// kept for the life of the process.
HANDLE closing_event() {
    static HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}
// Samples read before the first frame (stream ticks and gaps carry none).
constexpr int max_reads = 16;

// Media Foundation is loaded at run time: Windows editions without it (the N editions) still run
// the program, with placeholders for these videos.
struct media_foundation_t {
    HMODULE platform = nullptr, reader = nullptr;
    decltype(&MFStartup) startup = nullptr;
    decltype(&MFShutdown) shutdown = nullptr;
    decltype(&MFCreateAttributes) create_attributes = nullptr;
    decltype(&MFCreateMediaType) create_media_type = nullptr;
    decltype(&MFCreateSourceReaderFromURL) create_reader = nullptr;
    decltype(&MFCreateSourceReaderFromByteStream) create_stream_reader = nullptr;
    bool is_loaded = false;
};

template <class fn>
bool bind(HMODULE module, const char* name, fn& target) {
    target = module ? reinterpret_cast<fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
    return target != nullptr;
}

// Loaded once and kept for the process: reader threads that were given up on may still use it.
const media_foundation_t& media_foundation() {
    static const media_foundation_t loaded = [] {
        media_foundation_t mf;
        UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        // From the system folder only, never a DLL of that name beside a video or the program.
        wchar_t system[MAX_PATH] = {};
        UINT length = GetSystemDirectoryW(system, MAX_PATH);
        if (length > 0 && length < MAX_PATH - 20) {
            std::wstring folder = std::wstring(system, length) + L"\\";
            mf.platform = LoadLibraryW((folder + L"mfplat.dll").c_str());
            mf.reader = LoadLibraryW((folder + L"mfreadwrite.dll").c_str());
        }
        SetErrorMode(old_mode);
        mf.is_loaded = bind(mf.platform, "MFStartup", mf.startup) && bind(mf.platform, "MFShutdown", mf.shutdown) &&
                       bind(mf.platform, "MFCreateAttributes", mf.create_attributes) &&
                       bind(mf.platform, "MFCreateMediaType", mf.create_media_type) &&
                       bind(mf.reader, "MFCreateSourceReaderFromURL", mf.create_reader) &&
                       bind(mf.reader, "MFCreateSourceReaderFromByteStream", mf.create_stream_reader);
        return mf;
    }();
    return loaded;
}

template <class T>
struct com_c {
    T* p = nullptr;
    com_c() = default;
    com_c(const com_c&) = delete;
    com_c& operator=(const com_c&) = delete;
    ~com_c() {
        if (p) p->Release();
    }
    T** out() { return &p; }
    T* operator->() const { return p; }
};

// What a reader thread hands back; shared with it, since the caller may stop waiting first.
struct frame_job_t {
    std::wstring path;
    IMFByteStream* stream = nullptr;  // read in place of the path when set; the job holds a reference
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> is_abandoned{false};
    bool is_read = false;
    std::vector<uint8_t> bytes;
    yuv_layout_t layout = yuv_layout_t::i420;
    uint32_t width = 0, height = 0, stride = 0;
    ~frame_job_t() {
        if (stream) stream->Release();
        if (done) CloseHandle(done);
    }
};

bool layout_of(const GUID& subtype, yuv_layout_t& layout) {
    if (subtype == MFVideoFormat_NV12) layout = yuv_layout_t::nv12;
    else if (subtype == MFVideoFormat_I420 || subtype == MFVideoFormat_IYUV) layout = yuv_layout_t::i420;
    else return false;
    return true;
}

// Asks for a 4:2:0 layout the frame can be turned from: one the source offers as it is (Wine's
// sources decode themselves), else NV12 or I420 from a decoder the reader adds (Windows).
bool choose_output(const media_foundation_t& mf, IMFSourceReader* reader) {
    const DWORD video = DWORD(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
    for (DWORD i = 0; i < 32; ++i) {
        com_c<IMFMediaType> native;
        if (FAILED(reader->GetNativeMediaType(video, i, native.out()))) break;
        GUID subtype{};
        yuv_layout_t layout;
        if (SUCCEEDED(native->GetGUID(MF_MT_SUBTYPE, &subtype)) && layout_of(subtype, layout) &&
            SUCCEEDED(reader->SetCurrentMediaType(video, nullptr, native.p)))
            return true;
    }
    for (const GUID* subtype : {&MFVideoFormat_NV12, &MFVideoFormat_I420}) {
        com_c<IMFMediaType> wanted;
        if (FAILED(mf.create_media_type(wanted.out())) ||
            FAILED(wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video)) ||
            FAILED(wanted->SetGUID(MF_MT_SUBTYPE, *subtype)))
            continue;
        if (SUCCEEDED(reader->SetCurrentMediaType(video, nullptr, wanted.p))) return true;
    }
    return false;
}

// The reader's part, on its own thread with its own apartment; every object is released before
// Media Foundation and COM are shut down on this same thread.
void read_first_frame(const media_foundation_t& mf, frame_job_t& job) {
    const DWORD video = DWORD(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
    com_c<IMFAttributes> attributes;
    com_c<IMFSourceReader> reader;
    if (FAILED(mf.create_attributes(attributes.out(), 1)) ||
        FAILED(job.stream ? mf.create_stream_reader(job.stream, attributes.p, reader.out())
                          : mf.create_reader(job.path.c_str(), attributes.p, reader.out())) ||
        FAILED(reader->SetStreamSelection(DWORD(MF_SOURCE_READER_ALL_STREAMS), FALSE)) ||
        FAILED(reader->SetStreamSelection(video, TRUE)) || !choose_output(mf, reader.p))
        return;
    com_c<IMFMediaType> current;
    GUID subtype{};
    UINT32 width = 0, height = 0;
    if (FAILED(reader->GetCurrentMediaType(video, current.out())) ||
        FAILED(current->GetGUID(MF_MT_SUBTYPE, &subtype)) || !layout_of(subtype, job.layout) ||
        FAILED(MFGetAttributeSize(current.p, MF_MT_FRAME_SIZE, &width, &height)))
        return;
    // A negative stride is a bottom-up frame, which no 4:2:0 layout is; none given means packed.
    UINT32 stride = MFGetAttributeUINT32(current.p, MF_MT_DEFAULT_STRIDE, width);
    for (int i = 0; i < max_reads; ++i) {
        DWORD flags = 0;
        LONGLONG time = 0;
        com_c<IMFSample> sample;
        if (FAILED(reader->ReadSample(video, 0, nullptr, &flags, &time, sample.out())) ||
            (flags & (MF_SOURCE_READERF_ERROR | MF_SOURCE_READERF_ENDOFSTREAM)))
            return;
        if (!sample.p) continue;
        com_c<IMFMediaBuffer> buffer;
        BYTE* data = nullptr;
        DWORD most = 0, length = 0;
        if (FAILED(sample->ConvertToContiguousBuffer(buffer.out())) || FAILED(buffer->Lock(&data, &most, &length)))
            return;
        uint64_t needed = yuv_frame_bytes(job.layout, width, height, stride);
        if (needed != 0 && length >= needed) {
            job.bytes.assign(data, data + needed);
            job.width = width;
            job.height = height;
            job.stride = stride;
            job.is_read = true;
        }
        buffer->Unlock();
        return;
    }
}

unsigned __stdcall reader_thread(void* argument) {
    std::unique_ptr<std::shared_ptr<frame_job_t>> held(static_cast<std::shared_ptr<frame_job_t>*>(argument));
    std::shared_ptr<frame_job_t> job = *held;
    const media_foundation_t& mf = media_foundation();
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        if (SUCCEEDED(mf.startup(MF_VERSION, MFSTARTUP_LITE))) {
            read_first_frame(mf, *job);
            mf.shutdown();
        }
        CoUninitialize();
    }
    SetEvent(job->done);
    if (job->is_abandoned.exchange(false)) --stuck_readers;
    --running_readers;
    return 0;
}

// An MP4 or QuickTime file that lost its movie box (cut before it, as camera files written with
// the box last are when the card was pulled) cannot be played, and GStreamer's demuxer waits for
// that box forever: such files are not handed to the reader.
bool has_movie_box(const std::u16string& path) {
    std::u16string extension = lower_extension(path);
    if (extension == u".avi") return true;
    file_handle_c file(CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.is_valid()) return false;
    file_source_c source(file.get());
    int64_t seconds = 0;
    iso_media_time_result_t result = read_iso_media_time(source, seconds);
    return result == iso_media_time_result_t::ok || result == iso_media_time_result_t::no_time;
}

}  // namespace

int decode_video_frame(const std::u16string& path, picture_t& picture, video_frame_size_t& size) {
    picture.reset();
    size = video_frame_size_t{};
    if (path.empty() || !has_movie_box(path)) return -1;
    return read_video_frame(path, picture, size);
}

namespace {

// Runs the job on a reader thread of its own and turns the frame it reads into `picture`; -1 for
// no job.
int read_frame(const std::shared_ptr<frame_job_t>& job, picture_t& picture, video_frame_size_t& size) {
    picture.reset();
    size = video_frame_size_t{};
    const media_foundation_t& mf = media_foundation();
    HANDLE closing = closing_event();
    if (!mf.is_loaded || !closing || WaitForSingleObject(closing, 0) == WAIT_OBJECT_0 ||
        stuck_readers >= max_stuck_readers || !job || !job->done)
        return -1;
    auto* argument = new std::shared_ptr<frame_job_t>(job);
    ++running_readers;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, reader_thread, argument, 0, nullptr));
    if (!thread) {
        --running_readers;
        delete argument;
        return -1;
    }
    CloseHandle(thread);
    HANDLE waits[2] = {job->done, closing};
    if (WaitForMultipleObjects(2, waits, FALSE, frame_timeout_ms) != WAIT_OBJECT_0) {
        // Timed out or closing: the thread keeps its share of the job and ends on its own, if ever.
        ++stuck_readers;
        job->is_abandoned = true;
        if (WaitForSingleObject(job->done, 0) == WAIT_OBJECT_0 && job->is_abandoned.exchange(false)) --stuck_readers;
        return -1;
    }
    if (!job->is_read || job->width > INT32_MAX || job->height > INT32_MAX ||
        create_picture(picture, int32_t(job->width), int32_t(job->height), 24) != 0)
        return -1;
    yuv_frame_t frame{job->bytes.data(), job->bytes.size(), job->layout, job->width, job->height, job->stride};
    if (!yuv_to_bgr(frame, picture.bits, picture.stride)) {
        picture.reset();
        return -1;
    }
    size.width = int32_t(job->width);
    size.height = int32_t(job->height);
    return 0;
}

}  // namespace

int read_video_frame(const std::u16string& path, picture_t& picture, video_frame_size_t& size) {
    if (path.empty()) return read_frame(nullptr, picture, size);
    auto job = std::make_shared<frame_job_t>();
    job->path.assign(path.begin(), path.end());
    return read_frame(job, picture, size);
}

int read_video_frame(IMFByteStream* stream, picture_t& picture, video_frame_size_t& size) {
    if (!stream) return read_frame(nullptr, picture, size);
    auto job = std::make_shared<frame_job_t>();
    stream->AddRef();
    job->stream = stream;
    return read_frame(job, picture, size);
}

void stop_video_readers() {
    if (HANDLE closing = closing_event()) SetEvent(closing);
}

int running_video_readers() { return running_readers; }

void end_process_if_readers_run(unsigned exit_code) {
    if (running_readers > 0) TerminateProcess(GetCurrentProcess(), exit_code);
}
