# SQLite for the Windows build: the official amalgamation, compiled into the executable so
# that it stays one static file. Linux links the system's library (CMakeLists.txt).
#
# The amalgamation's tarball travels inside the npm package sqlite3@5.1.7 (deps/), which the
# configure step fetches once into build/deps/ and checks by the tarball's SHA-256. A later
# configure finds sqlite3.c and the stamp of that check and fetches nothing. The source is
# never part of the repository.
if(WIN32)
  set(KV_SQLITE_NAME sqlite-autoconf-3440200)
  set(KV_SQLITE_SHA256 1c6719a148bc41cf0f2bbbe3926d7ce3f5ca09d878f1246fcc20767b175bb407)
  set(KV_SQLITE_URL https://registry.npmjs.org/sqlite3/-/sqlite3-5.1.7.tgz)
  set(KV_SQLITE_DEPS ${CMAKE_SOURCE_DIR}/build/deps)
  set(KV_SQLITE_DIR ${KV_SQLITE_DEPS}/${KV_SQLITE_NAME})
  set(KV_SQLITE_STAMP ${KV_SQLITE_DIR}/sha256-checked.txt)

  file(MAKE_DIRECTORY ${KV_SQLITE_DEPS})
  # Several build folders may configure at once; one fetches, the others wait for it.
  file(LOCK ${KV_SQLITE_DEPS}/sqlite.lock GUARD FILE TIMEOUT 600 RESULT_VARIABLE kv_sqlite_lock)
  if(NOT kv_sqlite_lock STREQUAL "0")
    message(FATAL_ERROR "SQLite: could not lock ${KV_SQLITE_DEPS}/sqlite.lock: ${kv_sqlite_lock}")
  endif()

  set(kv_sqlite_ready FALSE)
  if(EXISTS ${KV_SQLITE_DIR}/sqlite3.c AND EXISTS ${KV_SQLITE_STAMP})
    file(READ ${KV_SQLITE_STAMP} kv_sqlite_checked)
    string(STRIP "${kv_sqlite_checked}" kv_sqlite_checked)
    if(kv_sqlite_checked STREQUAL KV_SQLITE_SHA256)
      set(kv_sqlite_ready TRUE)
    endif()
  endif()

  if(NOT kv_sqlite_ready)
    set(kv_npm ${KV_SQLITE_DEPS}/sqlite3-5.1.7.tgz)
    set(kv_unpack ${KV_SQLITE_DEPS}/sqlite3-npm)
    set(kv_inner ${kv_unpack}/package/deps/${KV_SQLITE_NAME}.tar.gz)
    message(STATUS "SQLite: fetching ${KV_SQLITE_URL}")
    file(DOWNLOAD ${KV_SQLITE_URL} ${kv_npm} TLS_VERIFY ON TIMEOUT 300 INACTIVITY_TIMEOUT 60
         STATUS kv_download)
    list(GET kv_download 0 kv_download_code)
    if(NOT kv_download_code EQUAL 0)
      file(REMOVE ${kv_npm})
      message(FATAL_ERROR "SQLite: could not download ${KV_SQLITE_URL}: ${kv_download}. "
                          "The Windows build needs it once; it is kept in ${KV_SQLITE_DEPS}.")
    endif()
    file(REMOVE_RECURSE ${kv_unpack} ${KV_SQLITE_DIR})
    file(ARCHIVE_EXTRACT INPUT ${kv_npm} DESTINATION ${kv_unpack}
         PATTERNS package/deps/${KV_SQLITE_NAME}.tar.gz)
    if(NOT EXISTS ${kv_inner})
      message(FATAL_ERROR "SQLite: ${KV_SQLITE_URL} holds no deps/${KV_SQLITE_NAME}.tar.gz")
    endif()
    file(SHA256 ${kv_inner} kv_inner_sha256)
    if(NOT kv_inner_sha256 STREQUAL KV_SQLITE_SHA256)
      file(REMOVE_RECURSE ${kv_unpack} ${kv_npm})
      message(FATAL_ERROR "SQLite: ${KV_SQLITE_NAME}.tar.gz from ${KV_SQLITE_URL} has SHA-256 "
                          "${kv_inner_sha256}, not ${KV_SQLITE_SHA256}; refusing to build with it.")
    endif()
    file(ARCHIVE_EXTRACT INPUT ${kv_inner} DESTINATION ${KV_SQLITE_DEPS}
         PATTERNS ${KV_SQLITE_NAME}/sqlite3.c ${KV_SQLITE_NAME}/sqlite3.h ${KV_SQLITE_NAME}/sqlite3ext.h)
    if(NOT EXISTS ${KV_SQLITE_DIR}/sqlite3.c)
      message(FATAL_ERROR "SQLite: ${KV_SQLITE_NAME}.tar.gz holds no sqlite3.c")
    endif()
    file(WRITE ${KV_SQLITE_STAMP} "${KV_SQLITE_SHA256}\n")
    file(REMOVE_RECURSE ${kv_unpack})
    file(REMOVE ${kv_npm})
  endif()
  file(LOCK ${KV_SQLITE_DEPS}/sqlite.lock RELEASE)

  add_library(kv_sqlite STATIC ${KV_SQLITE_DIR}/sqlite3.c)
  target_include_directories(kv_sqlite SYSTEM PUBLIC ${KV_SQLITE_DIR})
  # The store needs threads (the writer and the HTTP readers each hold a connection) and
  # nothing loaded at run time; double-quoted strings are names only, as the standard says.
  target_compile_definitions(kv_sqlite PRIVATE
    SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0 SQLITE_DEFAULT_MEMSTATUS=0
    SQLITE_OMIT_SHARED_CACHE)
  # The last -O wins: a Debug build of the monitor still gets a fast store.
  target_compile_options(kv_sqlite PRIVATE -O2 -w)
  target_link_libraries(kv_core PUBLIC kv_sqlite)
endif()
