// The video component: it hosts the media-player control (platform/MediaPlayer), opens a
// video in it, plays, pauses, stops and seeks it, and takes still frames, either the
// renderer's current image or, through a Sample Grabber it puts into the control's
// graph, one frame or a burst of frames, delivered as a bitmap, a BMP file or a JPEG
// file. Nothing is shown: the surface (display sizes, scroll bars, full screen) is kept
// as the rectangles and states a panel would have.
//
// GUI thread only, apart from the grabber callback, which runs on the streaming thread
// and reaches the component through a posted message.
#pragma once

#include "graphics/Bitmap32.h"
#include "platform/MediaPlayer.h"
#include "platform/Messages.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

enum TFrameCapture_Dest { fcTBitmap, fcBmpFile, fcJpegFile };
enum TAuto_Filename { fnSequential, fnDateTime };
enum TDisplayMode { mpTime, mpFrames };
enum TDisplaySize { mpDefaultSize, mpHalfSize, mpDoubleSize, mpFitToSize, mpCustomSize };
enum TJPEGPerformance { jpBestQuality, jpBestSpeed };

class TActiveMovie;

using TOnFrameCaptureCompleted = std::function<void(TActiveMovie* Sender, TBitmap32* Bitmap,
                                                    TFrameCapture_Dest DestType, const AnsiString& FileName,
                                                    bool Success)>;
using TNotifyEvent = std::function<void(TActiveMovie* Sender)>;

// The message that brings a grabbed frame to the component: wParam 1 when a frame was
// grabbed, lParam 0 for the last of a series.
constexpr UINT WM_FGRABBER_FRAME = WM_APP + 1000;

// Dispatch ids of the control's properties that the component publishes.
namespace AMProp {
// Boolean
constexpr int32_t AllowScan = 1035, AnimationAtStart = 1045, AutoRewind = 1018, ClickToPlay = 1025,
                  EnableContextMenu = 1021, Enabled = -514, EnableFullScreenControls = 1108,
                  EnablePositionControls = 27, EnableTracker = 29, InvokeURLs = 1020, Mute = 1089,
                  SendErrorEvents = 1064, SendKeyboardEvents = 1013, SendMouseClickEvents = 1014,
                  SendMouseMoveEvents = 1015, SendOpenStateChangeEvents = 1062, SendPlayStateChangeEvents = 1069,
                  SendWarningEvents = 1063, ShowAudioControls = 1107, ShowCaptioning = 1084, ShowDisplay = 22,
                  ShowGotoBar = 1088, ShowPositionControls = 24, ShowStatusBar = 1086, ShowTracker = 26,
                  VideoBorder3D = 1103;
// Integer
constexpr int32_t AudioStream = 1096, Balance = 20, CursorType = 1044, Language = 1095, PlayCount = 1030,
                  VideoBorderWidth = 1101, Volume = 19;
// Colour
constexpr int32_t VideoBorderColor = 1102;
// String
constexpr int32_t BaseURL = 1082, CaptioningID = 1085, DefaultFrame = 1083, SAMIFileName = 1099, SAMILang = 1098,
                  SAMIStyle = 1097;
// Set false before and true after a seek while the component asks for it.
constexpr int32_t SeekGuard = 1056;
}  // namespace AMProp

// The control wrapper: the control's identity, property access by dispatch id and its
// events, nothing more.
class TDerivedMovie_ {
public:
    explicit TDerivedMovie_(const AnsiString& name) : Name(name) {}

    const AnsiString Name;
    TMediaPlayer& Control() { return control_; }

    bool GetBooleanProp(int32_t dispId) const { return control_.GetProperty(dispId).AsBoolean(); }
    int32_t GetIntegerProp(int32_t dispId) const { return control_.GetProperty(dispId).AsInteger(); }
    double GetDoubleProp(int32_t dispId) const { return control_.GetProperty(dispId).AsDouble(); }
    void SetBooleanProp(int32_t dispId, bool v) { control_.SetProperty(dispId, TVariant::FromBool(v)); }
    void SetIntegerProp(int32_t dispId, int32_t v) { control_.SetProperty(dispId, TVariant::FromInt(v)); }
    void SetDoubleProp(int32_t dispId, double v) { control_.SetProperty(dispId, TVariant::FromDouble(v)); }
    void SetStringProp(int32_t dispId, const AnsiString& v) { control_.SetProperty(dispId, TVariant::FromString(v)); }

