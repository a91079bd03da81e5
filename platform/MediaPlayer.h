// Our stand-in for the system's media-player control and the filter-graph parts the
// video component calls, on FFmpeg. The control opens a file (synchronously: every
// open-state change is raised before the file-name write returns), answers its
// properties by dispatch id, plays, pauses and stops. Behind it sits a filter graph of
// a decoder filter (one output pin) feeding a video renderer (one input pin), which
// keeps the latest frame and hands it out as a packed device-independent bitmap. A
// Sample Grabber can be put between the two; a running graph hands it each frame on its
// own streaming thread, paced in real time at the control's rate. No sound is output
// and nothing is drawn on screen.
//
// Constants, GUIDs and records are our own, written from what the component relies on;
// records that travel as bytes (the format blocks of media types) are encoded field by
// field. Interfaces are abstract classes; "querying" one is a dynamic_cast.
//
// Threads: the control and the graph belong to the GUI thread (the thread whose message
// queue dispatches their windows' messages); only the grabber callback runs on the
// streaming thread. Events are raised on the GUI thread; those the streaming thread
// causes (end of stream) travel through the control's own message-only window.
#pragma once

#include "platform/BitmapInfo.h"
#include "platform/Guid.h"
#include "platform/Messages.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

// --- Results of the graph's calls ---
constexpr HRESULT VFW_E_ALREADY_CONNECTED = HRESULT(0x80040204u);
constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = HRESULT(0x80040207u);
constexpr HRESULT VFW_E_NOT_CONNECTED = HRESULT(0x80040209u);
constexpr HRESULT VFW_E_NOT_STOPPED = HRESULT(0x80040224u);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = HRESULT(0x8004022Au);
constexpr HRESULT VFW_E_NOT_IN_GRAPH = HRESULT(0x8004025Fu);

