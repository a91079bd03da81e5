#include "foundation/PartialStream.h"

#include <algorithm>

namespace {
// Restores the base stream's position when a window is done with it.
class BasePosition {
public:
    explicit BasePosition(TStream& s) : s_(s), pos_(s.GetPosition()) {}
    ~BasePosition() {
        try {
            s_.SetPosition(pos_);
        } catch (...) {
        }
    }

private:
    TStream& s_;
    int64_t pos_;
};
}  // namespace

TPartialStream::TPartialStream(TStream& base, int64_t offset, int64_t size, bool clampOffset)
    : base_(&base), offset_(offset) {
    if (clampOffset) offset_ = std::min(base.GetSize(), offset);
    SetWindowSize(size);
}

void TPartialStream::SetWindowSize(int64_t size) {
    const int64_t baseSize = base_->GetSize();
    size = std::max<int64_t>(size, 0);
    if (offset_ > baseSize || size > baseSize - offset_) size = std::max<int64_t>(baseSize - offset_, 0);
    size_ = size;
}

int64_t TPartialStream::Read(void* buffer, int64_t count) {
    if (position_ < 0 || count <= 0) return 0;
    const int64_t available = size_ - position_;
    if (available <= 0) return 0;
    // Many small reads of a package's directory: one positioned read each, the base
    // stream's position untouched.
    const int64_t got = base_->ReadAt(offset_ + position_, buffer, std::min(count, available));
    position_ += got;
    return got;
}

int64_t TPartialStream::Write(const void* buffer, int64_t count) {
    if (position_ < 0 || count <= 0) return 0;
    int64_t n = count;
    if (!CanGrow) {
        const int64_t available = size_ - position_;
        if (available <= 0) return 0;
        n = std::min(count, available);
    }
    BasePosition keep(*base_);
    base_->SetPosition(offset_ + position_);
    const int64_t written = base_->Write(buffer, n);
    position_ += written;
    if (CanGrow && position_ > size_) size_ = position_;
    return written;
}

int64_t TPartialStream::Seek(int64_t offset, TSeekOrigin origin) {
    switch (origin) {
        case TSeekOrigin::soBeginning: position_ = offset; break;
        case TSeekOrigin::soCurrent: position_ += offset; break;
        case TSeekOrigin::soEnd: position_ = size_ + offset; break;
    }
    return position_;
}
