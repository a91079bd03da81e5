// The media layer's modules in the start-up sequence: the sound system.
#pragma once

void AddMediaModules();
