#include "objects/ObjectTestSupport.h"
#include "objects/PicTextSoundCompositeSlideShowObject.h"
#include "objects/TextSlideShowObject.h"

#include <gtest/gtest.h>

// The text and composite kinds answer their own interfaces by id as by type.
TEST(DrawnInterfaces, AskedByIdAndByType) {
    TestPlugins();
    TPluginPtr<TTextSlideShowObject> text(new TTextSlideShowObject());
    EXPECT_TRUE(text->Supports(IID_ITextEffectHost));
    EXPECT_NE(Supports<ITextEffectHost>(text.get()), nullptr);
    EXPECT_FALSE(text->Supports(IID_IComposite));
    TPluginPtr<TPicTextSoundCompositeSlideShowObject> comp(new TPicTextSoundCompositeSlideShowObject());
    EXPECT_TRUE(comp->Supports(IID_IComposite));
    EXPECT_TRUE(comp->Supports(IID_ITextEffectHost));
    EXPECT_NE(Supports<IComposite>(comp.get()), nullptr);
    EXPECT_EQ(comp->RefCount(), 1);
}
