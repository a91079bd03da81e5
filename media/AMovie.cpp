#include "media/AMovie.h"

#include "graphics/JpegWriter.h"
#include "graphics/PackedDIB.h"
#include "platform/DebugOutput.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/MessageQueue.h"
#include "platform/Paths.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <new>

namespace {

// Every component and every timer takes a number from it.
std::atomic<int> componentCounter{0};

constexpr UINT_PTR kTimerId = 1;
constexpr UINT kMsgControlCreated = WM_USER + 1;

AnsiString Numbered(const char* base) { return base + std::to_string(++componentCounter); }

const char* const kShowControlsRefused =
    "this setting is not allowed when DisplaySize = mpCustomSize. Set DisplaySize to another value first.";
const char* const kCustomSizeRefused =
    "this setting is not allowed when ShowControls is enabled. Disable ShowControls first.";
const char* const kGrabberDisabled = "the FGrabber_Enabled property must be enabled.";

// A whole number of the text, or -1.
int64_t StrToIntDef(const AnsiString& s) {
    if (s.empty() || s.size() > 18) return -1;
    size_t i = s[0] == '-' || s[0] == '+' ? 1 : 0;
    if (i == s.size()) return -1;
    for (size_t k = i; k < s.size(); ++k)
        if (s[k] < '0' || s[k] > '9') return -1;
    return std::stoll(s);
}

}  // namespace

// ---- The control wrapper ----

bool TDerivedMovie_::HelpMessage() {
    bool passOn = true;
    if (OnF1HelpInvoked) OnF1HelpInvoked(this, passOn);
    return passOn;
}

// ---- The grabber callback ----

HRESULT TSampleGrabberCB::SampleCB(double, const uint8_t*, int32_t) { return S_OK; }

HRESULT TSampleGrabberCB::BufferCB(double sampleTime, const uint8_t* buffer, int32_t length) {
    TBitmapInfoHeader header;
    HWND window = 0;
    bool grabbed = false, cont = true;
    {
        std::lock_guard lock(lock_);
        if (busy_) return S_OK;
        busy_ = true;
        if (frame_) return S_OK;
        bool take = false;
        if (formatKind_ != 0 && armed_) {
            take = true;
            if (burstMode_) {
                if (--countdown_ > 0) {
                    take = false;
                } else {
                    --framesLeft_;
                    countdown_ = burstInterval_;
                }
            } else {
                armed_ = false;
            }
            if (take && (!burstMode_ || burstCount_ >= 1) && framesLeft_ <= 0) {
                armed_ = false;
                if (notifyOnceMore_) {
                    cont = false;
                    notifyOnceMore_ = false;
                }
            }
        }
        if (take && buffer) {
            const size_t offset = formatKind_ == 1 ? kVideoInfoHeaderBitmapOffset : kVideoInfoHeader2BitmapOffset;
            if (mediaType_.Format.size() >= offset + kBitmapInfoHeaderSize &&
                ReadBitmapInfoHeader(mediaType_.Format.data() + offset, mediaType_.Format.size() - offset, header))
                grabbed = true;
        }
        if (!grabbed) {
            busy_ = false;
            return S_OK;
        }
        window = window_;
        sampleTime_ = sampleTime;
    }
    // Row by row with the padded stride and never past the buffer's length: a short
    // buffer gives no frame. The frame is ours alone while busy is set.
    auto frame = std::make_unique<TBitmap32>();
    if (!DIBBitsToBitmap32(header, buffer, size_t(std::max(length, 0)), *frame)) {
        std::lock_guard lock(lock_);
        busy_ = false;
        return S_OK;
    }
    {
        std::lock_guard lock(lock_);
        frame_ = std::move(frame);
    }
    if (!PostMessage(window, WM_FGRABBER_FRAME, 1, cont ? 1 : 0)) Release();
    return S_OK;
}

void TSampleGrabberCB::SetBurstCount(int count) {
    std::lock_guard lock(lock_);
    if (count >= 0) burstCount_ = count;
}

void TSampleGrabberCB::SetBurstInterval(int interval) {
    std::lock_guard lock(lock_);
    if (interval >= 1) burstInterval_ = interval;
}

void TSampleGrabberCB::SetBurstMode(bool burst) {
    std::lock_guard lock(lock_);
    burstMode_ = burst;
}

void TSampleGrabberCB::SetWindow(HWND window) {
    std::lock_guard lock(lock_);
    window_ = window;
}

