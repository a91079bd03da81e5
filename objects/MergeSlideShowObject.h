// The collage: a bitmap item with transition, curves and motion path whose picture is
// composed from its child items, every enabled visible child drawn into one bitmap of
// the paint box's size, later children over earlier ones.
#pragma once

#include "objects/BaseExtBitmapSlideShowObject.h"

#include <memory>

class TMergeSlideShowObject : public TBaseExtBitmapSlideShowObject, public virtual IMerge {
    GC_DECLARE_CLASS(TMergeSlideShowObject)
public:
    TMergeSlideShowObject() = default;
    ~TMergeSlideShowObject() override;

    static AnsiString Caption() { return "Collage"; }
    static AnsiString Description();

    // ICollection through the own child list.
    TSlideShowObjectList* GetChildList() const override { return childList_.get(); }
    TSlideShowObjectList* CreateChildList() override;
    // IMerge.
    AnsiString GetTitle() const override { return Title; }
    void SetTitle(const AnsiString& value) override { Title = value; }

    AnsiString GetDisplayName() const override;
    AnsiString GetEditorFrameClassName() const override { return "TMergeSlideShowObjectPropertyFrame"; }
    // Copies the title and the whole subtree of another collage.
    void AssignObject(const TSlideShowObject& source) override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    // The title exists from content version 0x305 on.
    bool ReadData(TOKFStreamWinTypes& stream) override;
    // The children play as long as the collage.
    void SetDuration(int32_t value) override;
    // The playable children start with the collage.
    void Start() override;
    // Step 3 composes the picture; without children there is nothing to prepare.
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override;
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override;
    // Composes for the editor at Target's size, with the children's own preview
    // preparation.
    bool Prepare(TBitmap32& target) override;
    bool IsPrepared() override { return Bitmap || LoadFailed; }
    // The composed picture placed in Target like any picture, else the placeholder.
    bool DrawTo(TBitmap32& target, bool final) override;
    // Without children nothing is drawn; the item still counts as playing.
    int32_t Play(IPlayerServices* player, bool final) override;

    AnsiString Title;

protected:
    // Clears the picture for Width x Height, then draws the children into it. A picture
    // of no size composes nothing: the placeholder shows.
    virtual void Compose(IPlayerServices* player, int32_t width, int32_t height, bool preview);

private:
    void DrawChildren(const TSlideShowObjectList& list, IPlayerServices* player, bool preview);

    std::unique_ptr<TSlideShowObjectList> childList_;
};

void InitializeMergeSlideShowObjects(TPlugins& plugins);
void FinalizeMergeSlideShowObjects(TPlugins& plugins);
