// A fixture the output-sink check must refuse.
#include <cstdio>

void verdict(int pass) { std::puts(pass ? "pass" : "fail"); }
