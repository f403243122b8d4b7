#pragma once
// How the process gives memory back. Pictures come and go in blocks of
// megabytes (a decoded image until it is uploaded, a transition's pictures
// until it ends); the C library would otherwise come to keep such blocks in
// its heaps after the first one was given back, and the program would hold
// every picture it ever had at once.

namespace platform {

// Blocks from a quarter megabyte up are mapped and unmapped on their own.
// Call once at start-up, before any thread is started.
void ReturnLargeBlocksToTheSystem();

// A thread's heap that runs out grows by two megabytes, not by a few pages:
// the shader compiler of the drawing library runs out hundreds of times at
// start-up, and each growth is a system call that changes the heap's mapping
// (about 2 ms of the render thread's start). Space not written to costs no
// memory. Call once at start-up, before any thread is started.
void GrowHeapsInLargeSteps();

// Free space inside the heaps, whole pages of it, goes back to the system.
// Costs about a millisecond: for moments when nothing is waiting on the caller.
void GiveFreeHeapSpaceBack();

}  // namespace platform
