#include "loaders/bounded_reader.h"

#include <vector>

std::string Bounded_Reader::get_string(int count) {
    std::vector<unsigned char> bytes((size_t)(count > 0 ? count : 0));
    get_bytes(bytes.data(), count);
    std::string text;
    for (unsigned char c : bytes) {
        if (c == 0) break;
        text += (char)c;
    }
    return text;
}
