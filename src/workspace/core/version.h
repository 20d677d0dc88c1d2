// The program's version, as the About box, `tavo-utility --version` and
// `tavo --version` show it.
#pragma once

namespace tavo {

inline constexpr const char* kProgramVersion = "4.00.06";

} // namespace tavo
