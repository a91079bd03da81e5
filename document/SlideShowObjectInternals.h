// What the item's and the list's files share: the guard of tree walks and the container
// items and lists are stored in.
#pragma once

#include "document/SlideShowObject.h"
#include "foundation/OKFStreamWinTypes.h"
#include "platform/Stream.h"

#include <cstdint>
#include <exception>

namespace SlideShowObjectInternals {

// Tree walks stop after this many steps up; a cycle cannot arise through the list
// operations, this only keeps a damaged tree from hanging a walk.
constexpr int kMaxWalk = 1 << 20;

// Runs f on a container over stream (raw unless mode says otherwise) that carries the
// show format's id and version, as items, lists and their copies do; an exception
// inside counts as failure.
template <class F>
bool OnShowStream(TStream& stream, F f, uint8_t mode = okfRaw) {
    try {
        TOKFStreamWinTypes s(&stream, mode);
        StampShowFormat(s);
        return f(s);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace SlideShowObjectInternals
