#pragma once

#include "Arguments.h"

// kestrix-convert make-patch: a patch (BPS, IPS or UPS) that turns the
// first image into the second, made between their plain contents (between
// the files as they are with --as-is), read back and applied before it is
// written to -o's file. Its line on standard output; the exit status 0 when
// the patch is written.
int MakePatchRun(const Arguments& arguments);
