// Reads a video's first frame as a thumbnail worker does, through a byte stream that hands the
// decoder the file's first bytes and then never answers (a card that stopped responding), and
// closes as Tessera.exe closes: after CLOSE_AFTER_MS the waits for readers stop, a worker that
// takes the next video meanwhile gets none, and the process ends through the program's last step.
// Run by video_exit_test.sh.
//   video_exit_probe VIDEO BYTES_ANSWERED CLOSE_AFTER_MS
// Prints how the reads ended and how many readers still ran; exits with 0.
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>

#include "media/video_decode_win.h"

namespace {

DWORD close_after_ms = 0;

// The window's closing, on a thread of its own that stays until the process ends.
DWORD WINAPI close_program(void*) {
    Sleep(close_after_ms);
    stop_video_readers();
    Sleep(INFINITE);
    return 0;
}

// A file's byte stream whose reads past `answered` bytes never return.
class stalling_stream_c final : public IMFByteStream {
public:
    stalling_stream_c(IMFByteStream* file, QWORD answered) : file_(file), answered_(answered) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        if (id == IID_IUnknown || id == IID_IMFByteStream) {
            *out = static_cast<IMFByteStream*>(this);
            AddRef();
            return S_OK;
        }
        // Its attributes (the file's name, by which the demuxer is chosen) are the file's.
        return file_->QueryInterface(id, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0) {
            file_->Release();
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* c) override { return file_->GetCapabilities(c); }
    HRESULT STDMETHODCALLTYPE GetLength(QWORD* l) override { return file_->GetLength(l); }
    HRESULT STDMETHODCALLTYPE SetLength(QWORD l) override { return file_->SetLength(l); }
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(QWORD* p) override { return file_->GetCurrentPosition(p); }
    HRESULT STDMETHODCALLTYPE SetCurrentPosition(QWORD p) override { return file_->SetCurrentPosition(p); }
    HRESULT STDMETHODCALLTYPE IsEndOfStream(BOOL* e) override { return file_->IsEndOfStream(e); }
    HRESULT STDMETHODCALLTYPE Read(BYTE* b, ULONG n, ULONG* done) override {
        stall_past(n);
        return file_->Read(b, n, done);
    }
    HRESULT STDMETHODCALLTYPE BeginRead(BYTE* b, ULONG n, IMFAsyncCallback* c, IUnknown* s) override {
        stall_past(n);
        return file_->BeginRead(b, n, c, s);
    }
    HRESULT STDMETHODCALLTYPE EndRead(IMFAsyncResult* r, ULONG* done) override { return file_->EndRead(r, done); }
    HRESULT STDMETHODCALLTYPE Write(const BYTE*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BeginWrite(const BYTE*, ULONG, IMFAsyncCallback*, IUnknown*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EndWrite(IMFAsyncResult*, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Seek(MFBYTESTREAM_SEEK_ORIGIN o, LONGLONG d, DWORD f, QWORD* p) override {
        return file_->Seek(o, d, f, p);
    }
    HRESULT STDMETHODCALLTYPE Flush() override { return file_->Flush(); }
    HRESULT STDMETHODCALLTYPE Close() override { return file_->Close(); }

private:
    void stall_past(ULONG n) {
        QWORD position = 0;
        if (SUCCEEDED(file_->GetCurrentPosition(&position)) && position + n > answered_) Sleep(INFINITE);
    }
    IMFByteStream* file_;
    QWORD answered_;
    std::atomic<ULONG> references_{1};
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    close_after_ms = DWORD(std::wcstoul(argv[3], nullptr, 10));
    IMFByteStream* file = nullptr;
    if (FAILED(MFStartup(MF_VERSION, MFSTARTUP_LITE)) ||
        FAILED(MFCreateFile(MF_ACCESSMODE_READ, MF_OPENMODE_FAIL_IF_NOT_EXIST, MF_FILEFLAGS_NONE, argv[1], &file)))
        return 3;
    auto* stream = new stalling_stream_c(file, std::wcstoull(argv[2], nullptr, 10));
    HANDLE closer = CreateThread(nullptr, 0, close_program, nullptr, 0, nullptr);
    if (!closer) return 4;
    CloseHandle(closer);
    picture_t picture;
    video_frame_size_t size;
    int result = read_video_frame(stream, picture, size);
    stream->Release();
    // The whole file, after the closing: no reader may start any more.
    int after_closing = read_video_frame(std::u16string(argv[1], argv[1] + std::wcslen(argv[1])), picture, size);
    std::printf("read %d, after closing %d, readers running %d\n", result, after_closing, running_video_readers());
    std::fflush(stdout);
    end_process_if_readers_run(0);
    return 0;
}
