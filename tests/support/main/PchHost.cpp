// Compiles the shared precompiled header that the test programs reuse.