void TSampleGrabberCB::SetMediaType(const TAMMediaType& mediaType) {
    std::lock_guard lock(lock_);
    mediaType_ = mediaType;
    if (!(mediaType.majortype == MEDIATYPE_Video)) formatKind_ = 0;
    else if (mediaType.formattype == FORMAT_VideoInfo) formatKind_ = 1;
    else if (mediaType.formattype == FORMAT_VideoInfo2) formatKind_ = 2;
    else formatKind_ = 0;
}

void TSampleGrabberCB::FreeMediaType() {
    std::lock_guard lock(lock_);
    ::FreeMediaType(mediaType_);
    mediaType_ = TAMMediaType{};
    formatKind_ = 0;
}

int TSampleGrabberCB::FormatKind() {
    std::lock_guard lock(lock_);
    return formatKind_;
}

void TSampleGrabberCB::Arm() {
    std::lock_guard lock(lock_);
    framesLeft_ = burstCount_;
    // The first frame after the request is taken; then one every interval.
    countdown_ = 1;
    notifyOnceMore_ = true;
    armed_ = true;
}

void TSampleGrabberCB::Reset() {
    std::lock_guard lock(lock_);
    framesLeft_ = 0;
    armed_ = false;
}

bool TSampleGrabberCB::Armed() {
    std::lock_guard lock(lock_);
    return armed_;
}

bool TSampleGrabberCB::Busy() {
    std::lock_guard lock(lock_);
    return busy_;
}

double TSampleGrabberCB::SampleTime() {
    std::lock_guard lock(lock_);
    return sampleTime_;
}

void TSampleGrabberCB::Release() {
    std::unique_ptr<TBitmap32> frame;
    std::lock_guard lock(lock_);
    frame = std::move(frame_);
    busy_ = false;
}

// ---- The component ----

bool TActiveMovie::IsPlayerControlRegistered() { return TMediaPlayer::Available(); }

AnsiString& TActiveMovie::PlayerMissingMessage() {
    static AnsiString text =
        "Microsoft Windows Media Player is not installed on this platform.\r\nIt can be downloaded from "
        "https://ffmpeg.org";
    return text;
}

TActiveMovie::TActiveMovie() {
    if (!IsPlayerControlRegistered() && !PlayerMissingMessage().empty()) throw Exception(PlayerMissingMessage());
    grabberStatus_ = kGrabberDisabled;
    StoragePath = [] {
        std::error_code ec;
        AnsiString p = FromPosixPath(std::filesystem::current_path(ec).string());
        while (p.size() > 1 && p.back() == '\\') p.pop_back();
        return p;
    }();
    handle_ = AllocateHWnd([this](TMessage& m) { WindowProc(m); });
    // The grabber is there when its class can be made; the instance goes at once.
    std::shared_ptr<ISampleGrabber> probe;
    if (Succeeded(CreateSampleGrabber(probe))) {
        callback_ = std::make_unique<TSampleGrabberCB>();
        GiveBurstSettings();
    }
    probe.reset();
    control_ = std::make_unique<TDerivedMovie_>(Numbered("AMComponent"));
    TimerName = Numbered("AMComponent");
    TMediaPlayerEvents& ev = control_->Control().Events;
    ev.OnOpenStateChange = [this](int32_t o, int32_t n) { HandleOpenState(o, n); };
    ev.OnPlayStateChange = [this](int32_t o, int32_t n) { HandlePlayState(o, n); };
    ev.OnEndOfStream = [this](int32_t) {
        endOfStream_ = true;
        if (fullScreen_) control_->Control().Pause();
    };
    ev.OnDisconnect = [this](int32_t result) {
        disconnected_ = true;
        disconnectResult_ = result;
    };
    ev.OnBuffering = [this](bool start) {
        if (OnBuffering) OnBuffering(this, start);
    };
    ev.OnDisplayModeChange = [this] {
        if (OnDisplayModeChange) OnDisplayModeChange(this);
    };
    ev.OnError = [this] {
        if (OnError) OnError(this);
    };
    ev.OnMarkerHit = [this](int32_t marker) {
        if (OnMarkerHit) OnMarkerHit(this, marker);
    };
    ev.OnNewStream = [this] {
        if (OnNewStream) OnNewStream(this);
    };
    ev.OnReadyStateChange = [this](int32_t state) {
        if (OnReadyStateChange) OnReadyStateChange(this, state);
    };
    ev.OnScriptCommand = [this](const AnsiString& type, const AnsiString& param) {
        if (OnScriptCommand) OnScriptCommand(this, type, param);
    };
    ev.OnWarning = [this](int32_t type, int32_t param, const AnsiString& text) {
        if (OnWarning) OnWarning(this, type, param, text);
    };
    for (int32_t id : {-500, 1027, 1112, int(AMProp::VideoBorder3D)}) control_->SetBooleanProp(id, false);
    container_ = TRect{0, 0, width_, height_};
    control_->Control().Bounds = container_;
    SetTimer(handle_, kTimerId, 50);
    // The control's window comes when the loop runs, as a hosted control's does.
    PostMessage(handle_, kMsgControlCreated, 0, 0);
}

