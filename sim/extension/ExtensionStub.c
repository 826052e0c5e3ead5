// The only code in the stand-in extension library. The .def file exports it under every name the
// program binds: the program resolves those names but never calls them.
int HalvoExtensionStub(void) {
    return 0;
}
