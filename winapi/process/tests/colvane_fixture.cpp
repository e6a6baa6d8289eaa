// A tiny shared object the module tests load under a Windows-style file name.
extern "C" __attribute__((visibility("default"))) int ColvaneFixtureAnswer() {
    return 42;
}
