#pragma once

class TGlobal;

// Removes the volume whose root ID is cd, everything below it at any depth and its CDs row, as
// the data module's DeleteCD does, but a slice at a time so that a volume of a million entries
// shows its progress: global.OnProgress is told the share deleted at most every 500 ms. In a
// transaction of its own (unless one is open), so that it happens whole or not at all; then true
// from the progress handler stops it and nothing is deleted, and false is returned.
bool DeleteVolume(TGlobal &global, int cd);
