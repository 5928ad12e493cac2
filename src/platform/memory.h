#pragma once
// Handing the heap's free pages back to the system.
//
// Each collection cycle builds and frees texts of several hundred kilobytes (pages, the
// report, metrics, JSON). The allocator keeps what was freed for the next cycle, so between
// cycles the resident size stays at the cycle's peak, two to three times the texts that are
// actually served. ReturnFreeHeap gives those pages back; the next cycle then faults them
// in again, which costs about as much CPU as the cycle itself on a virtual machine. Best
// effort, never fails; call it on the collecting thread.

namespace kv::platform {

void ReturnFreeHeap();

}  // namespace kv::platform
