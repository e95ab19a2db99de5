#pragma once

// SQLite's shared-memory index (the database's "-shm" file) is grown by
// writing one byte per 4 KiB page and then used through a memory map. On a
// file system with smaller blocks that leaves holes, and when the disk is
// full, filling a hole through the map kills the program with SIGBUS, at
// every start until space is freed. Installed once per process, this makes
// SQLite's default file system layer reserve the blocks of each mapped
// region first, so a full disk is an ordinary "disk is full" error.
namespace ShmReserve {

// Idempotent and thread-safe; call before the first database is opened.
void install();

} // namespace ShmReserve
