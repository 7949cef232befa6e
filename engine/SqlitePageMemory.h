#pragma once

namespace sqlite {

// Hands SQLite's page cache entries of 4 KiB pages a reserved region of
// memory that the system may back with huge pages. Must come before SQLite
// is initialised; does nothing once it is, or where the region cannot be
// reserved.
void UsePageRegion();

} // namespace sqlite
