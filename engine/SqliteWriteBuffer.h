#pragma once

namespace sqlite {

inline constexpr char kWriteBufferVfs[] = "kvr-gather";

// Registers, under kWriteBufferVfs, a VFS that hands the writes of a
// rollback journal and of a database file that continue one another to the
// system as one write. Once, after SQLite is initialised.
void RegisterWriteBufferVfs();

} // namespace sqlite
