// Fontconfig, which Qt asks for fonts, keeps its configuration for the life of
// the process: the leak checker of sanitizer builds is told so in every test
// program (lsan.supp tells the programs the tests start).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
