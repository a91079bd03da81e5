// Helpers the player's files share: what an object is to the player and where it lies.
#pragma once

#include "document/BackgroundMusicSlideShowObject.h"
#include "document/SlideShowInterfaces.h"
#include "document/SlideShowObject.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace PlayerInternals {

inline IPlayable* AsPlayable(TSlideShowObject* object) { return ::Supports<IPlayable>(object); }

// The collage an object lies in, or null.
inline TSlideShowObject* EnclosingCollage(const TSlideShowObject* object) {
    for (TSlideShowObject* p = object->GetParentObject(); p; p = p->GetParentObject())
        if (::Supports<IMerge>(p)) return p;
    return nullptr;
}

inline TSlideShowObjectList* ChildListOf(TSlideShowObject* object) {
    ICollection* c = ::Supports<ICollection>(object);
    return c ? c->GetChildList() : nullptr;
}

inline bool IsMusicPlaceholder(const TSlideShowObject* object) {
    return dynamic_cast<const TBackgroundMusicSlideShowObject*>(object) != nullptr;
}

inline void EraseObject(std::vector<TSlideShowObject*>& list, const TSlideShowObject* object) {
    auto it = std::find(list.begin(), list.end(), object);
    if (it != list.end()) list.erase(it);
}

// A time difference cut into 32 bits.
inline int32_t Diff(int64_t a, int64_t b) { return SaturateInt32(a - b); }

}  // namespace PlayerInternals