    // The control's help message (WM_HELP): raises OnF1HelpInvoked, which may clear the
    // pass-on flag; answers whether the message goes on to the control.
    std::function<void(TDerivedMovie_* Sender, bool& PassOn)> OnF1HelpInvoked;
    bool HelpMessage();

private:
    TMediaPlayer control_;
};

// Receives the grabber's frames on the streaming thread. Its flags are shared with the
// GUI thread, so they live under one lock; the frame bitmap belongs to the streaming
// thread from the moment busy is set until the posted message has been handled.
class TSampleGrabberCB : public ISampleGrabberCB {
public:
    HRESULT SampleCB(double sampleTime, const uint8_t* sample, int32_t length) override;
    HRESULT BufferCB(double sampleTime, const uint8_t* buffer, int32_t length) override;

    // Burst settings: a count below 0 and an interval below 1 are ignored.
    void SetBurstCount(int count);
    void SetBurstInterval(int interval);
    void SetBurstMode(bool burst);
    void SetWindow(HWND window);
    // The grabber's connected media type; the format kind follows from it (0 none, 1 a
    // VIDEOINFOHEADER, 2 a VIDEOINFOHEADER2).
    void SetMediaType(const TAMMediaType& mediaType);
    void FreeMediaType();
    int FormatKind();
    // A capture request: frames left := burst count, armed, notify once more at the end.
    void Arm();
    // Playback stopped: no frames left, disarmed.
    void Reset();
    bool Armed();
    bool Busy();
    // GUI thread, after the posted message: the frame (nullptr when none) and its time.
    TBitmap32* FrameBitmap() { return frame_.get(); }
    double SampleTime();
    // Frees the frame and clears busy, so the next frame may come.
    void Release();

private:
    std::mutex lock_;
    double sampleTime_ = 0;
    std::unique_ptr<TBitmap32> frame_;
    HWND window_ = 0;
    bool busy_ = false;
    bool burstMode_ = false;
    int countdown_ = 0;
    int framesLeft_ = 0;
    int burstCount_ = 1;
    int burstInterval_ = 1;
    int formatKind_ = 0;
    TAMMediaType mediaType_;
    bool notifyOnceMore_ = false;
    bool armed_ = false;
};

// The component's surface without a visible panel: where each part would lie.
struct TScrollBarState {
    bool Visible = false;
    int Min = 0;
    int Max = 100;
    int Position = 0;
    TRect Bounds;
};

class TActiveMovie {
public:
    // Raises the missing-control message when the stand-in cannot run (and the message
    // text is not empty). On the GUI thread.
    TActiveMovie();
    // Stops the graph first, so no frame and no message reaches a freed component.
    virtual ~TActiveMovie();
    TActiveMovie(const TActiveMovie&) = delete;
    TActiveMovie& operator=(const TActiveMovie&) = delete;

    // Whether the media-player stand-in can run.
    static bool IsPlayerControlRegistered();
    // The missing-control message; empty: no exception.
    static AnsiString& PlayerMissingMessage();

    AnsiString TimerName;
    HWND Handle() const { return handle_; }
    TDerivedMovie_& MediaPlayer() { return *control_; }

