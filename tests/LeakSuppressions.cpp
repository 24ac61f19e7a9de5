// Leaks the leak checker must not report: memory the font configuration library keeps for the
// process's lifetime without a pointer to it (fonts are used through the toolkit's text output),
// and the D-Bus library's connection buffers that the toolkit's X11 integration keeps open for
// the process's lifetime once a main window exists on a real display.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libdbus-1\n";
}
