#pragma once

class TGlobal;

// Lets the data module ask its questions in message boxes, for the program with windows. Set
// once, where the data module is made: every window that catalogues a volume or deletes a file
// type then asks the same way.
void AskInMessageBoxes(TGlobal &global);
