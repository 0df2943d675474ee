// tools/keygen.cpp: deterministic generator of the 768 piece keys.
// Five entries are fixed by the book format; the rest come from SplitMix64
// seeded with "Brix1.0\0", skipping any value whose full 64 bits or whose
// low 32 bits (the pawn key uses only those) repeat an earlier entry or
// the side key.
#include "tools/keygen.h"

namespace {

constexpr std::uint64_t KEYGEN_SEED = 0x427269783132E300ull;

struct FixedKey {
    int           index;
    std::uint64_t key;
};
constexpr FixedKey FIXED_KEYS[] = {
    {0, 0x6C23F4B8C0DD617Eull},   {1, 0x2322E329222108AFull}, {2, 0xB9FC2BA9248AFC98ull},
    {384, 0x1A4D582A8439BCFBull}, {767, 0xA156FE313515BA7Dull},
};

std::uint64_t splitMix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool clashes(const std::uint64_t* keys, int count, std::uint64_t candidate) {
    for (int i = 0; i < count; ++i)
        if (keys[i] == candidate || std::uint32_t(keys[i]) == std::uint32_t(candidate)) return true;
    return false;
}

}  // namespace

void generatePieceKeys(std::uint64_t keys[768]) {
    // Fixed keys (and the side key) go in first so that no drawn key can
    // duplicate one of them.
    std::uint64_t taken[769];
    int           takenCount = 0;
    taken[takenCount++]      = 0xC139B61D3DA793B1ull;  // sideKey
    for (const FixedKey& f : FIXED_KEYS) taken[takenCount++] = f.key;

    std::uint64_t state = KEYGEN_SEED;
    for (int i = 0; i < 768; ++i) {
        bool fixed = false;
        for (const FixedKey& f : FIXED_KEYS)
            if (f.index == i) {
                keys[i] = f.key;
                fixed   = true;
            }
        if (fixed) continue;
        std::uint64_t k;
        do k = splitMix64(state);
        while (clashes(taken, takenCount, k));
        keys[i]              = k;
        taken[takenCount++] = k;
    }
}

void printPieceKeysSource(std::FILE* out) {
    std::uint64_t keys[768];
    generatePieceKeys(keys);
    std::fputs("// board/keys.cpp: the 768 piece keys, written by `brix-tools genkeys`\n"
               "// (tools/keygen.cpp). Do not edit: opening books are keyed by these values.\n"
               "#include \"board/position.h\"\n\n"
               "const std::uint64_t pieceKeys[768] = {\n",
               out);
    for (int i = 0; i < 768; i += 3)
        std::fprintf(out, "    0x%016llXull, 0x%016llXull, 0x%016llXull,\n",
                     static_cast<unsigned long long>(keys[i]),
                     static_cast<unsigned long long>(keys[i + 1]),
                     static_cast<unsigned long long>(keys[i + 2]));
    std::fputs("};\n", out);
}
