// tablebase/tbfiles.h: the table files found on disk and the cache of 8 KB
// blocks that serves single values from them. Registration and the cache are
// set up by initTablebases; a probe only looks up, reads and links slots.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr std::int32_t  TB_VALUE_UNKNOWN = 32767;  // value lookup and block fetch: nothing to say
constexpr std::uint32_t TB_BLOCK_BYTES   = 8192;   // one block of a table file
constexpr std::uint32_t TB_SLOT_BYTES    = 8260;   // a cache slot: header and data area together
constexpr std::uint32_t TB_SLOT_DATA     = 8228;   // a block and the decoder's slack
constexpr int           TB_CHAINS        = 32;     // hash chains per table side; block & 31

extern std::uint32_t cacheSlotCount;   // slots of the block cache; 0: no cache
extern std::uint64_t tableBlockReads;  // blocks read from files since start-up (statistics, tests)

// Compressed table files ("kqk.nbw.emd") follow emdformat.h.
constexpr std::uint32_t EMD_DECODE_BYTES = 8256;  // decoder state and one compressed block

// Registers the file of one record side found in the directory ("" for the
// current one). True when the side is registered, now or by an earlier call;
// false when there is no file. A broken file ends the program.
bool registerTableSide(const char* directory, int ordinal, int side);
// The same without ending the program: 1 registered, 0 no file, -1 broken,
// with the line the engine would print (ending in "\n") in `message`.
int tryRegisterTableSide(const char* directory, int ordinal, int side, char* message, std::size_t messageSize);
// Block `block` of a registered side as stored or decoded into `data` (room
// for TB_SLOT_DATA bytes), past the cache: its length, or -1 when it cannot
// be read. Registration is left as it is.
std::int32_t readTableBlock(int ordinal, int side, std::uint32_t block, std::uint8_t* data);
// Closes every open table file and forgets every registration.
void forgetTableFiles();
void closeTableFiles();
bool        isTableSideRegistered(int ordinal, int side);
const char* tableFileName(int ordinal, int side);  // "" when not registered

// Replaces the block cache by one of `bytes` bytes with no block in it.
// False when the memory is not there (no cache then).
bool allocateBlockCache(std::size_t bytes);

// The value at `index` of a record side (side 0 for a symmetric record):
// a one-byte value mapped to +-32640 + b (see tbfiles.cpp), a two-byte value
// as stored, or TB_VALUE_UNKNOWN.
std::int32_t lookupTableValue(int ordinal, int side, std::uint32_t index);
