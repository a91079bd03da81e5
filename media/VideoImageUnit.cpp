#include "media/VideoImageUnit.h"

#include "graphics/MagickReader.h"
#include "graphics/PictureRegistry.h"
#include "platform/DebugOutput.h"

#include <memory>
#include <mutex>

namespace {

struct TVideoFormat {
    const char* Extension;
    const char* Description;
};
constexpr TVideoFormat kVideoFormats[] = {
    {"AVI", "AVI-Video"}, {"MOV", "Quicktime Video"}, {"MPG", "MPG-Video"},
    {"MPEG", "MPG-Video"}, {"WMV", "Windows Media Video"},
    // The containers phones and cameras write today: FFmpeg plays the same clips in
    // them as in the five above, so a clip shows whatever box it came in.
    {"MP4", "MPEG-4-Video"}, {"M4V", "MPEG-4-Video"}, {"3GP", "3GPP-Video"},
    {"MKV", "Matroska-Video"}, {"WEBM", "WebM-Video"},
};

// One video opened and captured at a time.
std::mutex videoLock;
// Only owns the component of the load in progress; nothing is shown.
struct THostForm {
    std::unique_ptr<TmyActiveMovie> Component;
};
std::unique_ptr<THostForm> hostForm;
int initCount = 0;
std::mutex initLock;

[[noreturn]] void Fail(const AnsiString& fileName, const AnsiString& reason) {
    OutputDebugString("Video picture " + fileName + ": " + reason);
    throw EInvalidGraphic("");
}

// The component lives for one load and goes whatever happens.
struct TOwnedComponent {
    explicit TOwnedComponent(THostForm& host) : Host(host) { Host.Component = std::make_unique<TmyActiveMovie>(); }
    ~TOwnedComponent() { Host.Component.reset(); }
    THostForm& Host;
};

}  // namespace

bool TmyActiveMovie::myCaptureFrame(TBitmap32& bitmap) {
    const bool wasPlaying = PauseIfPlaying();
    int32_t w = 0, h = 0;
    IBasicVideo* video = BasicVideo();
    TBitmap32 frame;
    const bool ok = video && Succeeded(video->GetVideoSize(w, h)) && ReadRendererImage(frame);
    if (ok) bitmap = std::move(frame);
    if (wasPlaying) Play();
    return ok;
}

void TVideoImage::LoadFromFile(const AnsiString& fileName) {
    std::lock_guard lock(videoLock);
    if (!TActiveMovie::IsPlayerControlRegistered()) Fail(fileName, "no media player");
    if (!hostForm) Fail(fileName, "the video pictures are not initialised");
    try {
        TOwnedComponent owned(*hostForm);
        TmyActiveMovie& movie = *hostForm->Component;
        movie.SetBounds(0, 0);
        movie.FileName = fileName;
        movie.AutoStart = false;
        movie.SetShowControls(false);
        movie.SetShowScrollBars(false);
        movie.SetControlBoolean(AMProp::AnimationAtStart, false);
        movie.SetControlBoolean(AMProp::ClickToPlay, false);
        movie.DisplayLogo = false;
        movie.SetControlBoolean(AMProp::EnableContextMenu, false);
        movie.SetControlBoolean(AMProp::EnablePositionControls, false);
        movie.SetControlBoolean(AMProp::EnableTracker, false);
        movie.Open();
        if (movie.OpenState() != mpOpen) Fail(fileName, "the file does not open as a video");
        if (!movie.myCaptureFrame(*this)) Fail(fileName, "the video gives no picture");
    } catch (const EInvalidGraphic&) {
        throw;
    } catch (const std::exception& e) {
        Fail(fileName, e.what());
    }
}

namespace VideoImageUnit {

void Initialize() {
    std::lock_guard lock(initLock);
    if (initCount++ > 0) return;
    hostForm = std::make_unique<THostForm>();
    // A stream or memory holds no file to open: it is read as the plain bitmap would.
    TPictureReader plainBitmap = [](const uint8_t* d, size_t n, const TPictureLoadOptions&) {
        return ReadMagickPicture(d, n, "BMP");
    };
    TPictureFileReader video = [](const AnsiString& fileName, const TPictureLoadOptions&) {
        TVideoImage image;
        image.LoadFromFile(fileName);
        return TBitmap32(std::move(image));
    };
    for (const TVideoFormat& f : kVideoFormats) RegisterPictureFormat(f.Extension, f.Description, plainBitmap, video);
}

void Finalize() {
    std::lock_guard lock(initLock);
    if (initCount == 0 || --initCount > 0) return;
    for (const TVideoFormat& f : kVideoFormats) UnregisterPictureFormat(f.Extension);
    hostForm.reset();
}

}  // namespace VideoImageUnit