    // ---- Properties of the component ----
    AnsiString FileName;
    bool AutoStart = true;
    bool Loop = false;
    int ScrollBarsThickness = 16;
    double SelectionStart = -1.0;
    double SelectionEnd = -1.0;
    uint32_t Color = 0;  // black
    bool ParentColor = true;
    int CaptureSize = 100;
    AnsiString StoragePath;
    AnsiString AutoFilePrefix = "am";
    TAuto_Filename AutoFileName = fnSequential;
    int JPEGQuality = 100;
    TJPEGPerformance JPEGPerformance = jpBestQuality;  // a display setting; captures are encoded alike
    bool JPEGProgressiveDisplay = false;               // a display setting; captures are baseline
    bool DisplayLogo = true;
    // Dispatch id 1056 is written false before and true after each seek.
    bool SeekGuard = false;

    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetBounds(int width, int height);
    bool ShowScrollBars() const { return showScrollBars_; }
    void SetShowScrollBars(bool v);
    TDisplaySize DisplaySize() const { return displaySize_; }
    void SetDisplaySize(TDisplaySize v);
    int ZoomSize() const { return zoomSize_; }
    void SetZoomSize(int v);
    bool ShowControls() const;
    void SetShowControls(bool v);
    TDisplayMode DisplayMode() const;
    void SetDisplayMode(TDisplayMode v);
    double Rate() const { return rate_; }
    void SetRate(double v);
    bool FullScreen() const { return fullScreen_; }
    void SetFullScreen(bool v);

    bool FGrabber_Enabled() const { return grabberEnabled_; }
    void SetFGrabber_Enabled(bool v);
    bool FGrabber_BurstMode() const { return burstMode_; }
    void SetFGrabber_BurstMode(bool v);
    int FGrabber_BurstCount() const { return burstCount_; }
    void SetFGrabber_BurstCount(int v);
    int FGrabber_BurstInterval() const { return burstInterval_; }
    void SetFGrabber_BurstInterval(int v);
    const AnsiString& GrabberStatus() const { return grabberStatus_; }
    bool GrabberAvailable() const { return callback_ != nullptr; }
    bool GrabberInserted() const { return grabberInserted_; }

    // The control's published properties, by dispatch id; writing a Boolean lays the
    // component out again.
    bool GetControlBoolean(int32_t dispId) const { return control_->GetBooleanProp(dispId); }
    void SetControlBoolean(int32_t dispId, bool v);

    // Read from the control.
    int32_t OpenState() const;
    int32_t PlayState() const;
    double CurrentPosition() const;
    double Duration() const { return durationSeconds_; }
    int64_t FrameCount() const { return frameCount_; }

    // ---- Operations ----
    void Open();
    void Play();
    void Stop();
    bool PauseIfPlaying();
    void SeekTo(double position);
    // The renderer's current image as a new bitmap; false (and no bitmap) on any failure.
    bool CaptureFrame(std::unique_ptr<TBitmap32>& bitmap);
    // Delivers the frame at hand (the grabbed one, else the renderer's, pausing the
    // video) to the destination of the current capture request.
    bool CaptureFrameToDestination(bool lastOfSeries);
    // The capture request: with the grabber in the graph the callback is armed with the
    // burst settings; without it the renderer's image is taken once the message arrives.
    // target (fcTBitmap) must outlive the request; an empty fileName lets the component
    // name the files.
    void RequestGrabberCapture(TFrameCapture_Dest dest, TBitmap32* target = nullptr, const AnsiString& fileName = "");
    // The name a capture of that extension gets (Algorithm of the sequential counter or
    // the time), without the request's own file name.
    AnsiString NextCaptureFileName(const AnsiString& extension);

    // ---- The surface ----
    const TRect& ContainerBounds() const { return container_; }
    const TRect& ControlBounds() const { return control_->Control().Bounds; }
    const TScrollBarState& HorzScrollBar() const { return hBar_; }
    const TScrollBarState& VertScrollBar() const { return vBar_; }
    bool CornerVisible() const { return cornerVisible_; }
    // A scroll bar moved by the user: its position over its maximum becomes the fraction.
    void ScrollTo(bool horizontal, int position);
    void Layout();

