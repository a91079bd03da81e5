// The media layer's modules in the start-up sequence: sound and picture formats.
#pragma once

void AddMediaModules();
