// The media layer's modules in the start-up sequence: the sound system, then the video
// pictures (after the graphics layer's picture formats).
#pragma once

void AddMediaModules();
