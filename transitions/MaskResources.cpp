#include "transitions/MaskResources.h"

#include "platform/Names.h"

std::span<const uint8_t> FindMaskResource(std::string_view name) {
    for (const TMaskResource& r : MaskResourceTable())
        if (SameText(r.Name, name)) return {r.Data, r.Size};
    return {};
}
