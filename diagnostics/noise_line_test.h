// The noise line test: the controller's reported maximum noise over a
// series of touch-information replies, against a threshold.
#pragma once

namespace tmode {

// Collects `count` '?','h' replies (at most 22704) for up to 2 seconds and
// fails when one of their maximum-noise values exceeds `threshold` or fewer
// arrived; a failure appends its values to the main log. 0 when all
// replies came and none exceeded; -1 otherwise (also for a count outside 1
// to 22704, refused before anything is sent).
int noise_line_test(int reserved1, int reserved2, int count, int threshold);

}  // namespace tmode
