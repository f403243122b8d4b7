#pragma once
// The main script's automatic snapshot on entering an interrupt, written
// through the main queue by the render thread.

// Main script thread, no engine lock held: posts the snapshot's DataSave,
// commits the main queue and waits for the frame that runs it. False, with
// nothing posted, while a skip to the next choice holds commits back: the
// snapshot would otherwise be written later, of a later state.
bool WriteInterruptSnapshot();
