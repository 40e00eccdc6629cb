#pragma once
// The reference data as a whole.

// Tests only: empties the airports table, the type database and the similar-type maps and restores
// the default hooks and the input folder, and the park airport's state and stands.
void gf_resetRefdata();