    // ---- Events ----
    TNotifyEvent OnCreate;
    TNotifyEvent OnOpenComplete;
    TOnFrameCaptureCompleted OnFGrabberCaptureCompleted;
    std::function<void(TActiveMovie* Sender, int Key)> OnFullScreenKeyPress;
    std::function<void(TActiveMovie* Sender, double Position)> OnPositionChange;
    std::function<void(TActiveMovie* Sender, bool Start)> OnBuffering;
    std::function<void(TActiveMovie* Sender, int32_t Result)> OnDisconnect;
    TNotifyEvent OnDisplayModeChange;
    TNotifyEvent OnEndOfStream;
    TNotifyEvent OnError;
    std::function<void(TActiveMovie* Sender, int32_t Marker)> OnMarkerHit;
    TNotifyEvent OnNewStream;
    std::function<void(TActiveMovie* Sender, int32_t OldState, int32_t NewState)> OnOpenStateChange;
    std::function<void(TActiveMovie* Sender, int32_t OldState, int32_t NewState)> OnPlayStateChange;
    std::function<void(TActiveMovie* Sender, int32_t ReadyState)> OnReadyStateChange;
    std::function<void(TActiveMovie* Sender, const AnsiString& Type, const AnsiString& Param)> OnScriptCommand;
    std::function<void(TActiveMovie* Sender, int32_t Type, int32_t Param, const AnsiString& Description)> OnWarning;

protected:
    // The renderer interface kept after opening, for captures.
    IBasicVideo* BasicVideo() const { return basicVideo_; }
    // The capture buffer: reused while large enough.
    TByteBuffer CaptureBuffer;
    // The renderer's current image, read through the capture buffer, into frame; false
    // on any failure.
    bool ReadRendererImage(TBitmap32& frame);

private:
    void WindowProc(TMessage& message);
    void ControlCreated();
    void Timer();
    void HandleOpenState(int32_t oldState, int32_t newState);
    void HandlePlayState(int32_t oldState, int32_t newState);
    bool InsertGrabber();
    void RemoveGrabberSetup();
    void GiveBurstSettings();
    void ApplyDisplaySize();
    void HandleFrameMessage(const TMessage& message);
    void RendererWindowProc(TMessage& message);
    void AuxWindowProc(TMessage& message);
    bool Open_() const;

    std::unique_ptr<TDerivedMovie_> control_;
    HWND handle_ = 0;
    HWND auxWindow_ = 0;
    HWND rendererWindow_ = 0;
    TWndMethod rendererProc_;
    std::unique_ptr<TSampleGrabberCB> callback_;
    std::vector<AnsiString> filterNames_;
    IBasicVideo* basicVideo_ = nullptr;
    IMediaControl* mediaControl_ = nullptr;
    IGraphBuilder* graphBuilder_ = nullptr;
    IMediaSeeking* mediaSeeking_ = nullptr;
    std::shared_ptr<ISampleGrabber> grabber_;

    int width_ = 240, height_ = 200;
    bool visible_ = true;
    bool showScrollBars_ = true;
    TDisplaySize displaySize_ = mpDefaultSize;
    int zoomSize_ = 100;
    double rate_ = 1.0;
    bool fullScreen_ = false;
    bool grabberEnabled_ = false;
    bool burstMode_ = false;
    int burstCount_ = 0;
    int burstInterval_ = 0;
    AnsiString grabberStatus_;
    bool grabberInserted_ = false;

    int32_t openState_ = mpClosed;
    int32_t playState_ = mpStopped;
    bool justOpened_ = false;
    bool noPicture_ = false;
    double durationSeconds_ = 0;
    int64_t frameCount_ = 0;
    double lastPosition_ = -1;
    double lastPositionSeconds_ = 0;

    // Requests and deferred events the timer carries out.
    bool inTimer_ = false;
    bool layingOut_ = false;
    bool fullScreenRequest_ = false;
    bool leaveFullScreenRequest_ = false;
    bool pauseRequest_ = false;
    bool endOfStream_ = false;
    int pendingKey_ = 0;
    bool openStateChanged_ = false, playStateChanged_ = false, disconnected_ = false;
    int32_t deferredOpenOld_ = 0, deferredOpenNew_ = 0, deferredPlayOld_ = 0, deferredPlayNew_ = 0;
    int32_t disconnectResult_ = 0;

    TRect container_;
    TScrollBarState hBar_, vBar_;
    bool cornerVisible_ = false;
    TRect cornerBounds_;
    double scrollX_ = 0.5, scrollY_ = 0.5;

    // The capture request.
    TFrameCapture_Dest captureDest_ = fcTBitmap;
    TBitmap32* captureTarget_ = nullptr;
    AnsiString captureFile_;
    int sequence_ = 0;
};
