#include "playback/SlideShowPlayer.h"

#include "document/BackgroundMusicSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "document/PreparationSteps.h"
#include "document/SlideShow.h"
#include "document/SlideShowPlayerProperties.h"
#include "document/SlideShowProperties.h"
#include "document/SoundServices.h"
#include "foundation/Benchmark.h"
#include "foundation/FileTools.h"
#include "foundation/SlideShowGlobals.h"
#include "media/MusicPlayList.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/FontRegistry.h"
#include "playback/MusicOpener.h"
#include "playback/PlayerInternals.h"
#include "playback/PlayerWindow.h"
#include "playback/RealTimeSlideShowPlayer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>

GC_IMPLEMENT_PLUGIN(TSlideShowPlayer, TInterfacedPlugin)

using namespace PlayerInternals;

namespace {

int32_t EndTime(IPlayable* playable, const TSlideShowObject* object) {
    return SaturateInt32(int64_t(playable->GetStartTime()) + object->GetDuration());
}

// A frame that comes after the object's end still runs the timers due up to the end, so
// that a late wake-up loses none.
void RunTimersDueBeforeEnd(IPlayerServices* player, IPlayable* playable, TSlideShowObject* object) {
    TSlideShowObjectEventList* events = playable->GetEventList();
    // An object that ended by itself took its timers' chances with it.
    if (!events || playable->IsFinished()) return;
    const int64_t end = EndTime(playable, object);
    for (int k = 0; k < events->Count(); ++k) {
        auto* timer = dynamic_cast<TSlideShowObjectEventTimer*>(events->GetItem(k));
        if (!timer || timer->Fired || int64_t(playable->GetStartTime()) + timer->Offset > end) continue;
        playable->ExecuteEvent(player, timer);
        timer->Fired = true;
    }
}

// The sounds of the list that follow a curve which moves: ms until the first of them
// changes next, -1 for none.
int32_t NextCurveChange(ISlideShowSoundList& list, int32_t time) {
    int32_t first = -1;
    for (int i = 0; i < list.Count(); ++i) {
        ISlideShowSound* sound = list.GetSound(i);
        const IVolumeCurve* curve = sound ? sound->GetEnvelopeCurve() : nullptr;
        if (!curve || !sound->IsPlaying()) continue;
        const int start = sound->GetEnvelopeStart();
        const int next = curve->TimeToNextChange(start == -1 ? time : SaturateInt32(int64_t(time) - start));
        if (next >= 0 && (first < 0 || next < first)) first = next;
    }
    return first;
}

}  // namespace

// ---- free helpers ----

bool ComparePlayOrder(TSlideShowObject* a, TSlideShowObject* b) {
    IPlayable* pa = AsPlayable(a);
    IPlayable* pb = AsPlayable(b);
    if (!pa || !pb) return false;
    if (pa->GetLayer() != pb->GetLayer()) return pa->GetLayer() < pb->GetLayer();
    return pa->GetStartTime() < pb->GetStartTime();
}

int32_t ChooseNextTime(int32_t acc, int32_t time) {
    if (acc == -2) return time;
    return time != -2 && time <= acc ? time : acc;
}

