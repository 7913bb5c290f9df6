// The demonstration main job ("veilcase --demo"): a double-clicked encrypted
// document edited by an application and encrypted again, end to end, in a
// throwaway GnuPG home and folders of its own.
#pragma once

// Runs the demonstration and prints what happened; 0 when the document
// ended encrypted again for its recipient with the edit in it.
int RunDemoJob();
