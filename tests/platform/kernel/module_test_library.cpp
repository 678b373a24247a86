// A small library for the module tests: two exports, and state that lives as long as this copy
// of the library is mapped.
namespace {
int g_calls = 0;
}

extern "C" __attribute__((visibility("default"))) int KvModuleTestAnswer() { return 42; }

// Counts its calls since the library was loaded: after a real unload the count starts again.
extern "C" __attribute__((visibility("default"))) int KvModuleTestBump() { return ++g_calls; }
