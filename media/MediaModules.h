// The media layer's modules in the start-up sequence: the sound system, then the video
// pictures (after the graphics layer's picture formats).
#pragma once

void AddMediaModules();

// Every module a show file can name, layer by layer in dependency order up to this one:
// what the program, the show tool and the fuzz targets start.
void AddShowModules();
