// The player: it plays one show in a window, drawing the items on screen frame by frame,
// preparing coming items step by step in the time between frames, and running its queue
// of timed actions (volume fades, the background music) at the start of every frame.
// Its clocks are empty here; the real-time player gives it real ones.
#pragma once

#include "document/PlayerServices.h"
#include "document/SlideShowInterfaces.h"
#include "document/SlideShowObjectEvents.h"
#include "foundation/Plugins.h"
#include "objects/FrameComposer.h"
#include "playback/PlayerWindowInterface.h"
#include "playback/PreparationQueue.h"
#include "playback/ShowWalk.h"
#include "platform/Messages.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class ISlideShowSound;
class ISlideShowSoundList;
class TBackgroundMusicHighPriorityEvent;
class ISoundSystem;
class TBenchmark;
class TDummySlideShowObject;
class TMusicOpener;
class TMusicProperties;
class TPreparationQueue;
class TProperties;
class TSlideShow;
class TSlideShowObject;
class TSlideShowObjectList;
class TSlideShowPlayer;
class TSlideShowPlayerProperties;
class TSlideShowProperties;
class TWinPaintBox32;

// A volume fade of one sound or of the sound lists, measured on the music time line.
class TFadeBackgroundMusicHighPriorityEvent : public THighPriorityEvent {
    GC_DECLARE_CLASS(TFadeBackgroundMusicHighPriorityEvent)
public:
    enum : uint8_t { fkSound = 0, fkObjectSounds = 1, fkMusic = 2, fkAll = 3 };

    TFadeBackgroundMusicHighPriorityEvent(IPlayerServices* player, uint8_t kind, ISlideShowSound* sound,
                                          uint8_t targetVolume, int32_t duration);
    // One step of the fade; done when its time has passed. A fade of no length sets
    // the target at once.
    bool Execute() override;

    int32_t Duration;
    uint8_t StartVolumeA = 0;  // the sound's or the object sounds' volume at the start
    uint8_t StartVolumeB = 0;  // the music's volume at the start
    uint8_t TargetVolume;
    int32_t FadeStart = -1;    // music time of the first step; -1 before it
    ISlideShowSound* Sound;    // kind 0 only; not owned
    uint8_t Kind;
};

// The objects in play order: by layer, then by start; anything not playable has no
// order and keeps its place (the sort is stable).
bool ComparePlayOrder(TSlideShowObject* a, TSlideShowObject* b);
// The earlier of two next-update times, -2 standing for "none yet" and -1 for "at once".
int32_t ChooseNextTime(int32_t acc, int32_t time);
// The changed rectangles of a frame as they are copied: cut to the buffer (empty and
// inverted ones dropped), and two that overlap by more than half of either merged.
void ReduceUpdateRects(std::vector<TRect>& rects, const TRect& bufferRect);

