#include "app/tool_run.h"

int main(int argc, char** argv) { return tmodectl::run_tool(argc, argv); }
