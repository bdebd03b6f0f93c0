// ulvane: rewrites the panning registers of a VGM file in place so that every
// channel sounds on both sides, and warns about channels it cannot make mono.
#pragma once

#include "vgm/console.h"
#include "vgm/loader.h"

// Walks the command stream of `img` and edits its file bytes in place; the
// stream keeps its length and every offset. Prints the walk's warnings.
void ulvane_make_mono(vgm::VgmImage& img, vgm::Console& con);

// The whole program: banner, name, load, walk, write. Returns the exit code.
int ulvane_run(int argc, char** argv, vgm::Console& con);
