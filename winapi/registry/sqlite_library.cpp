// Loading SQLite on the registry's first use.
#include "sqlite_library.h"

#include <dlfcn.h>

namespace kvwin::registry {

namespace {

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

const SqliteLibrary* LoadLibrary() {
    // RTLD_GLOBAL would let it serve other modules' references; ours are all through here.
    void* library = ::dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    static SqliteLibrary sqlite{};
    const bool complete =
        Resolve(library, "sqlite3_bind_blob64", sqlite.bind_blob64) &&
        Resolve(library, "sqlite3_bind_int64", sqlite.bind_int64) &&
        Resolve(library, "sqlite3_bind_text", sqlite.bind_text) &&
        Resolve(library, "sqlite3_busy_handler", sqlite.busy_handler) &&
        Resolve(library, "sqlite3_busy_timeout", sqlite.busy_timeout) &&
        Resolve(library, "sqlite3_changes", sqlite.changes) &&
        Resolve(library, "sqlite3_clear_bindings", sqlite.clear_bindings) &&
        Resolve(library, "sqlite3_close_v2", sqlite.close_v2) &&
        Resolve(library, "sqlite3_column_blob", sqlite.column_blob) &&
        Resolve(library, "sqlite3_column_bytes", sqlite.column_bytes) &&
        Resolve(library, "sqlite3_column_int64", sqlite.column_int64) &&
        Resolve(library, "sqlite3_column_text", sqlite.column_text) &&
        Resolve(library, "sqlite3_exec", sqlite.exec) &&
        Resolve(library, "sqlite3_extended_result_codes", sqlite.extended_result_codes) &&
        Resolve(library, "sqlite3_file_control", sqlite.file_control) &&
        Resolve(library, "sqlite3_finalize", sqlite.finalize) &&
        Resolve(library, "sqlite3_get_autocommit", sqlite.get_autocommit) &&
        Resolve(library, "sqlite3_last_insert_rowid", sqlite.last_insert_rowid) &&
        Resolve(library, "sqlite3_open_v2", sqlite.open_v2) &&
        Resolve(library, "sqlite3_prepare_v2", sqlite.prepare_v2) &&
        Resolve(library, "sqlite3_prepare_v3", sqlite.prepare_v3) &&
        Resolve(library, "sqlite3_reset", sqlite.reset) &&
        Resolve(library, "sqlite3_step", sqlite.step) &&
        Resolve(library, "sqlite3_wal_checkpoint_v2", sqlite.wal_checkpoint_v2);
    if (!complete) {
        ::dlclose(library);
        return nullptr;
    }
    return &sqlite;
}

}  // namespace

const SqliteLibrary* Sqlite() {
    // A function-local static: the first caller loads, concurrent callers wait for it.
    static const SqliteLibrary* const sqlite = LoadLibrary();
    return sqlite;
}

}  // namespace kvwin::registry
