// A stream that is a window (offset, size) onto another stream and leaves the base
// stream's position as it found it, so several windows can share one base.
#pragma once

#include "platform/Stream.h"

class TPartialStream : public TStream {
public:
    // With clampOffset the offset is limited to the base's size; the size is always
    // limited to what the base holds after the offset.
    TPartialStream(TStream& base, int64_t offset, int64_t size, bool clampOffset);

    int64_t Read(void* buffer, int64_t count) override;
    // Within the window only, unless CanGrow: then the window grows with what is written.
    int64_t Write(const void* buffer, int64_t count) override;
    // No clamping: the position may lie before or after the window; reads there deliver nothing.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return size_; }

    void SetWindowSize(int64_t size);
    int64_t Offset() const { return offset_; }
    TStream& Base() const { return *base_; }

    bool CanGrow = false;

private:
    TStream* base_;
    int64_t position_ = 0;
    int64_t offset_ = 0;
    int64_t size_ = 0;
};