TActiveMovie::~TActiveMovie() {
    // Streaming ends before anything goes: the callback, the component's window and
    // the messages queued for it.
    control_->Control().Events = {};
    if (mediaControl_) mediaControl_->Stop();
    if (rendererWindow_ && MessageQueue().IsWindow(rendererWindow_) && rendererProc_)
        MessageQueue().SetWindowProc(rendererWindow_, rendererProc_);
    if (auxWindow_) DeallocateHWnd(auxWindow_);
    basicVideo_ = nullptr;
    CaptureBuffer.clear();
    RemoveGrabberSetup();
    control_.reset();
    callback_.reset();
    filterNames_.clear();
    DeallocateHWnd(handle_);
}

void TActiveMovie::ControlCreated() {
    // Unlike the panel, nothing needs its colours or clipping styles; the hidden
    // auxiliary window still watches keys in full screen.
    auxWindow_ = AllocateHWnd([this](TMessage& m) { AuxWindowProc(m); });
    Layout();
    if (OnCreate) OnCreate(this);
}

void TActiveMovie::AuxWindowProc(TMessage& m) {
    if (m.Msg == WM_KEYUP && fullScreen_ && OnFullScreenKeyPress) pendingKey_ = int(m.WParam);
    else if (m.Msg == WM_WINDOWPOSCHANGING && Open_() && PlayState() != mpPlaying)
        SeekTo(lastPositionSeconds_);
}

void TActiveMovie::RendererWindowProc(TMessage& m) {
    if (m.Msg == WM_KEYUP && OnFullScreenKeyPress) pendingKey_ = int(m.WParam);
    if (rendererProc_) rendererProc_(m);
}

void TActiveMovie::WindowProc(TMessage& m) {
    switch (m.Msg) {
    case WM_TIMER:
        if (m.WParam == kTimerId) Timer();
        break;
    case WM_SIZE:
        Layout();
        break;
    case WM_FGRABBER_FRAME:
        HandleFrameMessage(m);
        break;
    case kMsgControlCreated:
        ControlCreated();
        break;
    case WM_HELP:
        m.Result = control_->HelpMessage() ? 1 : 0;
        break;
    default:
        break;
    }
}

bool TActiveMovie::Open_() const { return openState_ == mpOpen; }
int32_t TActiveMovie::OpenState() const { return control_->GetIntegerProp(MPDispId::OpenState); }
int32_t TActiveMovie::PlayState() const { return control_->GetIntegerProp(MPDispId::PlayState); }
double TActiveMovie::CurrentPosition() const { return control_->GetDoubleProp(MPDispId::CurrentPosition); }

// ---- Properties ----

void TActiveMovie::SetVisible(bool v) {
    visible_ = v;
    Layout();
}

void TActiveMovie::SetBounds(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    SendMessage(handle_, WM_SIZE, 0, 0);
}

void TActiveMovie::SetShowScrollBars(bool v) {
    showScrollBars_ = v;
    Layout();
}

bool TActiveMovie::ShowControls() const { return control_->GetBooleanProp(MPDispId::ShowControls); }

void TActiveMovie::SetShowControls(bool v) {
    if (v && displaySize_ == mpCustomSize) {
        ShowMessageBox(kShowControlsRefused, TMsgDlgType::mtInformation);
        return;
    }
    control_->SetBooleanProp(MPDispId::ShowControls, v);
    ApplyDisplaySize();
    Layout();
}

void TActiveMovie::SetDisplaySize(TDisplaySize v) {
    if (v == mpCustomSize && ShowControls()) {
        ShowMessageBox(kCustomSizeRefused, TMsgDlgType::mtInformation);
        return;
    }
    displaySize_ = v;
    ApplyDisplaySize();
    Layout();
}

void TActiveMovie::SetZoomSize(int v) {
    if (v < 1) return;
    zoomSize_ = v;
    Layout();
}

TDisplayMode TActiveMovie::DisplayMode() const {
    return control_->GetIntegerProp(MPDispId::DisplayMode) == 1 ? mpFrames : mpTime;
}

