// A library that loads but exports no component entry.
extern "C" int tolvane_test_nothing_here() { return 0; }
