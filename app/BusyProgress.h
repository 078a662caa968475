#pragma once

namespace quillora::app {

// Shows the engine's long work of its own (indexes rebuilt when a table closes) in a progress
// box that appears once the work has lasted half a second, so a long close never looks like a hang.
void installBusyProgress();

}  // namespace quillora::app
