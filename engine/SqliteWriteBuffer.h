#pragma once

namespace sqlite {

inline constexpr char kWriteBufferVfs[] = "kvr-gather";

// The name of a VFS, registered on the first call, that hands the writes of
// a rollback journal and of a database file that continue one another to
// the system as one write. Safe to call from any thread.
const char *WriteBufferVfs();

} // namespace sqlite
