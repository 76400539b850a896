#pragma once

// Counts global operator new calls made by the calling thread, so a test can require
// that code meant for the audio thread does not allocate.
namespace allocation_counter {

long count();

class Scope {
public:
    Scope() : start(count()) {}
    long allocations() const { return count() - start; }

private:
    long start;
};

} // namespace allocation_counter
