#pragma once
// Open addressing map from a packed key (uint64) to a slot number (uint32), linear probing. The key
// with every bit set marks an empty place and cannot be stored.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace bd::pivot::engine {

class KeyMap {
public:
    explicit KeyMap(size_t capacity = 1024) { reset(capacity); }

    // Empties the map, sized for about `capacity` keys.
    void reset(size_t capacity) {
        size_t places = 16;
        while (places < capacity * 2)
            places <<= 1;
        keys_.assign(places, kEmpty);
        values_.assign(places, 0);
        mask_ = places - 1;
        count_ = 0;
    }

    // The value of key; when absent, inserts `next` and returns it (inserted tells which).
    uint32_t get(uint64_t key, uint32_t next, bool& inserted) {
        size_t i = hash(key) & mask_;
        while (true) {
            if (keys_[i] == key) {
                inserted = false;
                return values_[i];
            }
            if (keys_[i] == kEmpty) break;
            i = (i + 1) & mask_;
        }
        if ((count_ + 1) * 2 > keys_.size()) {
            grow();
            return get(key, next, inserted);
        }
        keys_[i] = key;
        values_[i] = next;
        ++count_;
        inserted = true;
        return next;
    }

    // The value of key, -1 when absent.
    int64_t find(uint64_t key) const {
        size_t i = hash(key) & mask_;
        while (true) {
            if (keys_[i] == key) return values_[i];
            if (keys_[i] == kEmpty) return -1;
            i = (i + 1) & mask_;
        }
    }

private:
    static constexpr uint64_t kEmpty = ~uint64_t(0);

    static size_t hash(uint64_t key) {
        return size_t((key * 0x9E3779B97F4A7C15ull) >> 20 ^ (key * 0x9E3779B97F4A7C15ull));
    }

    void grow() {
        std::vector<uint64_t> oldKeys = std::move(keys_);
        std::vector<uint32_t> oldValues = std::move(values_);
        keys_.assign(oldKeys.size() * 2, kEmpty);
        values_.assign(oldKeys.size() * 2, 0);
        mask_ = keys_.size() - 1;
        for (size_t j = 0; j < oldKeys.size(); ++j) {
            if (oldKeys[j] == kEmpty) continue;
            size_t i = hash(oldKeys[j]) & mask_;
            while (keys_[i] != kEmpty)
                i = (i + 1) & mask_;
            keys_[i] = oldKeys[j];
            values_[i] = oldValues[j];
        }
    }

    std::vector<uint64_t> keys_;
    std::vector<uint32_t> values_;
    size_t mask_ = 0, count_ = 0;
};

} // namespace bd::pivot::engine
