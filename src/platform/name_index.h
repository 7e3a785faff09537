#pragma once

#include <QtGlobal>

#include <algorithm>
#include <utility>
#include <vector>

// An open-addressing hash table (linear probing) of entry numbers. The entries and their
// names live with the caller, which supplies the hash and the comparison.
class NameIndex {
public:
    template <typename Matches> qint32 find(quint32 hash, Matches matches) const {
        if (table.empty())
            return -1;
        const size_t mask = table.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = table[i];
            if (slot.entry < 0)
                return -1;
            if (slot.hash == hash && matches(slot.entry))
                return slot.entry;
        }
    }

    void insert(quint32 hash, qint32 entry) {
        if ((used + 1) * 2 > table.size())
            grow();
        place(hash, entry);
        ++used;
    }

private:
    struct Slot {
        quint32 hash = 0;
        qint32 entry = -1;
    };

    void place(quint32 hash, qint32 entry) {
        const size_t mask = table.size() - 1;
        size_t i = hash & mask;
        while (table[i].entry >= 0)
            i = (i + 1) & mask;
        table[i] = Slot{hash, entry};
    }

    void grow() {
        std::vector<Slot> old = std::exchange(table, std::vector<Slot>(std::max<size_t>(8, table.size() * 2)));
        for (const Slot& slot : old) {
            if (slot.entry >= 0)
                place(slot.hash, slot.entry);
        }
    }

    std::vector<Slot> table;
    size_t used = 0;
};
