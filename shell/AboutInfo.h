#pragma once

// Who makes Kestrix and where to find them: every name and address the
// program shows, kept in one place.
namespace AboutInfo {

inline constexpr const char* MakerName = "Kestrix";
inline constexpr const char* AuthorName = "The Kestrix developers";
inline constexpr const char* AuthorAlias = "kestrix";
inline constexpr const char* ThankedName = "the Qt Project";
inline constexpr const char* TranslatorName = "Kestrix translators";
inline constexpr const char* Email = "kestrix@example.org";
inline constexpr const char* HomePage = "https://www.example.org/kestrix/";
inline constexpr const char* Blog = "https://blog.example.org/kestrix/";
inline constexpr const char* OnlineHelp = "https://www.example.org/kestrix/forum/help/";
inline constexpr const char* Forum = "https://www.example.org/kestrix/forum/";
inline constexpr const char* Rights =
    "Copyright (C) 2026 The Kestrix developers. License: GPL-3.0-or-later.";

} // namespace AboutInfo