class TSlideShowPlayer : public TInterfacedPlugin,
                         public IPlayerServices,
                         public IComposingPlayer,
                         public IPreparingPlayer,
                         public virtual IFileReferences {
    GC_DECLARE_CLASS(TSlideShowPlayer)
public:
    using TNotifyEvent = std::function<void(TSlideShowPlayer* sender)>;

    // The sound lists are those of the sound system running when the player is built.
    TSlideShowPlayer();
    // Null: no sound system, every sound step is skipped.
    explicit TSlideShowPlayer(ISoundSystem* soundSystem);
    ~TSlideShowPlayer() override;

    ISoundSystem* GetSoundSystem() const { return soundSystem_; }

    // ---- settings and show ----
    // Takes a copy of settings of the player's settings class or a class derived from
    // it (only the fields of the player's class are kept); anything else is ignored.
    virtual void SetProperties(const TProperties* given);
    virtual const ClassInfo& GetPropertiesClass() const;
    // A show being let go of is reset first, while it still exists; the copy the player
    // made of one is freed.
    virtual void SetSlideShow(TSlideShow* show, bool makeCopy);

    // ---- clocks (empty here, show time 0) ----
    virtual void StartClock(int32_t) {}
    virtual void PauseClock() {}
    virtual void ResumeClock() {}
    virtual void SetClockTime(int32_t) {}
    int32_t GetPlayTime() override { return 0; }
    int32_t GetCurrentPlayTime() override { return GetPlayTime(); }
    virtual void StartMusicClock(int32_t) {}
    virtual void PauseMusicClock() {}
    virtual void ResumeMusicClock() {}
    virtual void SetMusicClockTime(int32_t) {}
    int32_t GetMusicTime() override;
    virtual int32_t GetMusicClockTime() { return 0; }
    // The music's time now, not this tick's reading.
    int32_t GetCurrentMusicTime();
    virtual int32_t GetCurrentMusicClockTime() { return GetMusicClockTime(); }
    // Whether the show's music follows the show clock (and pauses with it).
    bool MusicFollowsShow() const;

    // ---- window ----
    virtual TWinPaintBox32* GetPaintBox();
    // The window a PlayInWindow operation makes; null here: this player does not play.
    virtual std::unique_ptr<IPlayerWindow> CreateWindowForm() { return nullptr; }
    // Play in a new window until it closes.
    virtual void PlayInWindow(TSlideShow* show, bool makeCopy);
    // Object may belong to the show given while the player plays a copy of it.
    virtual void PlayInWindowFromObject(TSlideShow* show, TSlideShowObject* object, bool makeCopy);
    // Prepares the show from Time itself; a negative Time counts as 0.
    virtual void PlayInWindowFromTime(TSlideShow* show, int32_t time, bool makeCopy);
    // What PlayInWindow does before the window's loop, on a given window, which stays
    // the player's until EndPlay. The window's loop calls StartAt(StartPosition).
    void BeginPlay(IPlayerWindow* window, TSlideShow* show, bool makeCopy, TSlideShowObject* startObject,
                   int32_t startTime);
    void EndPlay();
    // The window's message hook; True when the message was handled.
    virtual bool HandlePlayerMessage(TMessage& message);

    // ---- tick and frame ----
    virtual void MessageLoopStep();
    virtual int32_t RenderFrame(std::vector<TSlideShowObject*>& objects);
    virtual void IdleWhilePaused() {}
    // After a tick: the milliseconds the loop may wait before the next one, 0 for the
    // next frame, -1 when only a message can bring work.
    virtual int32_t TimeToNextTick();

    // ---- schedule and preparation ----
    virtual void PrepareShow(bool flag, TSlideShowObject* startObject, int32_t startTime = 0);
    virtual TSlideShowObject* FindNextObject(TSlideShowObject* current);
    virtual bool QueueDueObjects(int32_t time, TPlayerSlideShowObjectItemList& items);
    virtual void AdvanceObjects(bool onlyDue);
    virtual void PrepareWhileWaiting(std::vector<TSlideShowObject*>& objects, int32_t delay);
    virtual void ResyncObjects();
    virtual void SeekPlayingObjects();

    // ---- pause, stop, end, jumps ----
    void SetPaused(bool paused) override;
    virtual void ForcePause();
    virtual void Pause(bool force);
    virtual void Resume(bool runTo);
    virtual void PauseIfRunning();
    virtual void ResumeIfPaused();
    virtual void Stop();
    virtual void Restart();
    virtual void EndShow(bool userAbort);
    // The end-of-show choice for the end actions that ask: 1 (stop) here.
    virtual uint8_t QueryEndAction(int32_t reserved);
    virtual void ResetPlayback();
    virtual void StartAt(int32_t time);
    virtual void JumpToObject(TSlideShowObject* object, bool prepare);
    virtual void JumpToTime(int32_t time, bool prepare);
    virtual void JumpToNextObject(bool withinCurrent);
    virtual void JumpToPreviousObject(bool withinCurrent);

    // ---- high-priority events ----
    virtual void ProcessHighPriorityEvents();
    virtual void ClearHighPriorityEvents();
    virtual void SuspendHighPriorityEvents() { HighPriorityEventsSuspended = true; }
    virtual void ResumeHighPriorityEvents() { HighPriorityEventsSuspended = false; }
    void AddHighPriorityEvent(std::shared_ptr<THighPriorityEvent> event) override;
    bool RemoveHighPriorityEvent(THighPriorityEvent* event) override;
    void RequestWakeup(int32_t ms) override;
    // The queued events, in queue order.
    std::vector<std::shared_ptr<THighPriorityEvent>> QueuedHighPriorityEvents();
    void FadeSoundVolume(uint8_t targetVolume, int32_t duration) override;
    void FadeMusicVolume(uint8_t targetVolume, int32_t duration) override;
    void FadeAllVolume(uint8_t targetVolume, int32_t duration) override;

    // ---- what items ask ----
    TBitmap32* GetBackBuffer() override;
    TRect GetClientRect() override;
    TSlideShowPlayerProperties* GetSettings() override;
    TBenchmark& GetBenchmark() override { return *Benchmark; }
    void PostPlayerMessage(const TMessage& message) override;
    void SendPlayerMessage(TMessage& message) override;
    const IFrameState& FrameState() const override { return composer_; }
    TPreparationQueue& Preparation() override { return *preparation_; }

    virtual void RunCpuBenchmark();

    // ---- file references: a player names no files ----
    AnsiString GetResolvedFileName() const override { return AnsiString(); }
    void SetFileName(const AnsiString&) override {}
    std::vector<AnsiString> GetResolvedFileNames() const override { return {}; }
    void ReplaceFileName(const AnsiString&, const AnsiString&) override {}
    std::vector<AnsiString> GetFileNames() const override { return GetResolvedFileNames(); }
    AnsiString GetFileName() const override { return GetResolvedFileName(); }
    void AssignFileName(const AnsiString&) override {}
    int32_t GetFileCount() const override { return 0; }

    // ---- fields ----
    TNotifyEvent OnPause;
    // Once, when the first frame has reached the window.
    TNotifyEvent OnFirstFrame;
    TSlideShow* SlideShow = nullptr;
    IPlayerWindow* Window = nullptr;
    std::unique_ptr<TBenchmark> Benchmark;
    std::vector<TSlideShowObject*> ComingObjects;   // not owned
    std::vector<TSlideShowObject*> PlayingObjects;  // not owned, in play order
    TPlayerSlideShowObjectItemList ScheduleItems;
    TSlideShowObjectEventList PendingEvents;        // events raised for the current frame
    std::shared_ptr<TFadeBackgroundMusicHighPriorityEvent> SoundFade;  // kinds 1 and 3
    std::shared_ptr<TFadeBackgroundMusicHighPriorityEvent> MusicFade;  // kind 2
    TDummySlideShowObject* MusicFadeObject = nullptr;
    std::shared_ptr<TBackgroundMusicHighPriorityEvent> MusicEvent;
    // Opens the music's files off the player's thread, made on first use; null while the
    // sound is silent (its sounds open no file) or mixed on demand (BackgroundMusic.cpp).
    TMusicOpener* MusicOpener();
    int32_t StartPosition = 0;
    bool StepMode = false;
    std::vector<AnsiString> FontFiles;
    bool ShowFps = false;
    // Items that would draw what they drew in the last frame, with nothing changed below
    // them, keep that drawing instead of putting back and drawing again; off, every frame
    // redraws every item (the reference the frames are checked against). The composer
    // applies it.
    bool KeepUnchangedDrawings = true;
    int32_t FrameCount = 0;
    int32_t FpsFrames = 0;
    int32_t FpsWindowStart = 0;
    AnsiString FpsText;  // the last frame-rate text, drawn by the window
    // Whole flush, no end test and unlimited preparation until the first frame after
    // the show was prepared.
    bool FullRepaint = false;
    bool OwnsSlideShow = false;
    bool Stopping = false;
    bool Paused = false;
    int32_t RunToTime = 0;
    bool RunToMode = false;
    bool HighPriorityEventsSuspended = false;
    // The CPU loop's time against the reference machine's; nothing reads it.
    double CpuFactor = 0;

protected:
    // Background music (the music scheduling's module): the closing fade of all sound,
    // the play list on the music time line, its event, and the placeholders that open
    // the next item ahead of its start.
    virtual void CreateMusicFadeObject();
    virtual void PrepareMusicPlayList();
    virtual void QueueBackgroundMusicEvent();
    virtual void QueueNextMusicItem();
    virtual void ReleaseMusicPlayList();
    // Called under the queue's lock whenever an event leaves the queue (done, replaced,
    // taken out or cleared): whoever points at it lets go.
    virtual void HighPriorityEventLeft(THighPriorityEvent* event);
    // The music's part of it: the music event itself, or an item's fade.
    void MusicEventLeft(THighPriorityEvent* event);

    virtual void InstallShowFonts();
    virtual void RemoveShowFonts();

    TSlideShowProperties* ShowSettings() const;
    TMusicProperties* MusicSettings() const;

private:
    friend class TPlayerTestAccess;
    friend class TBackgroundMusicHighPriorityEvent;

    void PlayInForm(TSlideShow* show, bool makeCopy, TSlideShowObject* startObject, int32_t startTime);
    void QueueScheduledObjects(bool onlyDue);
    int MoveDueObjects();
    void SortObjectLists();
    void RunFrameEvents(IPlayable* playable, TSlideShowObject* object, int32_t now);
    // A frame without objects: the natural end of the show, when nothing more is coming.
    void EndIfNothingComes();
    // Lets the frame's objects play from the bottom up; objects that end leave the list.
    // The earliest next-update time of those that stay, -2 for none.
    int32_t PlayFrameObjects(std::vector<TSlideShowObject*>& objects, std::vector<TRect>& rects);
    // One object's last play: its timers, its final drawing and its finished event.
    void FinishObject(IPlayable* playable, TSlideShowObject* object, std::vector<TRect>& rects);
    void FlushFrame(std::vector<TRect>& rects);
    void CountFrame();
    void RemoveQueuedEvent(THighPriorityEvent* event);
    void ReplaceFade(std::shared_ptr<TFadeBackgroundMusicHighPriorityEvent>& slot, uint8_t kind, uint8_t target,
                     int32_t duration);
    void JumpToNeighbourObject(bool withinCurrent, bool forward);

    ISoundSystem* soundSystem_ = nullptr;
    std::unique_ptr<TMusicOpener> musicOpener_;
    TPluginPtr<TSlideShowPlayerProperties> settings_;
    std::unique_ptr<TSlideShow> ownedShow_;
    std::recursive_mutex eventLock_;
    std::vector<std::shared_ptr<THighPriorityEvent>> highPriorityEvents_;
    // Where the walk of each list of the show goes on.
    TShowWalk walk_;
    // Seeds the root cursor once after PrepareShow.
    bool seedRootCursor_ = false;
    // PrepareShow counts up; a frame drawn under the latest count ends FullRepaint.
    uint32_t prepareGeneration_ = 0;
    uint32_t drawnGeneration_ = 0;
    // Which items of a frame draw again and how their backgrounds go back.
    TFrameComposer composer_;
    // The first frame that reached the window was named on the debug output.
    bool firstFlushTold_ = false;
    bool showPrepared_ = false;
    // The natural end was reached and acted on; nothing is due until something changes.
    bool endReached_ = false;
    // An object went on screen since the show was prepared.
    bool handedOver_ = false;
    // The current tick queued an object.
    bool queuedThisTick_ = false;
    // The last frame: its show time and its result.
    bool frameRan_ = false;
    int32_t frameTime_ = 0;
    int32_t frameResult_ = -1;
    // Music placeholders handed over before this tick's frame.
    int musicHandedOver_ = 0;
    // The wake-up deadline of the current tick, in ms after its start on the tick
    // counter; lowered by RequestWakeup, forgotten when the next tick starts.
    uint32_t tickStartTicks_ = 0;
    int64_t wakeAfter_ = INT64_MAX;
    // The coming objects' preparation; declared last, so that its helper thread goes
    // first.
    std::unique_ptr<TPreparationQueue> preparation_;
};
