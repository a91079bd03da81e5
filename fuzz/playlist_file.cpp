// Play-list readers: the play-list container file, the music settings' stream form
// (both item forms) and the waveform data. None may crash or read out of bounds.
#include "foundation/OKFStream.h"
#include "foundation/Properties.h"
#include "media/MusicPlayList.h"
#include "media/SlideShowSoundSystem.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 16)
        return 0;
    static const bool keysKnown = [] {
        InitializeTimeToValue();
        return true;
    }();
    (void)keysKnown;
    const uint8_t selector = data[0];
    std::vector<uint8_t> bytes(data + 1, data + size);
    switch (selector % 4) {
        case 0: {
            TMemoryStream mem(bytes);
            try {
                TOKFStream in(&mem, okfRead);
                TMusicPlayList list;
                list.LoadFromOKF(in);
            } catch (const std::exception&) {
            }
            break;
        }
        case 1:
        case 2: {
            TMemoryStream mem(bytes);
            TMusicProperties p;
            p.LoadFromStream(mem, kSlideShowFileType, selector % 4 == 1 ? 0x303 : kSlideShowContentVersion);
            break;
        }
        default: {
            TMemoryStream mem(bytes);
            try {
                TOKFStream in(&mem, okfRawRead);
                TSoundWaveData wave;
                wave.ReadData(in);
                if (wave.Points != static_cast<int32_t>(wave.Data.Bytes().size()))
                    __builtin_trap();
            } catch (const std::exception&) {
            }
            break;
        }
    }
    return 0;
}
