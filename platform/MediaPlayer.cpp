#include "platform/MediaPlayer.h"

#include "platform/DebugOutput.h"
#include "platform/MediaGraph.h"
#include "platform/MessageQueue.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

// ---- Frame buffers ----

namespace {

// Blocks from this size on are kept for reuse, at most a few of them. Sanitizer builds
// keep none, so every use after release is still caught.
constexpr size_t kPooledSize = size_t(1) << 20;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t kPoolBlocks = 0;
#else
constexpr size_t kPoolBlocks = 3;
#endif

struct TFramePool {
    std::mutex Lock;
    std::vector<std::pair<void*, size_t>> Blocks;  // block, capacity
};

TFramePool& FramePool() {
    // Never freed: frames may be released while the process ends.
    static TFramePool* pool = new TFramePool;
    return *pool;
}

}  // namespace

void* AllocateFrameBytes(size_t size) {
    if (size >= kPooledSize && kPoolBlocks > 0) {
        TFramePool& pool = FramePool();
        std::lock_guard lock(pool.Lock);
        for (auto it = pool.Blocks.begin(); it != pool.Blocks.end(); ++it)
            if (it->second >= size && it->second / 2 <= size) {
                void* block = it->first;
                pool.Blocks.erase(it);
                return block;
            }
    }
    return ::operator new(size);
}

void ReleaseFrameBytes(void* block, size_t size) noexcept {
    if (!block) return;
    if (size >= kPooledSize && kPoolBlocks > 0) {
        TFramePool& pool = FramePool();
        std::lock_guard lock(pool.Lock);
        if (pool.Blocks.size() < kPoolBlocks) {
            pool.Blocks.emplace_back(block, size);
            return;
        }
    }
    ::operator delete(block);
}

// ---- Records ----

void FreeMediaType(TAMMediaType& mediaType) {
    mediaType.Format.clear();
    mediaType.Format.shrink_to_fit();
}

namespace {

void PutRect(uint8_t* p, const TRect& r) {
    PutLE32(p, uint32_t(r.Left));
    PutLE32(p + 4, uint32_t(r.Top));
    PutLE32(p + 8, uint32_t(r.Right));
    PutLE32(p + 12, uint32_t(r.Bottom));
}

TRect GetRect(const uint8_t* p) {
    return TRect{int32_t(GetLE32(p)), int32_t(GetLE32(p + 4)), int32_t(GetLE32(p + 8)), int32_t(GetLE32(p + 12))};
}

// The 48 bytes both headers begin with.
template <class Info>
void PutCommon(uint8_t* p, const Info& info) {
    PutRect(p, info.rcSource);
    PutRect(p + 16, info.rcTarget);
    PutLE32(p + 32, info.dwBitRate);
    PutLE32(p + 36, info.dwBitErrorRate);
    PutLE64(p + 40, uint64_t(info.AvgTimePerFrame));
}

template <class Info>
void GetCommon(const uint8_t* p, Info& info) {
    info.rcSource = GetRect(p);
    info.rcTarget = GetRect(p + 16);
    info.dwBitRate = GetLE32(p + 32);
    info.dwBitErrorRate = GetLE32(p + 36);
    info.AvgTimePerFrame = int64_t(GetLE64(p + 40));
}

}  // namespace

std::vector<uint8_t> EncodeVideoInfoHeader(const TVideoInfoHeader& info) {
    std::vector<uint8_t> block(kVideoInfoHeaderSize);
    PutCommon(block.data(), info);
    WriteBitmapInfoHeader(info.bmiHeader, block.data() + kVideoInfoHeaderBitmapOffset);
    return block;
}

std::vector<uint8_t> EncodeVideoInfoHeader2(const TVideoInfoHeader2& info) {
    std::vector<uint8_t> block(kVideoInfoHeader2Size);
    uint8_t* p = block.data();
    PutCommon(p, info);
    PutLE32(p + 48, info.dwInterlaceFlags);
    PutLE32(p + 52, info.dwCopyProtectFlags);
    PutLE32(p + 56, info.dwPictAspectRatioX);
    PutLE32(p + 60, info.dwPictAspectRatioY);
    PutLE32(p + 64, info.dwControlFlags);
    PutLE32(p + 68, info.dwReserved2);
    WriteBitmapInfoHeader(info.bmiHeader, p + kVideoInfoHeader2BitmapOffset);
    return block;
}

bool DecodeVideoInfoHeader(const std::vector<uint8_t>& block, TVideoInfoHeader& info) {
    if (block.size() < kVideoInfoHeaderSize) return false;
    GetCommon(block.data(), info);
    return ReadBitmapInfoHeader(block.data() + kVideoInfoHeaderBitmapOffset,
                                block.size() - kVideoInfoHeaderBitmapOffset, info.bmiHeader);
}

