#pragma once

// Short notification sounds of the desktop's sound theme. Without a sound service nothing
// plays, and that is not an error.
namespace SystemSound {

// The "task complete" chime: a hit, the start of a game break.
void playComplete();

} // namespace SystemSound