void TActiveMovie::SetDisplayMode(TDisplayMode v) { control_->SetIntegerProp(MPDispId::DisplayMode, v == mpFrames); }

void TActiveMovie::SetRate(double v) {
    rate_ = v;
    control_->SetDoubleProp(MPDispId::Rate, v);
}

void TActiveMovie::SetFullScreen(bool v) {
    if (v == fullScreen_) return;
    fullScreen_ = v;
    if (v) fullScreenRequest_ = true;
    else ApplyDisplaySize();
}

void TActiveMovie::SetControlBoolean(int32_t dispId, bool v) {
    control_->SetBooleanProp(dispId, v);
    Layout();
}

void TActiveMovie::SetFGrabber_Enabled(bool v) {
    grabberEnabled_ = v;
    grabberStatus_ = v ? "" : kGrabberDisabled;
}

void TActiveMovie::GiveBurstSettings() {
    if (!callback_) return;
    callback_->SetBurstCount(burstCount_);
    callback_->SetBurstInterval(burstInterval_);
    callback_->SetBurstMode(burstMode_);
}

void TActiveMovie::SetFGrabber_BurstMode(bool v) {
    burstMode_ = v;
    GiveBurstSettings();
}

void TActiveMovie::SetFGrabber_BurstCount(int v) {
    if (v < 0) return;
    burstCount_ = v;
    GiveBurstSettings();
}

void TActiveMovie::SetFGrabber_BurstInterval(int v) {
    if (v < 0) return;
    burstInterval_ = v;
    GiveBurstSettings();
}

// The display size the control is told: full screen, else the size itself while the
// control shows its own controls, else fit (the component places the control itself).
void TActiveMovie::ApplyDisplaySize() {
    int32_t size = 4;
    if (fullScreen_) size = 3;
    else if (ShowControls()) size = displaySize_ == mpHalfSize ? 1 : displaySize_ == mpDoubleSize ? 2 : displaySize_ == mpDefaultSize ? 0 : 4;
    control_->SetIntegerProp(MPDispId::DisplaySize, size);
}

// ---- Operations ----

void TActiveMovie::Open() {
    if (FileName.empty()) return;
    if (PlayState() == mpPlaying) control_->Control().Stop();
    justOpened_ = true;
    control_->SetStringProp(MPDispId::FileName, FileName);
}

void TActiveMovie::Play() {
    if (OpenState() != mpOpen) return;
    control_->Control().Play();
    if (fullScreen_) control_->SetIntegerProp(MPDispId::DisplaySize, 3);
}

void TActiveMovie::Stop() {
    if (!Open_()) return;
    control_->Control().Stop();
    control_->SetDoubleProp(MPDispId::CurrentPosition, 0.0);
}

bool TActiveMovie::PauseIfPlaying() {
    if (!Open_() || PlayState() != mpPlaying) return false;
    control_->Control().Pause();
    return true;
}

void TActiveMovie::SeekTo(double position) {
    if (position > durationSeconds_) return;
    const bool frames = DisplayMode() == mpFrames;
    if (frames) SetDisplayMode(mpTime);
    if (SeekGuard) control_->SetBooleanProp(AMProp::SeekGuard, false);
    control_->SetDoubleProp(MPDispId::CurrentPosition, position);
    if (SeekGuard) control_->SetBooleanProp(AMProp::SeekGuard, true);
    if (frames) SetDisplayMode(mpFrames);
}

// ---- Events of the control ----

void TActiveMovie::HandleOpenState(int32_t oldState, int32_t newState) {
    openState_ = newState;
    if (newState == mpClosed) {
        grabberInserted_ = false;
        basicVideo_ = nullptr;
        mediaControl_ = nullptr;
        graphBuilder_ = nullptr;
        mediaSeeking_ = nullptr;
        rendererWindow_ = 0;
        rendererProc_ = nullptr;
    } else if (newState == mpOpen) {
        basicVideo_ = nullptr;
        if (grabberEnabled_ && callback_ && InsertGrabber()) grabberInserted_ = true;
        IFilterGraph* graph = control_->Control().FilterGraph();
        basicVideo_ = Query<IBasicVideo>(graph);
        mediaControl_ = Query<IMediaControl>(graph);
        noPicture_ = control_->GetIntegerProp(MPDispId::HasPicture) == 0 && !DisplayLogo;
        // Both readings of the duration, the display mode as the control had it.
        const int32_t mode = control_->GetIntegerProp(MPDispId::DisplayMode);
        control_->SetIntegerProp(MPDispId::DisplayMode, 1);
        const double frames = control_->GetDoubleProp(MPDispId::Duration);
        control_->SetIntegerProp(MPDispId::DisplayMode, 0);
        durationSeconds_ = control_->GetDoubleProp(MPDispId::Duration);
        control_->SetIntegerProp(MPDispId::DisplayMode, mode);
        frameCount_ = frames == durationSeconds_ ? 0 : int64_t(std::nearbyint(frames));
        if (!AutoStart) control_->SetDoubleProp(MPDispId::CurrentPosition, 0.0);
        if (!rendererWindow_) {
            rendererWindow_ = control_->Control().RendererWindow();
            if (rendererWindow_) {
                rendererProc_ = MessageQueue().GetWindowProc(rendererWindow_);
                MessageQueue().SetWindowProc(rendererWindow_, [this](TMessage& m) { RendererWindowProc(m); });
                SendMessage(rendererWindow_, 0, 0, 0);
            }
        }
        if (OnOpenComplete) OnOpenComplete(this);
        Layout();
    }
    openStateChanged_ = true;
    deferredOpenOld_ = oldState;
    deferredOpenNew_ = newState;
}

