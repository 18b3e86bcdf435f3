#pragma once

#include <QString>

// Directory search by wildcard pattern: the folder part of the pattern is
// searched for the first entry (in name order) whose name matches its last
// part. "*" matches any run of characters, "?" one character, and a pattern
// ending in ".*" also matches names without a dot, so "roms*.*" finds the
// folder "roms". Folders and hidden entries match only when asked for.
// Answers the entry's name, or the empty string when nothing matches.
QString DirSearch(const QString& pattern, bool includeFolders, bool includeHidden = false);

// Whether a name matches a wildcard pattern by the rules above.
bool WildcardMatch(const QString& pattern, const QString& name);
