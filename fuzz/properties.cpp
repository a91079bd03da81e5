// Settings readers: one settings object's stream form, and a settings file with its
// list chunks. Neither may crash, read out of bounds or leave an object half-read.
#include "foundation/Properties.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

class TFuzzBase : public TPropertiesBlock<TFuzzBase, TProperties> {
    GC_DECLARE_CLASS(TFuzzBase)
public:
    int32_t A = 1;
    AnsiString S;
    bool WriteOwnProperties(TOKFStreamWinTypes& c) const {
        c.WriteInteger(A);
        c.WriteString(S);
        return true;
    }
    bool ReadOwnProperties(TOKFStreamWinTypes& c) {
        A = c.ReadIntegerValue();
        S = c.ReadStringValue();
        return true;
    }
};

class TFuzzDerived : public TPropertiesBlock<TFuzzDerived, TFuzzBase> {
    GC_DECLARE_CLASS(TFuzzDerived)
public:
    double D = 0;
    TDoubleRect R;
    bool WriteOwnProperties(TOKFStreamWinTypes& c) const {
        c.WriteDouble(D);
        c.WriteDoubleRect(R);
        return true;
    }
    bool ReadOwnProperties(TOKFStreamWinTypes& c) {
        D = c.ReadDoubleValue();
        if (c.Header.ContentVersion >= 773) c.ReadDoubleRect(R);
        return true;
    }
};

}  // namespace

GC_IMPLEMENT_PLUGIN(TFuzzBase, TProperties)
GC_IMPLEMENT_PLUGIN(TFuzzDerived, TFuzzBase)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) return 0;
    const std::vector<uint8_t> bytes(data, data + size);
    {
        TMemoryStream m(bytes);
        TFuzzDerived p;
        if (!p.LoadFromStream(m, kSlideShowFileType, kSlideShowContentVersion)) {
            // A failed load leaves the defaults.
            if (p.A != 1 || !p.S.empty() || p.D != 0) __builtin_trap();
        }
    }
    {
        TMemoryStream m(bytes);
        TPropertiesList list;
        list.Add(1, TFuzzBase::StaticClassInfo(), "Basis", true);
        list.Add(2, TFuzzDerived::StaticClassInfo(), "Abgeleitet", true);
        try {
            list.LoadFromFileStream(m, 0, 0);
        } catch (const EOKFError&) {
            // Not a container at all: reported to the caller.
        }
        TMemoryStream out;
        list.GetItem(1)->Instance->SaveToStream(out, kSlideShowFileType, kSlideShowContentVersion);
    }
    return 0;
}