void TActiveMovie::HandlePlayState(int32_t oldState, int32_t newState) {
    playState_ = newState;
    if (control_->GetDoubleProp(MPDispId::Rate) != rate_) control_->SetDoubleProp(MPDispId::Rate, rate_);
    if (newState == mpPlaying && oldState != mpPaused && SelectionStart != -1.0)
        control_->SetDoubleProp(MPDispId::CurrentPosition, SelectionStart);
    if (newState == mpPlaying && justOpened_) {
        justOpened_ = false;
        if (!AutoStart) pauseRequest_ = true;
    }
    if (leaveFullScreenRequest_) {
        leaveFullScreenRequest_ = false;
        ApplyDisplaySize();
    }
    if (newState == mpStopped && callback_) callback_->Reset();
    playStateChanged_ = true;
    deferredPlayOld_ = oldState;
    deferredPlayNew_ = newState;
}

// ---- The grabber in the graph ----

void TActiveMovie::RemoveGrabberSetup() {
    if (grabber_) {
        grabber_->SetCallback(nullptr, 1);
        if (graphBuilder_) graphBuilder_->RemoveFilter(Query<IBaseFilter>(grabber_.get()));
    }
    grabber_.reset();
    graphBuilder_ = nullptr;
    mediaSeeking_ = nullptr;
    if (callback_) {
        callback_->FreeMediaType();
        GiveBurstSettings();
    }
}

namespace {

void PinsOf(IBaseFilter* filter, std::vector<IPin*>& in, std::vector<IPin*>& out) {
    std::vector<IPin*> pins;
    filter->EnumPins(pins);
    for (IPin* p : pins) {
        TPinDirection d;
        p->QueryDirection(d);
        (d == PINDIR_INPUT ? in : out).push_back(p);
    }
}

// The renderer's input: the one pin of a filter with no output pin, connected in a video
// type; null when the graph has none.
IPin* RendererInput(IGraphBuilder& graph) {
    std::vector<IBaseFilter*> filters;
    graph.EnumFilters(filters);
    for (IBaseFilter* f : filters) {
        std::vector<IPin*> in, out;
        PinsOf(f, in, out);
        TAMMediaType mt;
        if (in.size() == 1 && out.empty() && Succeeded(in[0]->ConnectionMediaType(mt)) &&
            mt.majortype == MEDIATYPE_Video)
            return in[0];
    }
    return nullptr;
}

}  // namespace

