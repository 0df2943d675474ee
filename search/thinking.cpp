// search/thinking.cpp: the thinking line. Its moves may come from the hash
// table, so each is made and taken back again before it is printed.
#include "search/thinking.h"
#include <cstdio>
#include <cstring>
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "io/console.h"
#include "search/hashtable.h"
#include "search/searchdata.h"
#include "search/settings.h"
#include "search/threads.h"

char thinkingLine[256];
int  thinkingLineNumber;
void (*thinkingHook)(int depth, int score);

void printThinking(int depth, int score) {
    if (isHelperThread()) return;  // only the main thread talks to the GUI
    if (depth > 0) {
        int length = std::snprintf(thinkingLine, sizeof thinkingLine, "%2d %5d %6ld %-ld  ", depth, score,
                                   static_cast<long>((elapsedTime() - thinkStartTime) / 10),
                                   static_cast<long>(searchNodes()));
        int made = 0;
        for (int i = 0; i < pvLength[0]; ++i) {
            Move m = pvTable[0][i];
            classifyMove(&m);
            // Moves may come from the hash table (or a reused variation), so
            // each is checked before being made; the root move inside
            // rootSearch came from the root list itself.
            if ((i > 0 || !rootListInUse) && !isGeneratedMove(m)) {
                pvLength[0] = std::uint8_t(i);
                break;
            }
            char san[16];
            std::snprintf(san, sizeof san, "%s", moveToSan(m));
            if (!makeMove(m)) {
                pvLength[0] = std::uint8_t(i);
                break;
            }
            pvTable[0][i] = m;
            ++made;
            const char* checkSign = (checkState[gamePly] & 0xFF) < 64 ? "+" : "";
            const int   room      = int(sizeof thinkingLine) - length;
            if (room > int(std::strlen(san)) + 2)
                length += std::snprintf(thinkingLine + length, std::size_t(room), " %s%s", san, checkSign);
            // Lengthen a short variation from the hash table.
            if (i + 1 == pvLength[0] && i + 1 < depth && i + 1 < MAX_PLY - 1 && hashTable) {
                HashHit e;
                if (probeMainTable(&e) && e.move) {
                    const Move next = unpackMove(e.move);
                    const int  from = moveFrom(next), to = moveTo(next);
                    bool       fresh = codeColour(board[from]) == side && codeColour(board[to]) != side;
                    for (int j = 0; j <= i && fresh; ++j)
                        fresh = (pvTable[0][j] & 0xFFF) != (next & 0xFFF);
                    if (fresh) {
                        pvTable[0][i + 1] = next;
                        ++pvLength[0];
                    }
                }
            }
        }
        while (made-- > 0) unmakeMove();
    }
    if (thinkingHook) {
        thinkingHook(depth, score);
    } else if (engineOptions & OPTION_POST) {
        std::printf("%s\n", thinkingLine);
        std::fflush(stdout);
    }
}

