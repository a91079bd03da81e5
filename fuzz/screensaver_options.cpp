// The screen saver's options as a package's "settings.dat" or a registry value holds
// them, and the temporary-folder settings: no input may crash, read out of bounds or
// leave options half-read; what reads must write back to the same options.
#include "shell/ScreenSaverConfigureLogic.h"
#include "shell/ScreenSaverProperties.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

bool Same(const TScreenSaverProperties& a, const TScreenSaverProperties& b) {
    return a.FileName == b.FileName && a.UseSound == b.UseSound && a.ResumeAtLastPos == b.ResumeAtLastPos &&
           a.Shuffle == b.Shuffle && a.LastPosition == b.LastPosition && a.DefaultDuration == b.DefaultDuration;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);

    TPluginPtr<TScreenSaverProperties> options(new TScreenSaverProperties());
    TMemoryStream in(bytes);
    if (options->LoadFromStream(in, 0, 0)) {
        TMemoryStream out;
        if (!options->SaveToStream(out, 0, 0)) std::abort();
        TPluginPtr<TScreenSaverProperties> again(new TScreenSaverProperties());
        out.SetPosition(0);
        if (!again->LoadFromStream(out, 0, 0) || !Same(*options, *again)) std::abort();
    } else if (!Same(*options, TScreenSaverProperties())) {
        std::abort();  // a failed load must leave the defaults
    }

    TPluginPtr<TTempProperties> temp(new TTempProperties());
    TMemoryStream in2(bytes);
    if (!temp->LoadFromStream(in2, 0, 0) && (!temp->UseSystemTemp || !temp->TempDir.empty())) std::abort();

    // The same bytes as what a user might type into the duration edit.
    const AnsiString text(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(size, 64)));
    int32_t ms = 0;
    if (CheckDurationText(text, ',', ms) == TDurationCheck::dcValid && (ms < 0 || ms > kMaxDefaultDuration)) std::abort();
    const AnsiString stepped = StepDurationText(text, true, '.');
    if (stepped != text && CheckDurationText(stepped, '.', ms) != TDurationCheck::dcValid) std::abort();
    return 0;
}
