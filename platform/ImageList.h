// An in-memory image list: images of one fixed size, each added with a mask colour whose
// pixels become transparent.
#pragma once

#include "platform/Image32.h"

#include <vector>

class TImageList {
public:
    TImageList(int32_t width, int32_t height);

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int Count() const { return static_cast<int>(images_.size()); }

    // Adds Image; pixels whose colour equals MaskColor (alpha ignored) become fully
    // transparent. An image of another size is cropped or padded (transparent) at its
    // top-left corner. Returns the new index.
    int AddMasked(const TImage32& image, TColor maskColor);
    // The stored image (mask applied) and the mask colour it was added with.
    const TImage32& Image(int index) const { return images_.at(static_cast<size_t>(index)).image; }
    TColor MaskColor(int index) const { return images_.at(static_cast<size_t>(index)).mask; }
    void Clear() { images_.clear(); }

private:
    struct Entry {
        TImage32 image;
        TColor mask;
    };
    int32_t width_;
    int32_t height_;
    std::vector<Entry> images_;
};
