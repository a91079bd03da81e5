// The container with rectangles of four doubles and font records.
#pragma once

#include "foundation/DoubleRect.h"
#include "foundation/OKFStream.h"
#include "platform/Font.h"

#include <memory>

class TOKFStreamWinTypes : public TOKFStream {
    GC_DECLARE_CLASS(TOKFStreamWinTypes)
public:
    TOKFStreamWinTypes(TStream* stream, uint8_t mode) : TOKFStream(stream, mode) {}
    TOKFStreamWinTypes(std::unique_ptr<TStream> stream, uint8_t mode) : TOKFStream(std::move(stream), mode) {}

    void WriteDoubleRect(const TDoubleRect& r);
    void ReadDoubleRect(TDoubleRect& r);
    TDoubleRect ReadDoubleRectValue();

    // Font record: u32 n, then n bytes; n = 0xFFFFFFFF and nothing more stands for no font.
    void WriteFont(const TFont* font);
    // Replaces font with the stored one, or resets it for the no-font record.
    void ReadFont(std::unique_ptr<TFont>& font);
};

class TOKFFileWinTypes : public TOKFStreamWinTypes {
    GC_DECLARE_CLASS(TOKFFileWinTypes)
public:
    TOKFFileWinTypes(const AnsiString& fileName, uint8_t mode);
};
