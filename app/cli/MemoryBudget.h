// The memory one run of vekexport may take. A tiny damaged file can declare a
// billion vertices; past the budget every allocation fails, inside the model
// libraries too, and the run ends with a message instead of exhausting the machine.
#pragma once

#include <cstdint>
#include <string>

namespace vek {

// Whether LimitMemory caps anything in this build: a build with AddressSanitizer,
// whose shadow memory alone spans terabytes of address space, is never capped.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool MemoryBudgetApplies = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool MemoryBudgetApplies = false;
#else
inline constexpr bool MemoryBudgetApplies = true;
#endif
#else
inline constexpr bool MemoryBudgetApplies = true;
#endif

// The budget when the user names none: the larger of 2 GiB and 48 times the size of
// the input file (the heaviest loads measured, binary PLY, peak at 20 times the file
// size).
std::uint64_t DefaultMemoryBudget(const std::string& inputPath);

// Caps the process's address space at what it maps now plus `bytes` (0: no cap), so
// that any allocation beyond it throws std::bad_alloc. `file` is the input the
// message of MemoryExceeded names. Nothing is capped unless MemoryBudgetApplies.
void LimitMemory(const std::string& file, std::uint64_t bytes);

// "FILE: needs more than 2.0 GiB of memory (see --max-memory)", for the file and
// budget of LimitMemory.
std::string MemoryExceededMessage();

// "2.0 GiB", "512.0 MiB": the size in the largest binary unit it reaches.
std::string FormatMemorySize(std::uint64_t bytes);

} // namespace vek
