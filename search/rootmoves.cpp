// search/rootmoves.cpp: the root restriction as one list, read either as the
// moves searched (after "exclude all" or searchmoves) or as the moves left
// out, so that exclude and include are each one edit of the list.
#include "search/rootmoves.h"
#include "board/position.h"
#include "search/hashtable.h"

int multiPvLines = 1;

void setMultiPvLines(long lines) { multiPvLines = lines < 1 ? 1 : lines > MAX_MULTI_PV ? MAX_MULTI_PV : int(lines); }

namespace {

// More moves than any position has (218); a move is kept as packMove keeps it.
constexpr int    LIST_SIZE = 256;
std::uint16_t    listed[LIST_SIZE];
int              listedCount;
bool             listIsSearched;  // the list names the moves searched, else those left out
bool             active;
std::uint64_t    ownerKey;
std::int16_t     ownerPly;

void takeOwnership() {
    if (active && ownerKey == hashKey && ownerPly == gamePly) return;
    active         = true;
    ownerKey       = hashKey;
    ownerPly       = gamePly;
    listedCount    = 0;
    listIsSearched = false;
}

int find(std::uint16_t key) {
    for (int i = 0; i < listedCount; ++i)
        if (listed[i] == key) return i;
    return -1;
}

void add(Move m) {
    const std::uint16_t key = packMove(m);
    if (find(key) < 0 && listedCount < LIST_SIZE) listed[listedCount++] = key;
}

void remove(Move m) {
    const int i = find(packMove(m));
    if (i >= 0) listed[i] = listed[--listedCount];
}

}  // namespace

void clearRootFilter() { active = false; }

void excludeAllRootMoves() {
    takeOwnership();
    listedCount    = 0;
    listIsSearched = true;
}

void excludeRootMove(Move m) {
    takeOwnership();
    listIsSearched ? remove(m) : add(m);
}

void includeRootMove(Move m) {
    takeOwnership();
    listIsSearched ? add(m) : remove(m);
}

bool rootFilterActive() { return active && ownerKey == hashKey && ownerPly == gamePly; }

bool rootMoveSearched(Move m) {
    if (!rootFilterActive()) return true;
    return (find(packMove(m)) >= 0) == listIsSearched;
}
