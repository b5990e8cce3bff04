// The library that needs_library.cpp depends on.
#if defined(_WIN32)
extern "C" __declspec(dllexport) int tolvane_test_dependency() { return 1; }
#else
extern "C" int tolvane_test_dependency() { return 1; }
#endif