bool DecodeVideoInfoHeader2(const std::vector<uint8_t>& block, TVideoInfoHeader2& info) {
    if (block.size() < kVideoInfoHeader2Size) return false;
    const uint8_t* p = block.data();
    GetCommon(p, info);
    info.dwInterlaceFlags = GetLE32(p + 48);
    info.dwCopyProtectFlags = GetLE32(p + 52);
    info.dwPictAspectRatioX = GetLE32(p + 56);
    info.dwPictAspectRatioY = GetLE32(p + 60);
    info.dwControlFlags = GetLE32(p + 64);
    info.dwReserved2 = GetLE32(p + 68);
    return ReadBitmapInfoHeader(p + kVideoInfoHeader2BitmapOffset, block.size() - kVideoInfoHeader2BitmapOffset,
                                info.bmiHeader);
}

// ---- Variants ----

TVariant TVariant::FromBool(bool v) {
    TVariant r;
    r.vt = VT_BOOL;
    r.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
}

TVariant TVariant::FromInt(int32_t v) {
    TVariant r;
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}

TVariant TVariant::FromDouble(double v) {
    TVariant r;
    r.vt = VT_R8;
    r.dblVal = v;
    return r;
}

TVariant TVariant::FromString(const AnsiString& v) {
    TVariant r;
    r.vt = VT_BSTR;
    r.bstrVal = v;
    return r;
}

double TVariant::AsDouble() const {
    switch (vt) {
    case VT_I4: return lVal;
    case VT_R8: return dblVal;
    case VT_BOOL: return boolVal;
    case VT_BSTR: return std::strtod(bstrVal.c_str(), nullptr);
    default: return 0;
    }
}

int32_t TVariant::AsInteger() const {
    if (vt == VT_I4) return lVal;
    const double d = AsDouble();
    if (!(std::fabs(d) < 2147483648.0)) return 0;
    return int32_t(std::nearbyint(d));
}

bool TVariant::AsBoolean() const { return vt == VT_BOOL ? boolVal != 0 : AsDouble() != 0; }

AnsiString TVariant::AsString() const {
    char text[40];
    switch (vt) {
    case VT_BSTR: return bstrVal;
    case VT_I4: return std::to_string(lVal);
    case VT_BOOL: return boolVal ? "-1" : "0";
    case VT_R8:
        std::snprintf(text, sizeof text, "%.15g", dblVal);
        return text;
    default: return "";
    }
}

// ---- Where videos come from ----

namespace {

// Read from any thread that opens a video.
std::atomic<TVideoFiles*> installedFiles{nullptr};

class TLinuxVideoFiles : public TVideoFiles {
public:
    std::unique_ptr<TVideoSource> Open(const AnsiString& fileName, TMediaGraphOptions&, AnsiString& error) override {
        return OpenFFmpegVideoSource(fileName, error);
    }
    bool HasMediaPlayer() override { return true; }
    bool HasSampleGrabber() override { return true; }
    TRendererImageFormat RendererFormat() override { return TRendererImageFormat::Rgb32; }
};

}  // namespace

TVideoFiles& VideoFiles() {
    static TLinuxVideoFiles files;
    TVideoFiles* installed = installedFiles.load(std::memory_order_acquire);
    return installed ? *installed : files;
}

void SetVideoFiles(TVideoFiles* files) { installedFiles.store(files, std::memory_order_release); }

// ---- The scripted fake ----

namespace {

class TFakeVideoSource : public TVideoSource {
public:
    explicit TFakeVideoSource(TFakeVideo video) : video_(std::move(video)) {}
    bool HasVideo() const override { return video_.HasVideo; }
    int Width() const override { return video_.Width; }
    int Height() const override { return video_.Height; }
    double Duration() const override { return video_.FrameCount / video_.FrameRate; }
    double FrameRate() const override { return video_.CanCountFrames ? video_.FrameRate : 0; }
    int64_t FrameCount() const override { return video_.CanCountFrames ? video_.FrameCount : 0; }
    AnsiString DecoderName() const override { return video_.DecoderName; }
    bool Seek(double seconds) override {
        next_ = std::max(0, int(std::floor(seconds * video_.FrameRate + 1e-6)));
        return true;
    }
    bool ReadFrame(TVideoFrame& frame) override {
        if (!video_.HasVideo || next_ >= video_.FrameCount) return false;
        frame.Time = next_ / video_.FrameRate;
        frame.Pixels.assign(size_t(video_.Width) * size_t(video_.Height) * 4, 0);
        if (video_.Paint) {
            video_.Paint(next_, frame.Pixels.data(), video_.Width, video_.Height);
        } else {
            for (size_t i = 0; i < frame.Pixels.size(); i += 4)
                frame.Pixels[i] = frame.Pixels[i + 1] = frame.Pixels[i + 2] = uint8_t(next_ * 5);
        }
        ++next_;
        return true;
    }

private:
    TFakeVideo video_;
    int next_ = 0;
};

}  // namespace

