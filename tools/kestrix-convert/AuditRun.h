#pragma once

#include "Arguments.h"
#include "Sources.h"

// kestrix-convert audit: every file gathered inspected, as info does it,
// and checked against the DAT files; a report by game on standard output
// (text, or one JSON document), the counts on standard error, and with
// --fixdat a DAT of the missing games. The exit status: 0 when nothing is
// missing or bad and every file could be read.
int AuditRun(const Arguments& arguments, const Gathered& gathered);