bool TActiveMovie::InsertGrabber() {
    // A grabber of an earlier file is not in this graph; only its set-up goes.
    if (grabber_) grabber_->SetCallback(nullptr, 1);
    grabber_.reset();
    callback_->FreeMediaType();
    GiveBurstSettings();

    IFilterGraph* graph = control_->Control().FilterGraph();
    basicVideo_ = Query<IBasicVideo>(graph);
    mediaControl_ = Query<IMediaControl>(graph);
    graphBuilder_ = Query<IGraphBuilder>(graph);
    mediaSeeking_ = Query<IMediaSeeking>(graph);
    if (!basicVideo_ || !mediaControl_ || !graphBuilder_ || !mediaSeeking_) return false;
    callback_->SetWindow(handle_);
    if (Failed(mediaControl_->Stop())) return false;

    IPin* rendererIn = RendererInput(*graphBuilder_);
    IPin* upstreamOut = nullptr;
    if (!rendererIn || Failed(rendererIn->ConnectedTo(upstreamOut))) return false;
    upstreamOut->Disconnect();
    rendererIn->Disconnect();

    std::shared_ptr<ISampleGrabber> grabber;
    IPin* grabberIn = nullptr;
    IPin* grabberOut = nullptr;
    std::shared_ptr<IBaseFilter> grabberFilter;
    bool ok = Succeeded(CreateSampleGrabber(grabber));
    if (ok) {
        grabber->SetBufferSamples(false);
        grabber->SetOneShot(false);
        grabber->SetCallback(callback_.get(), 1);
        grabberFilter = std::dynamic_pointer_cast<IBaseFilter>(grabber);
        ok = grabberFilter && Succeeded(graphBuilder_->AddFilter(grabberFilter, "Sample Grabber"));
    }
    if (ok) {
        TAMMediaType mt;
        mt.majortype = MEDIATYPE_Video;
        mt.subtype = MEDIASUBTYPE_RGB24;
        mt.formattype = FORMAT_VideoInfo;
        mt.bFixedSizeSamples = true;
        mt.lSampleSize = 1;
        grabber->SetMediaType(mt);
        std::vector<IPin*> in, out;
        PinsOf(grabberFilter.get(), in, out);
        grabberIn = in.empty() ? nullptr : in[0];
        grabberOut = out.empty() ? nullptr : out[0];
        ok = grabberIn && grabberOut && Succeeded(graphBuilder_->Connect(upstreamOut, grabberIn)) &&
             Succeeded(graphBuilder_->Connect(grabberOut, rendererIn));
    }
    if (ok) {
        TAMMediaType connected;
        ok = Succeeded(grabber->GetConnectedMediaType(connected));
        if (ok) callback_->SetMediaType(connected);
        ok = ok && callback_->FormatKind() != 0;
    }
    if (ok) {
        AnsiString name;
        upstreamOut->Filter()->QueryFilterInfo(name);
        grabberStatus_ = name.substr(0, 128);
        grabber_ = grabber;
        mediaControl_->Run();
        return true;
    }
    // Back to the renderer fed straight from upstream.
    for (IPin* p : {upstreamOut, grabberIn, grabberOut, rendererIn})
        if (p) p->Disconnect();
    if (grabber) grabber->SetCallback(nullptr, 1);
    if (grabberFilter) graphBuilder_->RemoveFilter(grabberFilter.get());
    graphBuilder_->Connect(upstreamOut, rendererIn);
    callback_->FreeMediaType();
    return false;
}

// ---- Captures ----

bool TActiveMovie::ReadRendererImage(TBitmap32& frame) {
    int32_t size = 0;
    if (!basicVideo_ || Failed(basicVideo_->GetCurrentImage(size, nullptr)) || size <= 0) return false;
    const size_t need = size_t(size) + 2;
    if (CaptureBuffer.size() < need) {
        CaptureBuffer.clear();
        try {
            CaptureBuffer.resize(need);
        } catch (const std::bad_alloc&) {
            CaptureBuffer.clear();
            return false;
        }
    }
    int32_t capacity = int32_t(std::min<size_t>(CaptureBuffer.size(), INT32_MAX));
    if (Failed(basicVideo_->GetCurrentImage(capacity, CaptureBuffer.data()))) return false;
    // The whole packed DIB is read: header, masks and colour table decide the pixels.
    const size_t filled = std::min<size_t>(size_t(std::max(capacity, 0)), CaptureBuffer.size());
    return PackedDIBToBitmap32(CaptureBuffer.data(), filled, frame);
}

bool TActiveMovie::CaptureFrame(std::unique_ptr<TBitmap32>& bitmap) {
    bitmap.reset();
    auto frame = std::make_unique<TBitmap32>();
    if (!ReadRendererImage(*frame)) return false;
    bitmap = std::move(frame);
    return true;
}

void TActiveMovie::RequestGrabberCapture(TFrameCapture_Dest dest, TBitmap32* target, const AnsiString& fileName) {
    captureDest_ = dest;
    captureTarget_ = target;
    captureFile_ = fileName;
    if (grabberInserted_ && callback_) {
        GiveBurstSettings();
        callback_->Arm();
    } else {
        PostMessage(handle_, WM_FGRABBER_FRAME, 1, 0);
    }
}

void TActiveMovie::HandleFrameMessage(const TMessage& m) {
    try {
        if (m.WParam == 1) CaptureFrameToDestination(m.LParam == 0);
    } catch (const std::exception& e) {
        OutputDebugString(control_->Name + ": capture failed: " + e.what());
    }
    if (callback_) callback_->Release();
}

