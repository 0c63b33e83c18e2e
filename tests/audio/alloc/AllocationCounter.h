// Counts the allocations that chosen threads make, in a program that links
// AllocationCounter.cpp: it replaces the global operator new and interposes glibc's malloc
// family for the whole program. Sanitizer runtimes own those functions, so instrumented builds
// leave such programs out.
#pragma once

namespace mirvo::audio::test {

// From now on the calling thread's allocations are counted, or no longer are.
void countAllocationsOnThisThread(bool counting);
// Every allocation counted so far, on every thread that counts.
long countedAllocations();

// Counts the allocations made on this thread while it lives.
class AllocationWatch {
  public:
    AllocationWatch() : mStart(countedAllocations()) { countAllocationsOnThisThread(true); }
    ~AllocationWatch() { countAllocationsOnThisThread(false); }
    long count() const { return countedAllocations() - mStart; }

  private:
    long mStart;
};

} // namespace mirvo::audio::test
