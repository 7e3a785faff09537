#pragma once

#include <QByteArrayView>
#include <QHashFunctions>

#include <algorithm>
#include <cstring>

// Names (sections and keys of the program's files) compared and hashed with ASCII letters
// folded to small ones; inline, as a file's lookups spend most of their time here.

// Names are compared and hashed eight bytes at a time. A word of up to eight bytes, the bytes
// past the end zero; a short tail is read in fixed-size pieces, which compile to plain loads.
inline quint64 loadWord(const char* data, qsizetype length) {
    quint64 word = 0;
    if (length >= 8) {
        std::memcpy(&word, data, 8);
        return word;
    }
    int shift = 0;
    if (length & 4) {
        quint32 part = 0;
        std::memcpy(&part, data, 4);
        word = part;
        data += 4;
        shift = 32;
    }
    if (length & 2) {
        quint16 part = 0;
        std::memcpy(&part, data, 2);
        word |= static_cast<quint64>(part) << shift;
        data += 2;
        shift += 16;
    }
    if (length & 1)
        word |= static_cast<quint64>(static_cast<quint8>(*data)) << shift;
    return word;
}

// The word with every ASCII capital letter made small; other bytes unchanged. Each byte is
// tested on its low seven bits, so no sum carries into the next byte.
inline quint64 foldWord(quint64 word) {
    constexpr quint64 ones = 0x0101010101010101ull;
    const quint64 low7 = word & (0x7F * ones);
    const quint64 atLeastA = low7 + (0x80 - 'A') * ones;
    const quint64 aboveZ = low7 + (0x80 - 'Z' - 1) * ones;
    const quint64 capitals = atLeastA & ~aboveZ & ~word & (0x80 * ones);
    return word | (capitals >> 2);
}

// Whether a and b are the same name, ASCII letters compared without regard to case.
inline bool equalFolded(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); i += 8) {
        const qsizetype length = std::min<qsizetype>(8, a.size() - i);
        if (foldWord(loadWord(a.data() + i, length)) != foldWord(loadWord(b.data() + i, length)))
            return false;
    }
    return true;
}

// A hash of the case-folded name: each word is mixed in, and a final avalanche step makes every
// byte reach the low bits that pick a table slot. It starts from the process's random hash seed,
// so a hostile file cannot be made of names that all land in one slot.
inline quint32 foldedHash(QByteArrayView name) {
    quint64 h = (0x9E3779B97F4A7C15ull ^ static_cast<quint64>(name.size())) + QHashSeed::globalSeed();
    for (qsizetype i = 0; i < name.size(); i += 8) {
        h = (h ^ foldWord(loadWord(name.data() + i, std::min<qsizetype>(8, name.size() - i)))) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return static_cast<quint32>(h);
}
