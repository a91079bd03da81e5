// The run-time placeholder the player queues for each background-music play-list item,
// so that the item's sound is opened ahead of its start. Never part of a document.
#pragma once

#include "document/PlayableSlideShowObject.h"
#include "document/PreparationSteps.h"
#include "document/SoundServices.h"

// What the placeholder needs of a music play-list item; the play-list item of the
// media layer implements it.
class IMusicPlayListItem {
public:
    virtual ~IMusicPlayListItem() = default;
    // The stored file name, to be resolved against the show.
    virtual AnsiString GetFileName() const = 0;
    // Opens the item's sound from the resolved file.
    virtual void Open(const AnsiString& resolvedFileName) = 0;
    // The item's sound object, null before Open made one.
    virtual ISlideShowSound* GetSound() const = 0;
};

class TBackgroundMusicSlideShowObject : public TPlayableSlideShowObject {
    GC_DECLARE_CLASS(TBackgroundMusicSlideShowObject)
public:
    TBackgroundMusicSlideShowObject() = default;

    // One step: open the sound.
    int32_t GetLastInitializationStep() const override { return PreparationStep::OpenSound; }
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override;
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override;
    bool IsInitialized() override;

    // Not owned; set by the player.
    IMusicPlayListItem* MusicItem = nullptr;
};
