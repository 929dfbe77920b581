// Tablebase files on disk and the block cache: registration, lazy opening, and single
// bytes served through 8192-byte blocks held in the caller's buffer.
#pragma once

#include <cstdint>
#include <cstdio>

#include "tablebase/decode.h"
#include "tablebase/tablebase.h"

constexpr int TB_BUCKETS = 32;

// Runtime state of one file (ending and slot; slot 0 only for symmetric endings).
struct TbFileSlot {
  char* path;                       // full name found at registration; null: none or dropped
  std::FILE* file;                  // open on first use
  tb::CompressedTable* compressed;  // null for a plain file
  int32_t buckets[TB_BUCKETS];      // cache chains by block number AND 31, -1 = empty
};

extern TbFileSlot tbFiles[TB_ENDING_COUNT + 1][2];

// Looks for the file of an ending and slot in dir, checks and registers it. 1 when
// registered (now or before), 0 when no file was found. Damaged files end the process.
int tbRegister(const char* dir, int ending, int slot);

// Closes every open tablebase file.
void tbCloseAll();

// Forgets every registration (closes files, frees names and descriptors, releases the
// decoding workspace) and the cache buffer.
void tbReleaseFiles();

// Compressed registrations since the last tbReleaseFiles, and the decoding workspace.
extern int tbCompressedRegistrations;
void tbAllocateWorkspace();

// Body of tbSetCache.
int tbCacheSetup(void* buffer, uint64_t bytes);

// The byte (-128..127) at offset of a block of the file, or TB_UNKNOWN when it cannot
// be read; a failing file is dropped.
int tbCacheByte(int ending, int slot, uint32_t block, int offset);

// Every allocation of the subsystem; ends the process when memory is exhausted.
void* tbAlloc(uint64_t bytes);

// Enters a registered ending into the material registry; false when it cannot hold it.
bool tbRegistryAdd(int ending);

// Cache blocks laid out by the last tbSetCache.
int tbCacheBlockCount();