void ReduceUpdateRects(std::vector<TRect>& rects, const TRect& bufferRect) {
    // A rectangle beyond the buffer copies nothing, and one that is empty or inverted
    // would only drag a union out to its corners.
    for (TRect& r : rects) r = IntersectRect(r, bufferRect);
    std::erase_if(rects, [](const TRect& r) { return r.IsEmpty(); });
    auto area = [](const TRect& r) { return static_cast<double>(int64_t(r.Width()) * r.Height()); };
    for (size_t i = rects.size(); i-- > 1;) {
        const TRect ri = rects[i];
        for (size_t j = 0; j < i; ++j) {
            const TRect rj = rects[j];
            const TRect overlap = IntersectRect(ri, rj);
            if (overlap.IsEmpty()) continue;
            const double shared = area(overlap);
            if (shared > 0.5 * area(ri) || shared > 0.5 * area(rj)) {
                rects[j] = UnionRect(ri, rj);
                rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
    }
}

// ---- construction ----

TSlideShowPlayer::TSlideShowPlayer() : TSlideShowPlayer(CurrentSoundSystem()) {}

TSlideShowPlayer::TSlideShowPlayer(ISoundSystem* soundSystem) : soundSystem_(soundSystem) {
    Benchmark = std::make_unique<TBenchmark>();
    preparation_ = std::make_unique<TPreparationQueue>(*this);
    RunCpuBenchmark();
}

TSlideShowPlayer::~TSlideShowPlayer() {
    try {
        ResetPlayback();
    } catch (const std::exception& e) {
        LogError(AnsiString("Player: ") + e.what());
    }
    PlayingObjects.clear();
    ComingObjects.clear();
    ScheduleItems.Clear(false);
    SlideShow = nullptr;
    ownedShow_.reset();
    RemoveShowFonts();
}

void TSlideShowPlayer::RunCpuBenchmark() {
    TSlideShowPlayerStopWatch watch(this);
    watch.Reset(0);
    // A fixed floating-point loop; its results only have to exist.
    volatile float sink = 0;
    float a = 0;
    for (int32_t counter = 1; counter <= 1000000; ++counter) {
        a = static_cast<float>(counter);
        float b = a / static_cast<float>(counter);
        b = a * b;
        const float c = b - a;
        const float d = (c * 7 + c) / 2378;
        a = d * b;
    }
    sink = a;
    (void)sink;
    int32_t elapsed = watch.Stop();
    if (elapsed == 0) elapsed = 1;
    auto value = TIntegerBenchmarkValue::CreateValue(BenchmarkDefaults::CPUKey);
    value->SetTime(elapsed);
    Benchmark->Add(BenchmarkNames::CPU, std::move(value));
    CpuFactor = elapsed / 160.0;
}

// ---- settings and show ----

const ClassInfo& TSlideShowPlayer::GetPropertiesClass() const { return TSlideShowPlayerProperties::StaticClassInfo(); }

TSlideShowPlayerProperties* TSlideShowPlayer::GetSettings() {
    // Made on first use, so that a derived player's settings class counts.
    if (!settings_) {
        settings_.reset(CreateAsOrNew<TSlideShowPlayerProperties>(GetPropertiesClass()).release());
    }
    return settings_.get();
}

void TSlideShowPlayer::SetProperties(const TProperties* given) {
    if (!given || !given->InheritsFrom(GetPropertiesClass())) return;
    TPluginPtr<TSlideShowPlayerProperties> copy =
        CreateAs<TSlideShowPlayerProperties, TPluginDeleter>(GetPropertiesClass());
    if (!copy) return;
    copy->Assign(*given);
    settings_ = std::move(copy);
}

void TSlideShowPlayer::SetSlideShow(TSlideShow* show, bool makeCopy) {
    // A prepared show is reset while it still exists: the shell frees it right after.
    if (SlideShow && showPrepared_) ResetPlayback();
    std::unique_ptr<TSlideShow> previous = std::move(ownedShow_);
    if (makeCopy && show) {
        ownedShow_ = show->Clone();
        SlideShow = ownedShow_.get();
        OwnsSlideShow = true;
    } else if (show && show == previous.get()) {
        // Handing back the player's own copy keeps it.
        ownedShow_ = std::move(previous);
        SlideShow = show;
        OwnsSlideShow = true;
    } else {
        SlideShow = show;
        OwnsSlideShow = false;
    }
    ScheduleItems.Clear(false);
    walk_.Clear();
}

TSlideShowProperties* TSlideShowPlayer::ShowSettings() const {
    return SlideShow ? SlideShow->SlideShowProperties : nullptr;
}

TMusicProperties* TSlideShowPlayer::MusicSettings() const {
    return SlideShow ? dynamic_cast<TMusicProperties*>(SlideShow->MusicProperties) : nullptr;
}

bool TSlideShowPlayer::MusicFollowsShow() const {
    const TMusicProperties* music = MusicSettings();
    return music && music->FollowShowTime;
}

int32_t TSlideShowPlayer::GetMusicTime() { return MusicFollowsShow() ? GetPlayTime() : GetMusicClockTime(); }
int32_t TSlideShowPlayer::GetCurrentMusicTime() {
    return MusicFollowsShow() ? GetCurrentPlayTime() : GetCurrentMusicClockTime();
}

// ---- window ----

TWinPaintBox32* TSlideShowPlayer::GetPaintBox() { return Window ? Window->GetPaintBox() : nullptr; }

TBitmap32* TSlideShowPlayer::GetBackBuffer() {
    TWinPaintBox32* box = GetPaintBox();
    return box ? &box->Buffer() : nullptr;
}

TRect TSlideShowPlayer::GetClientRect() {
    TWinPaintBox32* box = GetPaintBox();
    return box ? box->ClientRect() : TRect{};
}

void TSlideShowPlayer::PostPlayerMessage(const TMessage& message) {
    if (Window) Window->PostMessage(message);
}

void TSlideShowPlayer::SendPlayerMessage(TMessage& message) {
    if (Window) Window->SendMessage(message);
}

void TSlideShowPlayer::BeginPlay(IPlayerWindow* window, TSlideShow* show, bool makeCopy,
                                 TSlideShowObject* startObject, int32_t startTime) {
    Stopping = false;
    Window = window;
    preparation_->WakeThrough(window);
    // The start object may belong to the show given while the player plays a copy.
    TPath path;
    if (startObject) path = startObject->GetPath();
    SetSlideShow(show, makeCopy);
    if (startObject && SlideShow) startObject = SlideShow->RootList().GetObjectByPath(path);
    if (Window) Window->Setup(this, SlideShow, GetSettings());
    PrepareShow(true, startObject, startTime);
}

void TSlideShowPlayer::EndPlay() {
    preparation_->WakeThrough(nullptr);
    Window = nullptr;
}

void TSlideShowPlayer::PlayInForm(TSlideShow* show, bool makeCopy, TSlideShowObject* startObject, int32_t startTime) {
    Stopping = false;
    std::unique_ptr<IPlayerWindow> form = CreateWindowForm();
    if (!form) return;
    struct TRelease {
        TSlideShowPlayer* Player;
        ~TRelease() { Player->EndPlay(); }
    } release{this};
    BeginPlay(form.get(), show, makeCopy, startObject, startTime);
    form->SetOnMessageLoop([this] { MessageLoopStep(); });
    form->SetMessageHook([this](TMessage& m) { return HandlePlayerMessage(m); });
    form->RunModalLoop();
}

void TSlideShowPlayer::PlayInWindow(TSlideShow* show, bool makeCopy) { PlayInForm(show, makeCopy, nullptr, 0); }

void TSlideShowPlayer::PlayInWindowFromObject(TSlideShow* show, TSlideShowObject* object, bool makeCopy) {
    PlayInForm(show, makeCopy, object, 0);
}

void TSlideShowPlayer::PlayInWindowFromTime(TSlideShow* show, int32_t time, bool makeCopy) {
    // Prepared from the time itself: a posted jump would run before the loop starts the
    // clocks at the show's beginning.
    PlayInForm(show, makeCopy, nullptr, std::max(time, 0));
}

bool TSlideShowPlayer::HandlePlayerMessage(TMessage& message) {
    switch (message.Msg) {
        case WM_PLAYER_PAUSE:
            Pause(false);
            return true;
        case WM_PLAYER_RESUME:
            Resume(false);
            return true;
        case WM_USER + 3:
        case WM_USER + 4:
        case WM_USER + 6:
        case WM_USER + 7:
        case WM_USER + 8:
        case WM_USER + 9:
        case WM_PLAYER_WAKE:
            return true;
        case WM_PLAYER_STOP:
            Stop();
            return true;
        case WM_PLAYER_JUMPTOTIME:
            // The time travels as a 32-bit value; a damaged negative one counts as 0.
            JumpToTime(std::max(static_cast<int32_t>(static_cast<uint32_t>(message.WParam)), 0),
                       message.LParam != 0);
            return true;
        case WM_KEYDOWN:
            if (message.WParam == VK_ESCAPE ||
                (message.WParam == VK_F4 && (KeyDataToShiftState(message.LParam) & ssAlt) != 0))
                EndShow(true);
            return true;
        default:
            return false;
    }
}

// ---- fonts ----

void TSlideShowPlayer::InstallShowFonts() {
    RemoveShowFonts();
    // A show without a file has no folder, and so no fonts of its own.
    if (!SlideShow || SlideShow->FileName().empty()) return;
    const AnsiString folder = ExtractFilePath(SlideShow->FileName()) + "Fonts\\";
    const AnsiString files = FindMatchingFiles(folder, "*.*", false);
    const int count = CountItems(files);
    for (int i = 0; i < count; ++i) FontFiles.push_back(GetItem(files, i));
    for (const AnsiString& file : FontFiles) AddFontResource(file);
}

void TSlideShowPlayer::RemoveShowFonts() {
    for (const AnsiString& file : FontFiles) RemoveFontResource(file);
    FontFiles.clear();
}

// ---- tick and frame ----

void TSlideShowPlayer::MessageLoopStep() {
    tickStartTicks_ = GetTickCount();
    wakeAfter_ = INT64_MAX;
    preparation_->BeginTick();
    queuedThisTick_ = false;
    int32_t delay = 0;
    if (!Paused || RunToMode) {
        frameTime_ = GetPlayTime();
        preparation_->PrepareDueAfterAside();
        // Objects that are due and prepared join before the frame, so that they show
        // in the frame at their start rather than one frame later.
        musicHandedOver_ += MoveDueObjects();
        SortObjectLists();
        const int32_t wait = RenderFrame(PlayingObjects);
        frameRan_ = true;
        frameResult_ = wait;
        if (RunToMode && GetPlayTime() >= RunToTime) {
            ForcePause();
            SetClockTime(RunToTime);
            GetPlayTime();
        }
        delay = FullRepaint ? -1 : std::max(0, wait);
    } else {
        frameRan_ = false;
        // No frame while paused; music on its own clock still moves on and fades (the
        // queue is suspended when the music pauses with the show).
        ProcessHighPriorityEvents();
    }
    PrepareWhileWaiting(ComingObjects, delay);
    AdvanceObjects(false);
    if (Paused && !RunToMode) IdleWhilePaused();
    // Curves are applied at the start of every frame; the sounds that follow one ask for
    // the frames it needs, counting those their items started in this tick. The object
    // sounds' time stands while the show pauses; the music's while its events do.
    if (soundSystem_) {
        if (!Paused || RunToMode)
            if (const int32_t next = NextCurveChange(soundSystem_->ObjectSounds(), GetPlayTime()); next >= 0)
                RequestWakeup(next);
        if (!HighPriorityEventsSuspended)
            if (const int32_t next = NextCurveChange(soundSystem_->MusicSounds(), GetMusicTime()); next >= 0)
                RequestWakeup(next);
    }
}

void TSlideShowPlayer::RunFrameEvents(IPlayable* playable, TSlideShowObject* object, int32_t now) {
    TSlideShowObjectEventList* events = playable->GetEventList();
    if (!events) return;
    if (playable->GetState() == psStarted) {
        TSlideShowObjectEvent* started = nullptr;
        if (playable->FindEvent(TSlideShowObjectEventObjectStarted::StaticClassInfo(), started))
            playable->ExecuteEvent(this, started);
    }
    for (int k = 0; k < events->Count(); ++k) {
        TSlideShowObjectEvent* event = events->GetItem(k);
        if (auto* timer = dynamic_cast<TSlideShowObjectEventTimer*>(event)) {
            const int64_t due = int64_t(playable->GetStartTime()) + timer->Offset;
            if (!timer->Fired && due <= now) {
                playable->ExecuteEvent(this, timer);
                timer->Fired = true;
            } else if (!timer->Fired && due <= EndTime(playable, object)) {
                // A still asks for no frame before its end: the timer's time has to.
                RequestWakeup(SaturateInt32(due - now));
            }
            continue;
        }
        for (int j = 0; j < PendingEvents.Count(); ++j) {
            TSlideShowObjectEvent* pending = PendingEvents.GetItem(j);
            if (&pending->ClassType() != &event->ClassType()) continue;
            event->AssignEventData(*pending);
            playable->ExecuteEvent(this, event);
        }
    }
}

void TSlideShowPlayer::RequestWakeup(int32_t ms) { wakeAfter_ = std::min<int64_t>(wakeAfter_, std::max(ms, 0)); }

int32_t TSlideShowPlayer::RenderFrame(std::vector<TSlideShowObject*>& objects) {
    const uint32_t generation = prepareGeneration_;
    ProcessHighPriorityEvents();
    int32_t next = -1;
    if (objects.empty()) {
        EndIfNothingComes();
    } else {
        TWinPaintBox32* box = GetPaintBox();
        std::vector<TRect> rects;
        composer_.BeginFrame(objects, {box ? &box->Buffer() : nullptr, box ? box->BufferSerial() : 0},
                             KeepUnchangedDrawings, FullRepaint);
        composer_.RestoreBackgrounds(objects, this, rects);
        next = PlayFrameObjects(objects, rects);
        composer_.EndFrame(objects);
        PendingEvents.Clear();
        FlushFrame(rects);
        if (ShowFps) CountFrame();
    }
    // A frame after the latest preparation ends the first-frame state; a restart inside
    // this frame leaves it for the next one.
    if (generation == prepareGeneration_) drawnGeneration_ = generation;
    return next == -2 ? -1 : next;
}

void TSlideShowPlayer::EndIfNothingComes() {
    if (!FullRepaint && ScheduleItems.Count() == 0 && ComingObjects.empty() && !endReached_) {
        endReached_ = true;
        EndShow(false);
    }
}

int32_t TSlideShowPlayer::PlayFrameObjects(std::vector<TSlideShowObject*>& objects, std::vector<TRect>& rects) {
    int32_t next = -2;
    for (size_t i = 0; i < objects.size();) {
        TSlideShowObject* object = objects[i];
        IPlayable* playable = AsPlayable(object);
        if (!playable) {
            ++i;
            continue;
        }
        const int32_t now = GetPlayTime();
        if (!playable->IsFinished() && EndTime(playable, object) >= now) {
            RunFrameEvents(playable, object, now);
            next = ChooseNextTime(next, playable->Play(this, false));
            composer_.ItemPlayed(object, false, rects);
            ++i;
            continue;
        }
        FinishObject(playable, object, rects);
        if (i < objects.size() && objects[i] == object) objects.erase(objects.begin() + static_cast<std::ptrdiff_t>(i));
        else EraseObject(objects, object);
    }
    return next;
}

void TSlideShowPlayer::FinishObject(IPlayable* playable, TSlideShowObject* object, std::vector<TRect>& rects) {
    RunTimersDueBeforeEnd(this, playable, object);
    playable->Play(this, true);
    composer_.ItemPlayed(object, true, rects);
    TSlideShowObjectEvent* finished = nullptr;
    if (playable->FindEvent(TSlideShowObjectEventObjectFinished::StaticClassInfo(), finished))
        playable->ExecuteEvent(this, finished);
    playable->Reset();
}

void TSlideShowPlayer::FlushFrame(std::vector<TRect>& rects) {
    TWinPaintBox32* box = GetPaintBox();
    if (!box) return;
    if (!FullRepaint) ReduceUpdateRects(rects, box->Buffer().BoundsRect());
    // How long a start takes is measured up to this line.
    const bool first = !firstFlushTold_ && (FullRepaint || !rects.empty());
    if (first) {
        firstFlushTold_ = true;
        if (DebugOutputEnabled()) OutputDebugString("first frame flushed");
    }
    if (FullRepaint) {
        box->Flush();
    } else {
        for (const TRect& r : rects) box->Flush(r);
    }
    if (first) TraceMoment("first-frame");
    if (first && OnFirstFrame) OnFirstFrame(this);
}

void TSlideShowPlayer::CountFrame() {
    ++FrameCount;
    ++FpsFrames;
    try {
        const int64_t span = int64_t(GetCurrentPlayTime()) - FpsWindowStart;
        // No time has passed in the window yet: no rate to tell.
        if (span > 0) {
            char text[64];
            std::snprintf(text, sizeof text, "%.2f fps", FpsFrames * 1000.0 / static_cast<double>(span));
            FpsText = text;
            if (Window) Window->DrawFrameRate(FpsText);
        }
    } catch (const std::exception&) {
        // The rate is a diagnostic: a failure to show it never stops the show.
    }
    if (FpsFrames > 25) {
        FpsFrames = 0;
        FpsWindowStart = GetCurrentPlayTime();
    }
}

int32_t TSlideShowPlayer::TimeToNextTick() {
    const int32_t now = GetCurrentPlayTime();
    int64_t best = INT64_MAX;
    auto at = [&](int64_t showTime) { best = std::min(best, showTime - now); };
    const bool framesRun = !Paused || RunToMode;
    if (framesRun) {
        for (TSlideShowObject* object : PlayingObjects) {
            IPlayable* playable = AsPlayable(object);
            if (!playable) continue;
            // Not drawn yet: the next frame.
            if (playable->GetState() == psStarted) return 0;
            // An object that has ended is finished in the first frame after its end.
            at(int64_t(EndTime(playable, object)) + 1);
        }
        if (frameRan_ && !PlayingObjects.empty()) {
            if (frameResult_ < 0) return 0;
            at(int64_t(frameTime_) + frameResult_);
        }
        if (RunToMode) at(RunToTime);
        // What this tick queued gets the idle time of the next one.
        if (queuedThisTick_)
            for (TSlideShowObject* object : ComingObjects)
                if (IPlayable* playable = AsPlayable(object); playable && !playable->IsInitialized()) return 0;
        // The end of the show is acted on in the next frame.
        if (PlayingObjects.empty() && ComingObjects.empty() && ScheduleItems.Count() == 0 && !FullRepaint &&
            !endReached_)
            return 0;
    }
    for (TSlideShowObject* object : ComingObjects) {
        IPlayable* playable = AsPlayable(object);
        if (!playable) continue;
        const int32_t start = playable->GetStartTime();
        if (playable->IsInitialized()) {
            if (framesRun) at(start);
        } else if (start <= now) {
            return 0;
        } else if (framesRun) {
            // Preparation gets its share of the ticks from this moment on.
            at(int64_t(start) - TPreparationQueue::RemainingEstimate(playable) - 50);
            // Work of its step on the helper thread is taken up in the first tick after
            // it is over; the helper wakes the loop when it is.
            if (preparation_->AsideOver(object)) at(now);
        }
    }
    if (framesRun) {
        const int32_t preload = GetSettings()->PreloadTime;
        for (int i = 0; i < ScheduleItems.Count(); ++i)
            if (IPlayable* playable = AsPlayable(ScheduleItems.Item(i)->Cursor))
                at(int64_t(playable->GetStartTime()) - preload);
    }
    if (!HighPriorityEventsSuspended) {
        std::lock_guard<std::recursive_mutex> lock(eventLock_);
        for (const auto& event : highPriorityEvents_) {
            const int32_t need = event->TimeToNextTick();
            if (need >= 0) best = std::min<int64_t>(best, need);
        }
    }
    // What the tick's timed work asked for.
    if (wakeAfter_ != INT64_MAX)
        best = std::min<int64_t>(best, wakeAfter_ - int64_t(uint32_t(GetTickCount() - tickStartTicks_)));
    if (best == INT64_MAX) return -1;
    return static_cast<int32_t>(std::clamp<int64_t>(best, 0, INT32_MAX));
}

// ---- pause, stop, end, jumps ----

void TSlideShowPlayer::Pause(bool force) {
    if (Paused && !force) return;
    Paused = true;
    PauseClock();
    if (MusicFollowsShow()) {
        if (soundSystem_) soundSystem_->MusicSounds().SetPaused(true);
        SuspendHighPriorityEvents();
    }
    if (soundSystem_) soundSystem_->ObjectSounds().SetPaused(true);
    if (OnPause) OnPause(this);
}

void TSlideShowPlayer::Resume(bool runTo) {
    if (!Paused) return;
    if (MusicFollowsShow()) {
        if (soundSystem_) soundSystem_->MusicSounds().SetPaused(false);
        ResumeHighPriorityEvents();
    }
    if (soundSystem_) soundSystem_->ObjectSounds().SetPaused(false);
    RunToMode = runTo;
    ResumeClock();
    if (!RunToMode) Paused = false;
    // Paused ticks drew no frame, so nothing asked for one: the timers and curves of
    // the objects ask again in the next frame.
    RequestWakeup(0);
    if (OnPause) OnPause(this);
}

void TSlideShowPlayer::ForcePause() {
    RunToMode = false;
    Pause(true);
}

void TSlideShowPlayer::SetPaused(bool paused) {
    if (paused == Paused) return;
    if (paused) PauseIfRunning();
    else ResumeIfPaused();
}

void TSlideShowPlayer::PauseIfRunning() {
    if (!Paused) Pause(false);
}

void TSlideShowPlayer::ResumeIfPaused() {
    if (Paused) Resume(false);
}

void TSlideShowPlayer::Stop() {
    Stopping = true;
    if (Window) Window->PostMessage(TMessage{0, WM_CLOSE, 0, 0, 0});
}

void TSlideShowPlayer::Restart() {
    ResetPlayback();
    PrepareShow(false, nullptr);
    StartAt(StartPosition);
}

uint8_t TSlideShowPlayer::QueryEndAction(int32_t) { return 1; }

void TSlideShowPlayer::EndShow(bool userAbort) {
    if (Stopping) return;
    const TSlideShowProperties* props = ShowSettings();
    const uint8_t action = props ? props->EndAction : 0;
    const bool askOnUserStop = props ? props->EndActionOnUserStop : true;
    if (userAbort && !askOnUserStop) {
        Stop();
        return;
    }
    // A pass that showed nothing (empty, all disabled or all failing) would only start
    // again at once: the last frame stays and the player waits.
    auto restart = [this] {
        if (handedOver_) Restart();
    };
    if (action == 2 || action == 3) {
        const uint8_t answer = QueryEndAction(0);
        if (answer == 0 || answer == 2) restart();
        else Stop();
        return;
    }
    if (userAbort) {
        Stop();
        return;
    }
    if (action == 0 || action == 4) restart();
    else if (action == 1) Stop();
}

void TSlideShowPlayer::ResetPlayback() {
    Resume(false);
    SuspendHighPriorityEvents();
    PauseClock();
    PauseMusicClock();
    PlayingObjects.clear();
    preparation_->Clear();
    // The cursors point into the show, which may go right after this.
    ScheduleItems.Clear(false);
    walk_.Clear();
    PendingEvents.Clear();
    if (SlideShow) {
        ReleaseMusicPlayList();
        ResetShowObjects(SlideShow->RootList());
    }
    {
        std::lock_guard<std::recursive_mutex> lock(eventLock_);
        if (SoundFade) RemoveQueuedEvent(SoundFade.get());
        if (MusicFade) RemoveQueuedEvent(MusicFade.get());
        SoundFade.reset();
        MusicFade.reset();
    }
    if (MusicFadeObject) {
        TSlideShowObject* fade = MusicFadeObject;
        MusicFadeObject = nullptr;
        if (SlideShow && SlideShow->RootList().Contains(fade)) SlideShow->RootList().Remove(fade);
        else FreeSlideShowObject(fade);
    }
    // Sounds of the lists are this player's only after it prepared a show.
    if (soundSystem_ && showPrepared_) {
        soundSystem_->ObjectSounds().ClearSounds(true);
        soundSystem_->MusicSounds().ClearSounds(true);
    }
    ClearHighPriorityEvents();
    preparation_->ForgetAside();
    showPrepared_ = false;
    frameRan_ = false;
}

void TSlideShowPlayer::StartAt(int32_t time) {
    StartClock(time);
    StartMusicClock(time);
    ResumeHighPriorityEvents();
}

void TSlideShowPlayer::JumpToObject(TSlideShowObject* object, bool prepare) {
    if (IPlayable* playable = AsPlayable(object)) JumpToTime(playable->GetStartTime(), prepare);
}

void TSlideShowPlayer::JumpToTime(int32_t time, bool prepare) {
    time = std::max(time, 0);
    PauseClock();
    ScheduleItems.Clear(true);
    for (TSlideShowObject* object : PlayingObjects)
        if (IPlayable* playable = AsPlayable(object)) {
            playable->Reset();
            playable->ReleaseResources();
        }
    PlayingObjects.clear();
    QueueDueObjects(time, ScheduleItems);
    SetClockTime(time);
    walk_.SetListPositions(ScheduleItems);
    ResyncObjects();
    endReached_ = false;
    AdvanceObjects(false);
    PrepareWhileWaiting(ComingObjects, prepare ? -1 : 0);
    AdvanceObjects(false);
    SeekPlayingObjects();
    // A paused show stays where the jump put it until it resumes.
    if (!Paused || RunToMode) ResumeClock();
}

void TSlideShowPlayer::JumpToNeighbourObject(bool withinCurrent, bool forward) {
    const int32_t reference = withinCurrent ? GetPlayTime() - 1 : GetPlayTime();
    // Next to what plays, else to what comes; the jump below changes both.
    const auto neighbour = [&](int32_t from, bool ahead) {
        return FindNeighbourObject(PlayingObjects.empty() ? ComingObjects : PlayingObjects, from, ahead,
                                   MusicFadeObject);
    };
    TSlideShowObject* candidate = neighbour(reference, forward);
    if (!candidate) return;
    const bool paused = Paused;
    if (!withinCurrent) JumpToObject(candidate, false);
    if (!paused) return;
    IPlayable* c = AsPlayable(candidate);
    // The object after the candidate, found from where the jump put the show, so that
    // exactly one object plays before the show pauses again.
    TSlideShowObject* following = neighbour(c->GetStartTime(), true);
    RunToTime = following ? AsPlayable(following)->GetStartTime() - 1
                          : SaturateInt32(int64_t(c->GetStartTime()) + candidate->GetDuration() - 1);
    if (!withinCurrent) Resume(true);
    else RunToMode = true;
}

void TSlideShowPlayer::JumpToNextObject(bool withinCurrent) { JumpToNeighbourObject(withinCurrent, true); }

void TSlideShowPlayer::JumpToPreviousObject(bool withinCurrent) { JumpToNeighbourObject(withinCurrent, false); }