AnsiString TActiveMovie::NextCaptureFileName(const AnsiString& extension) {
    AnsiString stem;
    if (AutoFileName == fnDateTime) {
        const auto now = std::chrono::system_clock::now();
        const std::time_t t = std::chrono::system_clock::to_time_t(now);
        const int ms = int(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
        std::tm tm{};
        localtime_r(&t, &tm);
        char text[32];
        std::snprintf(text, sizeof text, "%02d%02d%02d_%02d%02d%02d_%03d", tm.tm_year % 100, tm.tm_mon + 1,
                      tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
        stem = text;
    } else {
        if (sequence_ == 0) {
            // Go on from the highest number among the files already there.
            std::vector<TDirEntry> entries;
            ListDirectory(StoragePath, entries);
            const AnsiString mask = AutoFilePrefix + "*." + extension;
            int64_t highest = 0;
            for (const TDirEntry& e : entries) {
                if (e.IsDirectory || !MatchesMask(e.Name, mask)) continue;
                const AnsiString rest = e.Name.substr(AutoFilePrefix.size());
                const int64_t n = StrToIntDef(rest.substr(0, rest.find('.')));
                if (n != -1) highest = std::max(highest, n);
            }
            sequence_ = int(std::min<int64_t>(highest, INT32_MAX - 1));
        }
        ++sequence_;
        char text[16];
        std::snprintf(text, sizeof text, "%.6d", sequence_);
        stem = text;
    }
    return StoragePath + "\\" + AutoFilePrefix + stem + "." + extension;
}

bool TActiveMovie::CaptureFrameToDestination(bool lastOfSeries) {
    std::unique_ptr<TBitmap32> own;
    TBitmap32* frame = callback_ ? callback_->FrameBitmap() : nullptr;
    if (!frame) {
        PauseIfPlaying();
        if (CaptureFrame(own)) frame = own.get();
    }
    bool success = frame != nullptr;
    std::unique_ptr<TBitmap32> scaled;
    if (frame && CaptureSize != 100) {
        const int w = int(int64_t(frame->Width()) * CaptureSize / 100);
        const int h = int(int64_t(frame->Height()) * CaptureSize / 100);
        if (w > 0 && h > 0) {
            scaled = std::make_unique<TBitmap32>(w, h);
            TBitmap32 source = *frame;
            source.StretchFilter = sfLinear;
            source.DrawMode = dmOpaque;
            source.StretchTo(*scaled, 0, 0, w, h);
            scaled->ResetAlpha(255);
            frame = scaled.get();
        } else {
            success = false;
            frame = nullptr;
        }
    }
    AnsiString fileName;
    if (success) {
        try {
            switch (captureDest_) {
            case fcBmpFile:
                fileName = captureFile_.empty() ? NextCaptureFileName("bmp") : captureFile_;
                WriteBmpPicture(*frame, fileName);
                break;
            case fcJpegFile:
                fileName = captureFile_.empty() ? NextCaptureFileName("jpg") : captureFile_;
                WriteJpegPicture(*frame, fileName, TJpegWriteOptions{JPEGQuality, false});
                break;
            case fcTBitmap:
                if (captureTarget_) *captureTarget_ = *frame;
                break;
            }
        } catch (const std::exception& e) {
            OutputDebugString(control_->Name + ": capture not saved: " + e.what());
            success = false;
        }
    }
    if (OnFGrabberCaptureCompleted) OnFGrabberCaptureCompleted(this, frame, captureDest_, fileName, success);
    if (lastOfSeries) {
        captureTarget_ = nullptr;
        captureFile_.clear();
    }
    return success;
}

// ---- Timer and layout ----

void TActiveMovie::Timer() {
    if (inTimer_) return;
    inTimer_ = true;
    if (fullScreenRequest_) {
        fullScreenRequest_ = false;
        control_->SetIntegerProp(MPDispId::DisplaySize, 3);
    }
    if (pauseRequest_) {
        pauseRequest_ = false;
        control_->Control().Pause();
    }
    if (Open_() && (OnPositionChange || SelectionEnd != -1.0)) {
        const double pos = CurrentPosition();
        if (pos != lastPosition_) {
            lastPosition_ = pos;
            lastPositionSeconds_ =
                DisplayMode() == mpFrames && frameCount_ > 0 ? pos * durationSeconds_ / double(frameCount_) : pos;
            if (OnPositionChange) OnPositionChange(this, pos);
            if (SelectionEnd >= 0 && pos >= SelectionEnd) control_->Control().Stop();
        }
    }
    if (pendingKey_ && OnFullScreenKeyPress) {
        const int key = pendingKey_;
        pendingKey_ = 0;
        if (key == 27) {
            fullScreen_ = false;
            ApplyDisplaySize();
        } else {
            OnFullScreenKeyPress(this, key);
        }
    }
    if (endOfStream_) {
        endOfStream_ = false;
        if (OnEndOfStream) OnEndOfStream(this);
        if (Loop) Play();
    }
    if (openStateChanged_) {
        openStateChanged_ = false;
        if (OnOpenStateChange) OnOpenStateChange(this, deferredOpenOld_, deferredOpenNew_);
    }
    if (playStateChanged_) {
        playStateChanged_ = false;
        if (OnPlayStateChange) OnPlayStateChange(this, deferredPlayOld_, deferredPlayNew_);
    }
    if (disconnected_) {
        disconnected_ = false;
        if (OnDisconnect) OnDisconnect(this, disconnectResult_);
    }
    inTimer_ = false;
}

void TActiveMovie::ScrollTo(bool horizontal, int position) {
    TScrollBarState& bar = horizontal ? hBar_ : vBar_;
    bar.Position = std::clamp(position, bar.Min, bar.Max);
    (horizontal ? scrollX_ : scrollY_) = bar.Max > 0 ? double(bar.Position) / bar.Max : 0.5;
    Layout();
}

void TActiveMovie::Layout() {
    if (layingOut_ || !control_) return;
    layingOut_ = true;
    const int W = width_, H = height_;
    int32_t w = 0, h = 0;
    const bool sized = basicVideo_ && Succeeded(basicVideo_->GetVideoSize(w, h)) && w > 0 && h > 0;
    hBar_.Visible = vBar_.Visible = cornerVisible_ = false;
    if (!visible_ || noPicture_ || !Open_() || ShowControls() || !sized) {
        container_ = TRect{0, 0, W, H};
        control_->Control().Bounds = TRect{0, 0, W, H};
        layingOut_ = false;
        return;
    }
    auto round = [](double v) { return int(std::nearbyint(v)); };
    int cw = w, ch = h;
    TDisplaySize size = displaySize_;
    if (size == mpHalfSize) cw = w / 2, ch = h / 2;
    else if (size == mpDoubleSize) cw = 2 * w, ch = 2 * h;
    if ((size == mpDefaultSize || size == mpHalfSize || size == mpDoubleSize) && (cw > W || ch > H)) size = mpFitToSize;
    if (size == mpFitToSize) {
        // The direction with the smaller scale decides, so the result always fits (the
        // difference of the sizes, as the rule once had it, overflows a wide panel).
        if (int64_t(W) * h < int64_t(H) * w) cw = W, ch = round(double(h) * W / w);
        else ch = H, cw = round(double(w) * H / h);
    } else if (size == mpCustomSize) {
        cw = round(double(w) * zoomSize_ / 100);
        ch = round(double(h) * zoomSize_ / 100);
    }
    int aw = W, ah = H;
    if (showScrollBars_) {
        const int t = ScrollBarsThickness;
        bool needH = cw > aw, needV = ch > ah;
        // A bar takes room from the other direction, which may then need its bar too.
        if (needH) ah = H - t;
        if (!needV && ch > ah) needV = true;
        if (needV) aw = W - t;
        if (!needH && cw > aw) {
            needH = true;
            ah = H - t;
        }
        aw = std::max(aw, 0);
        ah = std::max(ah, 0);
        hBar_.Visible = needH;
        vBar_.Visible = needV;
        cornerVisible_ = needH && needV;
        if (needH) {
            hBar_.Bounds = TRect{0, H - t, aw, H};
            hBar_.Max = cw - aw;
            hBar_.Position = int(std::trunc(scrollX_ * hBar_.Max));
        }
        if (needV) {
            vBar_.Bounds = TRect{W - t, 0, W, ah};
            vBar_.Max = ch - ah;
            vBar_.Position = int(std::trunc(scrollY_ * vBar_.Max));
        }
        if (cornerVisible_) cornerBounds_ = TRect{W - t, H - t, W, H};
    }
    // Centred while it fits; a larger video is offset by the scroll fractions.
    const int x = cw <= aw ? (aw - cw) / 2 : int(std::trunc((aw - cw) * scrollX_));
    const int y = ch <= ah ? (ah - ch) / 2 : int(std::trunc((ah - ch) * scrollY_));
    container_ = TRect{0, 0, aw, ah};
    control_->Control().Bounds = TRect{x, y, x + cw, y + ch};
    layingOut_ = false;
}
