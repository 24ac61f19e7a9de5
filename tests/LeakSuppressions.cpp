// Leaks the leak checker must not report: memory the font configuration library keeps for the
// process's lifetime without a pointer to it (fonts are used through the toolkit's text output).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
