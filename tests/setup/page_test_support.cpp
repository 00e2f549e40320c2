// Leak checking of the page tests (sanitizer builds): fontconfig keeps a cache for the
// process's lifetime that the leak checker reports as lost. It is none of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
