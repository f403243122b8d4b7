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

}  // namespace platform
