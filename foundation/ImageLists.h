// The icons of the object kinds: two process-wide image lists (16 x 16 and 100 x 100),
// each with an index list that remembers which class already has its image there, and
// the function that draws an icon bitmap into a list.
#pragma once

#include "foundation/ClassRegistry.h"
#include "platform/Font.h"
#include "platform/Image32.h"
#include "platform/ImageList.h"

#include <cstdint>
#include <vector>

// Keys are pointer-sized: a class's ClassInfo or any other pointer-sized value.
using TImageKey = uintptr_t;
inline TImageKey ImageKeyOf(const ClassInfo& cls) { return reinterpret_cast<TImageKey>(&cls); }

class TImageIndexList {
public:
    void Add(TImageKey key, int index);
    void Add(const ClassInfo& cls, int index) { Add(ImageKeyOf(cls), index); }
    // The index of the first record with Key; -1 when none.
    int ImageIndexOf(TImageKey key) const;
    int ImageIndexOf(const ClassInfo& cls) const { return ImageIndexOf(ImageKeyOf(cls)); }
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }

private:
    struct Record {
        TImageKey key;
        int index;
    };
    std::vector<Record> items_;
};

enum class TTransparentMode { tmAuto, tmFixed };

// An icon bitmap with the transparency of a device bitmap: when Transparent, pixels of
// the transparent colour are not drawn. In automatic mode that colour is the
// bottom-left pixel, in fixed mode TransparentColor.
struct TIconBitmap {
    TImage32 Image;
    bool Transparent = false;
    TTransparentMode TransparentMode = TTransparentMode::tmAuto;
    TColor TransparentColor = 0;

    // The effective transparent colour (TransparentColor for an empty image).
    TColor GetTransparentColor() const;
};

// Adds Bitmap to ImageList and returns the new image's index; -1 for a null bitmap or
// list, and for an empty bitmap without Fit. With Fit a bitmap of another size is
// centred on Background with the list's aspect ratio and resampled to the list's size.
// The mask colour is the bitmap's transparent colour when it is transparent, else
// Background (system colours resolved).
int AddBitmapToImageList(const TIconBitmap* bitmap, TImageList* imageList, bool fit, TColor background);

// Resamples Source to Width x Height by averaging the area each target pixel covers.
TImage32 ResampleImage(const TImage32& source, int32_t width, int32_t height);

// The process-wide lists, created on first use.
TImageList& GetSmallImageList();
TImageIndexList& GetSmallImageIndexList();
TImageList& GetBigImageList();
TImageIndexList& GetBigImageIndexList();
// Frees the four process-wide objects (module finalisation); a later call recreates them.
void FinalizeImageLists();
