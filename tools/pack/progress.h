// The packer's progress on a terminal: bytes done, the ratio so far, the time left.
// Off a terminal (stderr not a tty) nothing is shown.
#pragma once
#include <stddef.h>

// Starts showing the compression of `size` bytes, when stderr is a terminal.
void BeginPackProgress(size_t size);
// Ends the line with what came out: `packed` bytes from the `size` begun with.
void EndPackProgress(size_t packed);
