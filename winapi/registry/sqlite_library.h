// SQLite, loaded when the registry is first opened rather than with the layer: a process that
// loads the library and asks nothing of the registry (the version check at load needs none)
// neither maps nor relocates it.
#pragma once

#include <sqlite3.h>

namespace kvwin::registry {

// The SQLite functions the store and the rpm database reader call, resolved from libsqlite3.so.0.
// Immutable once loaded, so shared freely between threads.
struct SqliteLibrary {
    decltype(&::sqlite3_bind_blob64) bind_blob64;
    decltype(&::sqlite3_bind_int64) bind_int64;
    decltype(&::sqlite3_bind_text) bind_text;
    decltype(&::sqlite3_busy_handler) busy_handler;
    decltype(&::sqlite3_busy_timeout) busy_timeout;
    decltype(&::sqlite3_changes) changes;
    decltype(&::sqlite3_clear_bindings) clear_bindings;
    decltype(&::sqlite3_close_v2) close_v2;
    decltype(&::sqlite3_column_blob) column_blob;
    decltype(&::sqlite3_column_bytes) column_bytes;
    decltype(&::sqlite3_column_int64) column_int64;
    decltype(&::sqlite3_column_text) column_text;
    decltype(&::sqlite3_exec) exec;
    decltype(&::sqlite3_extended_result_codes) extended_result_codes;
    decltype(&::sqlite3_file_control) file_control;
    decltype(&::sqlite3_finalize) finalize;
    decltype(&::sqlite3_get_autocommit) get_autocommit;
    decltype(&::sqlite3_last_insert_rowid) last_insert_rowid;
    decltype(&::sqlite3_open_v2) open_v2;
    decltype(&::sqlite3_prepare_v2) prepare_v2;
    decltype(&::sqlite3_prepare_v3) prepare_v3;
    decltype(&::sqlite3_reset) reset;
    decltype(&::sqlite3_step) step;
    decltype(&::sqlite3_wal_checkpoint_v2) wal_checkpoint_v2;
};

// The library, loaded on the first call from any thread; null when it or one of its
// functions is missing (then no store opens: ERROR_CANTOPEN). It stays loaded until the
// process ends.
const SqliteLibrary* Sqlite();

}  // namespace kvwin::registry
