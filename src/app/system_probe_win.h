#pragma once

#include <cstdint>

// Total installed memory in bytes; 0 when it cannot be learnt.
extern uint64_t physical_memory_bytes;

// Reads the operating system's version and records the current folder as app_folder.
bool probe_system();
// Adds up the "Capacity" of every Win32_PhysicalMemory module. 0 on success, -1 on failure.
int query_physical_memory();
