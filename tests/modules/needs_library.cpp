// A module that needs a library of its own (dependency.cpp), which the
// tests never install beside it.
#include <tolvane/component.hpp>

extern "C" int tolvane_test_dependency();

extern "C" int tolvane_test_uses_dependency() { return tolvane_test_dependency(); }
