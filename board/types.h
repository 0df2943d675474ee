// board/types.h: the small value types every module shares (squares, moves,
// bitboards, colour and piece codes). Square 0 is a8 and 63 is h1; a bitboard
// holds square s at bit 63 - s, so a8 is the most significant bit.
#pragma once
#include <cstdint>

// Per-thread search state (each search thread has its own copy). All of it
// is constant-initialised, which the attribute tells clang, so that no access
// from another file goes through a check for a dynamic initialiser; GCC is
// told by -fno-extern-tls-init. On Windows, where each thread-local access
// costs more, clang builds the programs.
#if defined(__clang__)
#define THREAD_STATE thread_local __attribute__((require_constant_initialization))
#else
#define THREAD_STATE thread_local
#endif

using Bitboard = std::uint64_t;
using Move     = std::uint32_t;

// Squares, files and rows. Row 0 is the eighth rank, row 7 the first.
constexpr int NO_SQUARE = 64;  // any square value >= 64 means "none"
constexpr int fileOf(int sq) { return sq & 7; }
constexpr int rowOf(int sq) { return sq >> 3; }

// Directions: d ^ 1 is the opposite of d; 0-3 orthogonal, 4-7 diagonal.
constexpr int NORTH = 0, SOUTH = 1, WEST = 2, EAST = 3;
constexpr int NORTH_WEST = 4, SOUTH_EAST = 5, NORTH_EAST = 6, SOUTH_WEST = 7;
constexpr int NO_DIRECTION = -1;

constexpr int WHITE = 0, BLACK = 1;
constexpr int PAWN = 0, KNIGHT = 1, BISHOP = 2, ROOK = 3, QUEEN = 4, KING = 5, NO_TYPE = 6;

// Board code: colour * 16 + type; an empty square has both nibbles 6.
constexpr std::uint8_t EMPTY = 0x66;
constexpr std::uint8_t pieceCode(int colour, int type) { return std::uint8_t(colour * 16 + type); }
constexpr int codeColour(std::uint8_t code) { return code >> 4; }
constexpr int codeType(std::uint8_t code) { return code & 15; }

constexpr char PIECE_LETTERS[] = "PNBRQK";
constexpr int  PIECE_VALUE[6]  = {100, 300, 300, 500, 900, 0};

// Scores are centipawns from the side to move's view; a side mated at ply p
// scores p - MATE_SCORE, and tablebase wins sit just below mate scores.
constexpr int MATE_SCORE = 10000;

// Move word:
//   bits 0-5 from, 6-11 to, 16-18 promotion type, 24-29 flags below.
constexpr Move MOVE_CAPTURE     = 0x01000000;
constexpr Move MOVE_CASTLE      = 0x02000000;
constexpr Move MOVE_EN_PASSANT  = 0x04000000;
constexpr Move MOVE_DOUBLE_PUSH = 0x08000000;
constexpr Move MOVE_PAWN        = 0x10000000;
constexpr Move MOVE_PROMOTION   = 0x20000000;
// The generators pass flags as the small number flags >> 24.
constexpr int GEN_CAPTURE = 1, GEN_CASTLE = 2, GEN_EN_PASSANT = 4, GEN_DOUBLE_PUSH = 8,
              GEN_PAWN = 16, GEN_PROMOTION = 32;

constexpr int  moveFrom(Move m) { return int(m & 63); }
constexpr int  moveTo(Move m) { return int((m >> 6) & 63); }
constexpr int  movePromotion(Move m) { return int((m >> 16) & 7); }
constexpr Move makeMoveWord(int from, int to, int flags) {
    return Move(from) | Move(to) << 6 | Move(flags) << 24;
}

// Arithmetic shift right (floor division by 2^n), defined for negative values.
constexpr int asr(int v, int n) { return v >= 0 ? v >> n : ~(~v >> n); }

constexpr std::uint8_t CASTLE_WK = 1, CASTLE_WQ = 2, CASTLE_BK = 4, CASTLE_BQ = 8;
constexpr std::uint8_t NO_EP = 255;

constexpr int MAX_PLY         = 64;    // search plies; ply stays <= 63
constexpr int MOVE_STACK_SIZE = 3072;  // moves alive on the stack at once
constexpr int MAX_GAME_PLIES  = 800;   // history records of one game

struct MoveEntry {
    Move         move;
    std::int32_t score;  // ordering score, higher first
};

// One record per move made: what unmakeMove and repetition detection need.
struct HistoryRecord {
    Move          move;          // 0 for a null move
    std::uint8_t  captured;      // type nibble of the to-square before the move (6: empty)
    std::uint8_t  castleRights;  // before the move
    std::uint8_t  epSquare;      // before the move
    std::uint8_t  fiftyCount;    // before the move
    std::uint32_t keyLow;        // hashKey low half before the move; 0 for a null move
    std::uint32_t keyHigh;       // hashKey high half before the move
    std::uint32_t pawnKey;       // pawnKey before the move
};

// Check descriptor: low byte the checker's square (64: not in check),
// bit 15 set when two men give check.
constexpr std::uint16_t CHECK_NONE   = 64;
constexpr std::uint16_t CHECK_DOUBLE = 0x8000;
