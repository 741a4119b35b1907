// An open-addressing table of 32-bit entry numbers by hash: the lookup that replaces a scan
// from the start of a list for its first equal entry. The caller keeps the list free of
// equal pairs (it inserts only entries that no lookup found), so the one equal entry a
// lookup finds is the first one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class FirstEqualIndex {
  public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // Room for `count` entries without growing.
    void Reserve(std::size_t count) {
        std::size_t capacity = 16;
        while (capacity < count * 2) capacity *= 2;
        if (capacity > m_slots.size()) Rehash(capacity);
    }

    // The entry with this hash that `equal` accepts, or kNone.
    template <typename Equal>
    std::uint32_t Find(std::uint64_t hash, Equal&& equal) const {
        if (m_slots.empty()) return kNone;
        std::size_t mask = m_slots.size() - 1;
        auto tag = static_cast<std::uint32_t>(hash);
        for (std::size_t i = Home(tag);; i = (i + 1) & mask) {
            const Slot& slot = m_slots[i];
            if (slot.entry == kNone) return kNone;
            if (slot.tag == tag && equal(slot.entry)) return slot.entry;
        }
    }

    void Insert(std::uint64_t hash, std::uint32_t entry) {
        if ((m_count + 1) * 2 > m_slots.size()) Rehash(m_slots.empty() ? 16 : m_slots.size() * 2);
        Place(static_cast<std::uint32_t>(hash), entry);
        ++m_count;
    }

    std::size_t Size() const { return m_count; }

  private:
    struct Slot {
        std::uint32_t entry = kNone;
        std::uint32_t tag = 0;  // the low 32 bits of the hash
    };

    // Where a tag's probe starts; the tag alone decides it, so growing needs no hashes.
    std::size_t Home(std::uint32_t tag) const {
        return static_cast<std::size_t>((tag * 0x9E3779B97F4A7C15ull) >> 20) & (m_slots.size() - 1);
    }

    void Place(std::uint32_t tag, std::uint32_t entry) {
        std::size_t mask = m_slots.size() - 1;
        std::size_t i = Home(tag);
        while (m_slots[i].entry != kNone) i = (i + 1) & mask;
        m_slots[i] = Slot{entry, tag};
    }

    void Rehash(std::size_t capacity) {
        std::vector<Slot> old;
        old.swap(m_slots);
        m_slots.assign(capacity, Slot{});
        for (const Slot& slot : old)
            if (slot.entry != kNone) Place(slot.tag, slot.entry);
    }

    std::vector<Slot> m_slots;
    std::size_t m_count = 0;
};
