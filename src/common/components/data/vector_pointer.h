#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

// A vector of pointers that owns what it points to: tree arrays hold their trees this way so
// that a copy of the array is a copy of every tree in it.
template <class T>
class VectorPointer {
public:
    VectorPointer() = default;
    VectorPointer(const VectorPointer& other) { copy_from(other); }
    VectorPointer(VectorPointer&& other) noexcept : items(std::move(other.items)) { other.items.clear(); }
    ~VectorPointer() { clear(); }

    VectorPointer& operator=(const VectorPointer& other) {
        if (this != &other) copy_from(other);
        return *this;
    }
    VectorPointer& operator=(VectorPointer&& other) noexcept {
        if (this != &other) {
            clear();
            items.swap(other.items);
        }
        return *this;
    }

    // Replaces the contents by deep copies of other's elements (null entries stay null).
    void copy_from(const VectorPointer& other) {
        if (this == &other) return;
        VectorPointer copies;
        copies.items.reserve(other.items.size());
        for (const T* item : other.items) copies.push_back(item ? new T(*item) : nullptr);
        clear();
        items.swap(copies.items);
    }

    // Takes ownership of item.
    void push_back(T* item) {
        std::unique_ptr<T> guard(item);
        items.push_back(item);
        guard.release();
    }

    void erase(std::size_t index) {
        if (index >= items.size()) return;
        delete items[index];
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(index));
    }

    void clear() {
        for (T* item : items) delete item;
        items.clear();
    }

    std::size_t size() const { return items.size(); }
    bool empty() const { return items.empty(); }
    void reserve(std::size_t n) { items.reserve(n); }
    T* operator[](std::size_t index) const { return items[index]; }
    T* at(std::size_t index) const { return index < items.size() ? items[index] : nullptr; }

    typename std::vector<T*>::const_iterator begin() const { return items.begin(); }
    typename std::vector<T*>::const_iterator end() const { return items.end(); }

private:
    std::vector<T*> items;
};
