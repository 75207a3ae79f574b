#pragma once

// The memory policy. Every allocation goes through operator new. In the
// batch child a failed allocation writes result code 3 as the only line of
// the result file and ends the process with status 0, cleaning nothing up.
// In the interactive process std::bad_alloc travels up to the front end,
// which reports "Problem too large -- out of memory!".

#include <cstdint>
#include <string>

namespace kav {

// Installs the batch child's new-handler; resultPath is the result file it
// writes on failure.
void installBatchMemoryPolicy(const std::string& resultPath);

// Physical memory of the machine in bytes, 0 when unknown.
std::uint64_t physicalMemoryBytes();

} // namespace kav
