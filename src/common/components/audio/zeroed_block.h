#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

// A fixed run of zeroed ints whose pages the system supplies only when first written. A mixer
// bus holds the longest block the mixer can render (15000 frames) but an ordinary song at an
// ordinary rate writes the first few pages of it, so only those are ever resident. The first
// `resident` ints are written at once, so that ordinary blocks never fault a page in on the
// audio thread.
class Zeroed_Block {
public:
    Zeroed_Block(std::size_t count, std::size_t resident) : count(count) {
        if (count == 0) return;
        void* p = mmap(nullptr, bytes(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        values = static_cast<int*>(p);
        std::memset(values, 0, sizeof(int) * (resident < count ? resident : count));
    }
    ~Zeroed_Block() {
        if (values) munmap(values, bytes());
    }
    Zeroed_Block(Zeroed_Block&& other) noexcept
        : values(std::exchange(other.values, nullptr)), count(std::exchange(other.count, 0)) {}
    Zeroed_Block& operator=(Zeroed_Block&& other) noexcept {
        std::swap(values, other.values);
        std::swap(count, other.count);
        return *this;
    }
    Zeroed_Block(const Zeroed_Block&) = delete;
    Zeroed_Block& operator=(const Zeroed_Block&) = delete;

    int* data() { return values; }
    const int* data() const { return values; }
    int* begin() { return values; }
    int* end() { return values + count; }
    std::size_t size() const { return count; }
    int& operator[](std::size_t i) { return values[i]; }

private:
    std::size_t bytes() const { return count * sizeof(int); }

    int* values = nullptr;
    std::size_t count = 0;
};