void TFakeVideoFiles::Add(const AnsiString& fileName, TFakeVideo video) { videos_[fileName] = std::move(video); }

const TFakeVideo* TFakeVideoFiles::Find(const AnsiString& fileName) const {
    const auto it = videos_.find(fileName);
    return it != videos_.end() ? &it->second : nullptr;
}

std::unique_ptr<TVideoSource> TFakeVideoFiles::Open(const AnsiString& fileName, TMediaGraphOptions& options,
                                                     AnsiString& error) {
    const TFakeVideo* video = Find(fileName);
    if (!video) return OpenFFmpegVideoSource(fileName, error);
    options.ImageSizeZero = video->ImageSizeZero;
    options.RendererTakesOnlyRgb32 = video->RendererTakesOnlyRgb32;
    if (video->OpenFails) {
        error = "the script lets the open fail";
        return nullptr;
    }
    return std::make_unique<TFakeVideoSource>(*video);
}

// ---- The control ----

namespace {

// The control's own messages: the start after opening, the end of a stream.
constexpr UINT kMsgAutoStart = WM_USER + 1;
constexpr UINT kMsgComplete = WM_USER + 2;

}  // namespace

bool TMediaPlayer::Available() { return VideoFiles().HasMediaPlayer(); }

TMediaPlayer::TMediaPlayer() {
    window_ = AllocateHWnd([this](TMessage& m) { WindowProc(m); });
    stored_[MPDispId::ShowControls] = TVariant::FromBool(true);
}

TMediaPlayer::~TMediaPlayer() {
    Events = {};
    graph_.reset();
    if (rendererWindow_) DeallocateHWnd(rendererWindow_);
    DeallocateHWnd(window_);
}

void TMediaPlayer::WindowProc(TMessage& m) {
    if (m.Msg == kMsgAutoStart) {
        // As the control's own AutoStart: an opened file plays once the loop runs.
        if (graph_ && openState_ == mpOpen && uint32_t(m.WParam) == openGeneration_ && playState_ == mpStopped &&
            graph_->Position() == 0)
            Play();
    } else if (m.Msg == kMsgComplete) {
        if (graph_ && uint32_t(m.WParam) == openGeneration_ && uint32_t(m.LParam) == graph_->RunGeneration() &&
            graph_->Streaming()) {
            graph_->Complete();
            if (Events.OnEndOfStream) Events.OnEndOfStream(0);
        }
    }
}

void TMediaPlayer::SetOpenState(int32_t state) {
    const int32_t old = openState_;
    openState_ = state;
    if (old != state && Events.OnOpenStateChange) Events.OnOpenStateChange(old, state);
}

void TMediaPlayer::SetReadyState(int32_t state) {
    const bool changed = readyState_ != state;
    readyState_ = state;
    if (changed && Events.OnReadyStateChange) Events.OnReadyStateChange(state);
}

void TMediaPlayer::OnGraphState(int32_t oldState, int32_t newState) {
    playState_ = newState;
    if (Events.OnPlayStateChange) Events.OnPlayStateChange(oldState, newState);
}

void TMediaPlayer::Close() {
    if (!graph_) return;
    graph_->Stop();
    graph_.reset();
    if (rendererWindow_) DeallocateHWnd(rendererWindow_);
    rendererWindow_ = 0;
    SetOpenState(mpClosed);
}

HRESULT TMediaPlayer::Open(const AnsiString& fileName) {
    const uint32_t generation = ++openGeneration_;
    SetReadyState(mpReadyStateLoading);
    SetOpenState(mpLocating);
    SetOpenState(mpConnecting);
    SetOpenState(mpOpening);
    TMediaGraphOptions options;
    AnsiString error;
    std::unique_ptr<TVideoSource> source = VideoFiles().Open(fileName, options, error);
    if (!source) {
        OutputDebugString("Media player: " + fileName + ": " + error);
        SetOpenState(mpClosed);
        SetReadyState(mpReadyStateComplete);
        if (Events.OnError) Events.OnError();
        return E_FAIL;
    }
    graph_ = std::make_unique<TMediaGraph>(std::move(source), options);
    graph_->OnStateChange = [this](int32_t o, int32_t n) { OnGraphState(o, n); };
    const HWND window = window_;
    graph_->OnComplete = [window, generation](uint32_t run) {
        PostMessage(window, kMsgComplete, WPARAM(generation), LPARAM(run));
    };
    graph_->SetRate(rate_);
    if (Failed(graph_->Build())) OutputDebugString("Media player: " + fileName + ": the decoder feeds no renderer");
    rendererWindow_ = AllocateHWnd([](TMessage&) {});
    SetOpenState(mpOpen);
    SetReadyState(mpReadyStateComplete);
    if (openGeneration_ == generation) PostMessage(window_, kMsgAutoStart, WPARAM(generation), 0);
    return S_OK;
}

