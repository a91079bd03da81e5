// The graphics layer's modules in the start-up sequence: the picture formats and the text effects.
#pragma once

void AddGraphicsModules();
