#pragma once

#include <QString>

#include <cstdint>

class Desktop;

namespace Mod_DefaultOpen {

// The show command every caller passes.
inline constexpr std::int32_t ShowDefault = 10;

// Opens a document or web address with the default handler; a code above 32
// means it was started.
std::int32_t DefaultOpen(Desktop& desktop, const QString& file, std::int32_t showCommand);

} // namespace Mod_DefaultOpen