bool TMediaPlayer::CanCountFrames() const {
    return graph_ && graph_->Source().FrameCount() > 0 && graph_->Source().FrameRate() > 0;
}

double TMediaPlayer::PositionSeconds() const { return graph_ ? graph_->Position() : 0; }

void TMediaPlayer::Seek(double seconds) {
    if (graph_) graph_->Seek(seconds);
}

TVariant TMediaPlayer::GetProperty(int32_t dispId) const {
    const bool frames = displayMode_ == 1 && CanCountFrames();
    switch (dispId) {
    case MPDispId::FileName: {
        const auto it = stored_.find(dispId);
        return TVariant::FromString(it != stored_.end() ? it->second.AsString() : "");
    }
    case MPDispId::Duration:
        if (!graph_) return TVariant::FromDouble(0);
        return TVariant::FromDouble(frames ? double(graph_->Source().FrameCount()) : graph_->Source().Duration());
    case MPDispId::CurrentPosition: {
        const double s = PositionSeconds();
        return TVariant::FromDouble(frames ? std::nearbyint(s * graph_->Source().FrameRate()) : s);
    }
    case MPDispId::Rate: return TVariant::FromDouble(rate_);
    case MPDispId::DisplayMode: return TVariant::FromInt(displayMode_);
    case MPDispId::OpenState: return TVariant::FromInt(openState_);
    case MPDispId::PlayState: return TVariant::FromInt(playState_);
    case MPDispId::ReadyState: return TVariant::FromInt(readyState_);
    case MPDispId::HasPicture: return TVariant::FromBool(graph_ && graph_->Source().HasVideo());
    default: {
        const auto it = stored_.find(dispId);
        return it != stored_.end() ? it->second : TVariant{};
    }
    }
}

HRESULT TMediaPlayer::SetProperty(int32_t dispId, const TVariant& value) {
    switch (dispId) {
    case MPDispId::FileName:
        Close();
        stored_[dispId] = TVariant::FromString(value.AsString());
        if (value.AsString().empty()) return S_OK;
        return Open(value.AsString());
    case MPDispId::CurrentPosition: {
        if (!graph_) return S_OK;
        double s = value.AsDouble();
        if (displayMode_ == 1 && CanCountFrames()) s /= graph_->Source().FrameRate();
        const double old = PositionSeconds();
        Seek(s);
        if (Events.OnPositionChange) Events.OnPositionChange(old, PositionSeconds());
        return S_OK;
    }
    case MPDispId::Rate: {
        const double r = value.AsDouble();
        if (!(r > 0) || r > 100) return E_INVALIDARG;
        rate_ = r;
        if (graph_) graph_->SetRate(r);
        return S_OK;
    }
    case MPDispId::DisplayMode: {
        const int32_t mode = value.AsInteger();
        if (mode != 0 && mode != 1) return E_INVALIDARG;
        const bool changed = mode != displayMode_;
        displayMode_ = mode;
        if (changed && Events.OnDisplayModeChange) Events.OnDisplayModeChange();
        return S_OK;
    }
    case MPDispId::OpenState:
    case MPDispId::PlayState:
    case MPDispId::ReadyState:
    case MPDispId::HasPicture:
    case MPDispId::Duration:
        return E_FAIL;  // read-only
    default:
        stored_[dispId] = value;
        return S_OK;
    }
}

HRESULT TMediaPlayer::Play() {
    if (!graph_ || openState_ != mpOpen) return E_UNEXPECTED;
    // Played to its end, the file starts over.
    if (playState_ == mpStopped && graph_->Position() >= graph_->Source().Duration()) graph_->Seek(0);
    return graph_->Run();
}

HRESULT TMediaPlayer::Pause() {
    if (!graph_ || openState_ != mpOpen) return E_UNEXPECTED;
    return graph_->Pause();
}

HRESULT TMediaPlayer::Stop() {
    if (!graph_ || openState_ != mpOpen) return E_UNEXPECTED;
    return graph_->Stop();
}

IFilterGraph* TMediaPlayer::FilterGraph() { return graph_ ? static_cast<IGraphBuilder*>(graph_.get()) : nullptr; }
