#include "document/SlideShowHost.h"

#include "document/SlideShowProperties.h"

const TSlideShowProperties& ShowPropertiesOf(const TSlideShowHost* host) {
    if (host)
        if (const TSlideShowProperties* group = host->GetSlideShowProperties()) return *group;
    // Never changed after construction, so every thread may read it.
    static const TSlideShowProperties defaults;
    return defaults;
}