// --- GUIDs ---
constexpr TGUID GUID_NULL{};
constexpr TGUID CLSID_MediaPlayer{0x22D6F312, 0xB0F6, 0x11D0, {0x94, 0xAB, 0x00, 0x80, 0xC7, 0x4C, 0x7E, 0x95}};
constexpr TGUID DIID_IMediaPlayer{0x22D6F311, 0xB0F6, 0x11D0, {0x94, 0xAB, 0x00, 0x80, 0xC7, 0x4C, 0x7E, 0x95}};
constexpr TGUID IID_IAMovieAutomation{0x05589FA2, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr TGUID IID_IFilterGraph{0x56A8689F, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr TGUID IID_IGraphBuilder{0x56A868A9, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr TGUID IID_IMediaControl{0x56A868B1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr TGUID IID_IBasicVideo{0x56A868B5, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr TGUID IID_IBaseFilter{0x56A86895, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr TGUID IID_IMediaSeeking{0x36B73880, 0xC2C8, 0x11CF, {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}};
constexpr TGUID CLSID_SampleGrabber{0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
constexpr TGUID IID_ISampleGrabber{0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};
constexpr TGUID IID_ISampleGrabberCB{0x0579154A, 0x2B53, 0x4994, {0xB0, 0xD0, 0xE7, 0x73, 0x14, 0x8E, 0xFF, 0x85}};
constexpr TGUID MEDIATYPE_Video{0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr TGUID MEDIASUBTYPE_RGB24{0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr TGUID MEDIASUBTYPE_RGB32{0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr TGUID FORMAT_VideoInfo{0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr TGUID FORMAT_VideoInfo2{0xF72A76A0, 0xEB0A, 0x11D0, {0xAC, 0xE4, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA}};

// --- Media types and their format blocks ---
struct TAMMediaType {
    TGUID majortype;
    TGUID subtype;
    bool bFixedSizeSamples = false;
    bool bTemporalCompression = false;
    uint32_t lSampleSize = 0;
    TGUID formattype;
    std::vector<uint8_t> Format;  // the format block's bytes (cbFormat is its size)
};
// Lets go of the format block, as the standard rule frees it.
void FreeMediaType(TAMMediaType& mediaType);

// The bitmap header sits at offset 48 of a VIDEOINFOHEADER and 72 of a VIDEOINFOHEADER2.
constexpr size_t kVideoInfoHeaderBitmapOffset = 48;
constexpr size_t kVideoInfoHeader2BitmapOffset = 72;
constexpr size_t kVideoInfoHeaderSize = kVideoInfoHeaderBitmapOffset + kBitmapInfoHeaderSize;
constexpr size_t kVideoInfoHeader2Size = kVideoInfoHeader2BitmapOffset + kBitmapInfoHeaderSize;

struct TVideoInfoHeader {
    TRect rcSource;
    TRect rcTarget;
    uint32_t dwBitRate = 0;
    uint32_t dwBitErrorRate = 0;
    int64_t AvgTimePerFrame = 0;  // 100-ns units
    TBitmapInfoHeader bmiHeader;
};
struct TVideoInfoHeader2 {
    TRect rcSource;
    TRect rcTarget;
    uint32_t dwBitRate = 0;
    uint32_t dwBitErrorRate = 0;
    int64_t AvgTimePerFrame = 0;
    uint32_t dwInterlaceFlags = 0;
    uint32_t dwCopyProtectFlags = 0;
    uint32_t dwPictAspectRatioX = 0;
    uint32_t dwPictAspectRatioY = 0;
    uint32_t dwControlFlags = 0;
    uint32_t dwReserved2 = 0;
    TBitmapInfoHeader bmiHeader;
};
std::vector<uint8_t> EncodeVideoInfoHeader(const TVideoInfoHeader& info);
std::vector<uint8_t> EncodeVideoInfoHeader2(const TVideoInfoHeader2& info);
// False when the block is too short.
bool DecodeVideoInfoHeader(const std::vector<uint8_t>& block, TVideoInfoHeader& info);
bool DecodeVideoInfoHeader2(const std::vector<uint8_t>& block, TVideoInfoHeader2& info);

// --- Variants (the property values of the control) ---
enum TVarType : uint16_t { VT_EMPTY = 0, VT_I4 = 3, VT_R8 = 5, VT_BSTR = 8, VT_BOOL = 11 };
constexpr int16_t VARIANT_TRUE = -1;
constexpr int16_t VARIANT_FALSE = 0;

struct TVariant {
    TVarType vt = VT_EMPTY;
    int32_t lVal = 0;
    double dblVal = 0;
    int16_t boolVal = VARIANT_FALSE;
    AnsiString bstrVal;  // an empty string stands for a nil BSTR

    static TVariant FromBool(bool v);
    static TVariant FromInt(int32_t v);
    static TVariant FromDouble(double v);
    static TVariant FromString(const AnsiString& v);
    // The value read as each kind; numbers convert between each other, a Boolean reads
    // as -1 or 0, a string that is not a number as 0.
    int32_t AsInteger() const;
    bool AsBoolean() const;
    double AsDouble() const;
    AnsiString AsString() const;
};

// --- Dispatch ids the control gives meaning to ---
namespace MPDispId {
constexpr int32_t HasPicture = 1001;       // non-zero when the open file has a picture
constexpr int32_t Duration = 1003;         // seconds, or frames in frames mode
constexpr int32_t FileName = 1026;         // writing it opens the file
constexpr int32_t CurrentPosition = 1027;  // seconds, or the frame in frames mode
constexpr int32_t Rate = 1028;
constexpr int32_t DisplayMode = 32;        // 0 time, 1 frames
constexpr int32_t DisplaySize = 1032;      // 0 default, 1 half, 2 double, 3 full screen, 4 fit
constexpr int32_t ShowControls = 23;
constexpr int32_t OpenState = 1061;
constexpr int32_t PlayState = 1068;
constexpr int32_t ReadyState = -525;
}  // namespace MPDispId

// Open states (6 = open), play states and ready states as the control reports them.
constexpr int32_t mpClosed = 0;
constexpr int32_t mpLocating = 3;
constexpr int32_t mpConnecting = 4;
constexpr int32_t mpOpening = 5;
constexpr int32_t mpOpen = 6;
constexpr int32_t mpStopped = 0;
constexpr int32_t mpPaused = 1;
constexpr int32_t mpPlaying = 2;
constexpr int32_t mpReadyStateLoading = 1;
constexpr int32_t mpReadyStateComplete = 4;

// --- The filter graph ---
class IUnknownLike {
public:
    virtual ~IUnknownLike() = default;
};
template <class T>
T* Query(IUnknownLike* object) {
    return dynamic_cast<T*>(object);
}

class IBaseFilter;

enum TPinDirection { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

class IPin : public IUnknownLike {
public:
    virtual HRESULT QueryDirection(TPinDirection& direction) = 0;
    // VFW_E_NOT_CONNECTED when this side has no partner.
    virtual HRESULT ConnectedTo(IPin*& pin) = 0;
    virtual HRESULT ConnectionMediaType(TAMMediaType& mediaType) = 0;
    // Breaks this side of the connection only; VFW_E_NOT_STOPPED while streaming.
    virtual HRESULT Disconnect() = 0;
    virtual IBaseFilter* Filter() = 0;
};

class IBaseFilter : public IUnknownLike {
public:
    virtual HRESULT EnumPins(std::vector<IPin*>& pins) = 0;
    // The name the filter was added under (up to 128 characters).
    virtual HRESULT QueryFilterInfo(AnsiString& name) = 0;
};

class IFilterGraph : public IUnknownLike {
public:
    virtual HRESULT AddFilter(std::shared_ptr<IBaseFilter> filter, const AnsiString& name) = 0;
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT EnumFilters(std::vector<IBaseFilter*>& filters) = 0;
};

class IGraphBuilder : public IFilterGraph {
public:
    // A direct connection of an output pin to an input pin, in a media type both take.
    virtual HRESULT Connect(IPin* out, IPin* in) = 0;
};

class IMediaControl : public IUnknownLike {
public:
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    // Stops streaming; when it returns, the streaming thread has ended.
    virtual HRESULT Stop() = 0;
};

// Times in 100-ns units.
class IMediaSeeking : public IUnknownLike {
public:
    virtual HRESULT GetDuration(int64_t& duration) = 0;
    virtual HRESULT GetCurrentPosition(int64_t& position) = 0;
    virtual HRESULT SetPositions(int64_t current) = 0;
};

class IBasicVideo : public IUnknownLike {
public:
    virtual HRESULT GetVideoSize(int32_t& width, int32_t& height) = 0;
    // Without an image buffer: the size a packed DIB of the renderer's frame needs, in
    // bufferSize. With one: that DIB, when bufferSize is large enough (else
    // E_OUTOFMEMORY); bufferSize is the bytes written.
    virtual HRESULT GetCurrentImage(int32_t& bufferSize, uint8_t* image) = 0;
};

class ISampleGrabberCB {
public:
    virtual ~ISampleGrabberCB() = default;
    virtual HRESULT SampleCB(double sampleTime, const uint8_t* sample, int32_t length) = 0;
    virtual HRESULT BufferCB(double sampleTime, const uint8_t* buffer, int32_t length) = 0;
};

class ISampleGrabber : public IUnknownLike {
public:
    virtual HRESULT SetOneShot(bool oneShot) = 0;
    virtual HRESULT SetMediaType(const TAMMediaType& mediaType) = 0;
    virtual HRESULT GetConnectedMediaType(TAMMediaType& mediaType) = 0;
    virtual HRESULT SetBufferSamples(bool bufferThem) = 0;
    // which: 0 SampleCB, 1 BufferCB. The callback must outlive its use: set it to nullptr
    // (or stop the graph) before freeing it.
    virtual HRESULT SetCallback(ISampleGrabberCB* callback, int which) = 0;
};

// The Sample Grabber's creation (the class id CLSID_SampleGrabber); REGDB_E_CLASSNOTREG
// where the system has none (as VideoFiles() says). The filter it makes also implements
// IBaseFilter.
HRESULT CreateSampleGrabber(std::shared_ptr<ISampleGrabber>& grabber);

// --- The control ---

// The control's events, raised on the GUI thread; unassigned ones are skipped.
struct TMediaPlayerEvents {
    std::function<void(int32_t oldState, int32_t newState)> OnOpenStateChange;
    std::function<void(int32_t oldState, int32_t newState)> OnPlayStateChange;
    std::function<void(int32_t result)> OnEndOfStream;
    std::function<void(int32_t readyState)> OnReadyStateChange;
    std::function<void()> OnError;
    std::function<void(double oldPosition, double newPosition)> OnPositionChange;
    std::function<void()> OnDisplayModeChange;
    std::function<void(bool start)> OnBuffering;
    std::function<void(int32_t result)> OnDisconnect;
    std::function<void(int32_t marker)> OnMarkerHit;
    std::function<void()> OnNewStream;
    std::function<void(const AnsiString& type, const AnsiString& param)> OnScriptCommand;
    std::function<void(int32_t type, int32_t param, const AnsiString& description)> OnWarning;
};

class TMediaGraph;

class TMediaPlayer {
public:
    // On the GUI thread: the control makes its message-only window there.
    TMediaPlayer();
    // Stops the graph (the streaming thread has ended when this returns) and drops the
    // messages still queued for the control's window.
    ~TMediaPlayer();
    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    // Whether the system has the control (as VideoFiles() says).
    static bool Available();

    // Typed properties by dispatch id. Ids without a meaning of their own are stored.
    TVariant GetProperty(int32_t dispId) const;
    HRESULT SetProperty(int32_t dispId, const TVariant& value);

    HRESULT Play();
    HRESULT Pause();
    HRESULT Stop();

    // The graph of the open file (what the automation interface's filter-graph property
    // answers); nullptr while nothing is open. Query it for the graph interfaces.
    IFilterGraph* FilterGraph();
    // The video renderer's window (message-only; nothing is drawn); 0 while nothing is open.
    HWND RendererWindow() const { return rendererWindow_; }
    // Where the host put the control's window.
    TRect Bounds;

    TMediaPlayerEvents Events;

private:
    void Close();
    HRESULT Open(const AnsiString& fileName);
    void SetOpenState(int32_t state);
    void SetReadyState(int32_t state);
    void OnGraphState(int32_t oldState, int32_t newState);
    void WindowProc(TMessage& message);
    double PositionSeconds() const;
    void Seek(double seconds);
    bool CanCountFrames() const;

    HWND window_ = 0;
    HWND rendererWindow_ = 0;
    std::unique_ptr<TMediaGraph> graph_;
    std::map<int32_t, TVariant> stored_;
    int32_t openState_ = mpClosed;
    int32_t playState_ = mpStopped;
    int32_t readyState_ = mpReadyStateComplete;
    int32_t displayMode_ = 0;
    double rate_ = 1.0;
    uint32_t openGeneration_ = 0;
};

// --- Decoded video behind the decoder filter ---

// Frame-sized byte buffers. Growing one leaves the new bytes as they come (a frame is
// megabytes, written whole right after; clearing it first would cost as much again),
// and a few large blocks are kept for the next frames instead of going back to the
// system, which would hand out fresh pages that fault in one by one.
void* AllocateFrameBytes(size_t size);
void ReleaseFrameBytes(void* block, size_t size) noexcept;

template <class T>
struct TFrameAllocator {
    using value_type = T;
    TFrameAllocator() = default;
    template <class U>
    TFrameAllocator(const TFrameAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(AllocateFrameBytes(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept { ReleaseFrameBytes(p, n * sizeof(T)); }
    template <class U>
    void construct(U* p) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U>
    bool operator==(const TFrameAllocator<U>&) const {
        return true;
    }
};
using TByteBuffer = std::vector<uint8_t, TFrameAllocator<uint8_t>>;

struct TVideoFrame {
    double Time = 0;     // seconds from the start of the stream
    TByteBuffer Pixels;  // B, G, R, X per pixel, rows top to bottom without padding
};

class TVideoSource {
public:
    virtual ~TVideoSource() = default;
    virtual bool HasVideo() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual double Duration() const = 0;   // seconds
    virtual double FrameRate() const = 0;  // frames per second; 0 when unknown
    virtual int64_t FrameCount() const = 0;  // 0 when it cannot count them
    // The decoder filter's name, as the graph lists it.
    virtual AnsiString DecoderName() const = 0;
    // The next ReadFrame gives the frame shown at the time (the last one starting at or
    // before it); false when seeking fails.
    virtual bool Seek(double seconds) = 0;
    // The next frame; false at the end of the stream or when decoding fails.
    virtual bool ReadFrame(TVideoFrame& frame) = 0;
};

// Opens a file with FFmpeg; nullptr (with the reason in error) when it cannot be opened.
std::unique_ptr<TVideoSource> OpenFFmpegVideoSource(const AnsiString& fileName, AnsiString& error);

// How the graph's renderer behaves with a video: as it should unless a script says not.
struct TMediaGraphOptions {
    bool ImageSizeZero = false;
    bool RendererTakesOnlyRgb32 = false;
};

// The packed DIB the renderer answers: 32-bit BI_RGB on this system.
enum class TRendererImageFormat { Rgb32, Rgb24, Bitfields565, Bitfields32, Palette8 };

// Where the control's videos come from (files decoded with FFmpeg) and what the system
// around them offers, unless a test installed another.
class TVideoFiles {
public:
    virtual ~TVideoFiles() = default;
    // The video named fileName and how its renderer behaves; nullptr with the reason in
    // error when it cannot be opened.
    virtual std::unique_ptr<TVideoSource> Open(const AnsiString& fileName, TMediaGraphOptions& options,
                                               AnsiString& error) = 0;
    // Whether the system has the control and the Sample Grabber, and the format its
    // renderer answers images in: all there and 32-bit BI_RGB here; a fake may say otherwise.
    virtual bool HasMediaPlayer() = 0;
    virtual bool HasSampleGrabber() = 0;
    virtual TRendererImageFormat RendererFormat() = 0;
};

// The video files in use: the Linux ones unless a test installed others.
TVideoFiles& VideoFiles();
// Installs files (not owned) until it is called again with null.
void SetVideoFiles(TVideoFiles* files);

// --- The scripted fake ---

// A scripted video: its frames are painted, not decoded.
struct TFakeVideo {
    int Width = 64;
    int Height = 48;
    int FrameCount = 50;
    double FrameRate = 25;
    bool HasVideo = true;
    bool CanCountFrames = true;  // false: the frame count reads 0
    bool OpenFails = false;
    bool ImageSizeZero = false;          // the renderer reports a size of 0
    bool RendererTakesOnlyRgb32 = false;  // a grabber cannot be put before it
    AnsiString DecoderName = "Fake Video Decoder";
    // Paints frame n into B, G, R, X rows (default: one grey level per frame).
    std::function<void(int frame, uint8_t* pixels, int width, int height)> Paint;
};

// Video files for tests: the names scripted here open from their scripts; other names
// still open as files. The switches make a system without the control or the grabber,
// or a renderer that answers another image format; they may change while it is installed.
class TFakeVideoFiles : public TVideoFiles {
public:
    std::atomic<bool> MediaPlayerAvailable{true};
    std::atomic<bool> SampleGrabberAvailable{true};
    std::atomic<TRendererImageFormat> RendererImageFormat{TRendererImageFormat::Rgb32};

    void Add(const AnsiString& fileName, TFakeVideo video);
    const TFakeVideo* Find(const AnsiString& fileName) const;
    std::unique_ptr<TVideoSource> Open(const AnsiString& fileName, TMediaGraphOptions& options,
                                       AnsiString& error) override;
    bool HasMediaPlayer() override { return MediaPlayerAvailable; }
    bool HasSampleGrabber() override { return SampleGrabberAvailable; }
    TRendererImageFormat RendererFormat() override { return RendererImageFormat; }

private:
    std::map<AnsiString, TFakeVideo> videos_;
};
