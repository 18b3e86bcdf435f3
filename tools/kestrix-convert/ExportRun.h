#pragma once

#include "Arguments.h"

// export: lists the device profiles, undoes an export by its manifest, or
// exports the sources for a device and tells what became of each. The exit
// status.
int ExportRun(const Arguments& arguments);
