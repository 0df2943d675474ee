// tablebase/emdformat.cpp: the signature and the header checksum of a
// compressed table file.
#include "tablebase/emdformat.h"
#include <array>

// The signature is ours: text to recognise the file by, padded with zeros.
const char EMD_SIGNATURE[EMD_SIGNATURE_BYTES] = "Brix endgame table, 8 KB blocks, canonical Huffman codes\n";

std::uint32_t emdChecksum(const std::uint8_t* bytes, std::size_t length) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) == 0 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < length; ++i) value = (value >> 8) ^ table[(value ^ bytes[i]) & 255];
    return value;
}
