// The graphics layer's modules in the start-up sequence: the picture formats.
#pragma once

void AddGraphicsModules();
