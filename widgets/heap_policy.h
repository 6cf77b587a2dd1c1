#pragma once

namespace DADOV {

// Buffers of 128 KiB and more (a text box's history, a chart export, the port's reads in a flood) are
// taken from the system and given back to it as soon as they are freed. The C library would otherwise
// raise that threshold after the first such buffer is freed and keep later ones in its heap, where a
// window that ran for hours under a flood would hold the memory of its largest moment for good. The
// program and its tests call this first thing.
void return_large_buffers_to_the_system();

// Gives the memory freed inside the heap back to the system, at most once a second. A text box that drops
// its oldest lines calls it: the laid-out lines of a flood free memory in pieces too small to go back on
// their own, which would otherwise stay with the program.
void return_freed_memory_now_and_then();

} // namespace DADOV
