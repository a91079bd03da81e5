// The registry store reader: any bytes are either a whole store or damaged.
#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    ParseRegistryStore(std::vector<uint8_t>(data, data + size));
    return 0;
}
